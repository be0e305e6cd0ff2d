// The traffic monitor's frame decoder and its table model, without widgets:
// frames as the master's reply assembler sees them, the counters, the row cap
// and the CSV that must read back as the rows it came from.

#include "modbus/kzmodbus.h"
#include "traffic/framedecoder.h"
#include "traffic/trafficlog.h"

#include <QBuffer>
#include <QtTest>

namespace {

QByteArray frame(const QByteArray &body, bool goodCrc = true)
{
    quint16 crc =
        kzModbus::crc16(reinterpret_cast<const quint8 *>(body.constData()), quint16(body.size()));
    if (!goodCrc)
        crc ^= 0x0101;
    return body + char(crc & 0xFF) + char(crc >> 8);
}

const QByteArray readReq = frame(QByteArray::fromHex("013300100002"));
const QByteArray readReply = frame(QByteArray::fromHex("0133041234abcd"));

QStringList statuses(const QVector<TrafficEvent> &events)
{
    QStringList out;
    for (const TrafficEvent &e : events)
        out << e.statusText();
    return out;
}

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private slots:
    void decodesRepliesAsTheAssemblerSeesThem_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QStringList>("expected"); // statuses after the request's own row

        QTest::newRow("reply in pieces")
            << readReq << QByteArrayList{readReply.left(2), readReply.mid(2, 3), readReply.mid(5)}
            << QStringList{"ok"};
        QTest::newRow("noise ahead")
            << readReq << QByteArrayList{QByteArray(1, char(0xFF)) + readReply}
            << QStringList{"noise", "ok"};
        QTest::newRow("bytes after the reply")
            << readReq << QByteArrayList{readReply, QByteArray::fromHex("0000")}
            << QStringList{"ok", "noise"};
        QTest::newRow("bad crc") << readReq
                                 << QByteArrayList{frame(QByteArray::fromHex("0133041234abcd"),
                                                         false)}
                                 << QStringList{"crc-error", "timeout"};
        QTest::newRow("exception")
            << readReq << QByteArrayList{frame(QByteArray::fromHex("01b302"))}
            << QStringList{"exception 2 (illegal data address)"};
        QTest::newRow("foreign slave")
            << readReq << QByteArrayList{frame(QByteArray::fromHex("0733041234abcd"))}
            << QStringList{"foreign"};
        QTest::newRow("silence") << readReq << QByteArrayList{} << QStringList{"timeout"};
        QTest::newRow("truncated")
            << readReq << QByteArrayList{readReply.left(6)} << QStringList{"noise", "timeout"};
        QTest::newRow("no request")
            << QByteArray() << QByteArrayList{readReply} << QStringList{"noise"};
    }

    void decodesRepliesAsTheAssemblerSeesThem()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArrayList, chunks);
        QFETCH(QStringList, expected);

        FrameDecoder decoder;
        QVector<TrafficEvent> events;
        qint64 t = 1000;
        if (!request.isEmpty()) {
            const auto tx = decoder.written(request, t);
            QCOMPARE(tx.size(), 1);
            QCOMPARE(tx[0].statusText(), QStringLiteral("ok"));
            QCOMPARE(tx[0].address, 0x10);
            QCOMPARE(tx[0].count, 2);
        }
        for (const QByteArray &chunk : chunks)
            events += decoder.received(chunk, t += 10);
        // Nothing is decided for a request still waiting inside its timeout.
        events += decoder.expire(t + 5, 1000);
        events += decoder.expire(t + 2000, 1000);
        QCOMPARE(statuses(events), expected);

        QByteArray all;
        for (const TrafficEvent &e : events)
            all += e.bytes;
        QCOMPARE(all, chunks.join()); // every byte lands in exactly one row
        for (const TrafficEvent &e : events) {
            if (e.status == TrafficEvent::Status::Ok) {
                QCOMPARE(e.count, 2);
                QCOMPARE(e.functionText(), QStringLiteral("read 0x33"));
            }
        }
    }

    void writeEchoesAndTheNextRequest()
    {
        FrameDecoder decoder;
        const QByteArray one = frame(QByteArray::fromHex("013650011234"));
        decoder.written(one, 0);
        QCOMPARE(statuses(decoder.received(one, 5)), QStringList{"ok"});

        // A new request ends the one before it.
        const QByteArray several = frame(QByteArray::fromHex("0140002a000204000100020000"));
        decoder.written(several, 10);
        const auto next = decoder.written(several, 20);
        QCOMPARE(statuses(next), (QStringList{"timeout", "ok"}));
        QVERIFY(next[0].bytes.isEmpty());
        QCOMPARE(next[1].functionText(), QStringLiteral("write several 0x40"));
        QCOMPARE(next[1].count, 2);
    }

    void countsPausesAndCapsRows()
    {
        TrafficLog log(QDateTime::currentDateTime());
        FrameDecoder decoder;
        auto exchange = [&](const QByteArray &reply, qint64 t) {
            log.add(decoder.written(readReq, t));
            if (!reply.isEmpty())
                log.add(decoder.received(reply, t + 1));
        };
        exchange(readReply, 0);
        exchange(frame(QByteArray::fromHex("01b302")), 10);
        exchange(QByteArray(), 20);
        log.setPaused(true);
        exchange(frame(QByteArray::fromHex("0933041234abcd")), 30); // ends the silent one
        log.setPaused(false);
        exchange(QByteArray::fromHex("ff") + frame(QByteArray::fromHex("0133041234abcd"), false),
                 40);
        log.add(decoder.expire(100, 10));
        log.flush();

        const TrafficLog::Counters &c = log.counters();
        QCOMPARE(c.requests, 5u);
        QCOMPARE(c.goodReplies, 1u);
        QCOMPARE(c.exceptions, 1u);
        QCOMPARE(c.timeouts, 2u);
        QCOMPARE(c.foreign, 1u);
        QCOMPARE(c.noise, 1u);
        QCOMPARE(c.crcErrors, 1u);
        QCOMPARE(c.successRate(), 20.0);
        // Paused: the silent request's timeout, a request and the foreign reply are only counted.
        QCOMPARE(log.rowCount(), 9);
        log.resetCounters();
        QCOMPARE(log.counters().requests, 0u);

        log.clear();
        log.setMaxRows(5);
        for (int i = 0; i < 12; ++i) {
            log.add(decoder.written(readReq, 1000 + i));
            if (i == 7)
                log.flush();
        }
        log.flush();
        QCOMPARE(log.rowCount(), 5);
        // 23 rows (each new request ends the one before as a timeout), 5 kept.
        QCOMPARE(log.droppedRows(), 18u);
        QCOMPARE(log.eventAt(4).timeNs, 1011);
        QVERIFY(!log.eventAt(4).received);
    }

    void csvReadsBackAsTheRows()
    {
        // Taken in UTC-5, written in UTC.
        const QDateTime origin(QDate(2026, 3, 4), QTime(0, 6, 7, 890), Qt::OffsetFromUTC,
                               -5 * 3600);
        TrafficLog log(origin);
        FrameDecoder decoder;
        log.add(decoder.written(readReq, 1500000)); // 1.5 ms later
        log.add(decoder.received(QByteArray::fromHex("ff") + readReply, 2000000000));
        log.add(decoder.written(frame(QByteArray::fromHex("013650011234")), 2100000000));
        log.add(decoder.received(frame(QByteArray::fromHex("01b601")), 2200000000));
        log.flush();

        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::ReadWrite));
        QVERIFY(log.writeCsv(buffer));
        const QStringList lines = QString::fromUtf8(buffer.data()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(),
                 QStringLiteral("time,direction,slave,function,address,count,length,hex,status"));
        QCOMPARE(lines.size(), log.rowCount() + 1);
        QCOMPARE(lines[1], QStringLiteral("2026-03-04T05:06:07.891Z,TX,1,read 0x33,16,2,8,") +
                               QString::fromLatin1(readReq.toHex(' ').toUpper()) + ",ok");
        for (int row = 0; row < log.rowCount(); ++row) {
            const QStringList f = lines[row + 1].split(',');
            QCOMPARE(f.size(), 9);
            const TrafficEvent &e = log.eventAt(row);
            QCOMPARE(QDateTime::fromString(f[0], Qt::ISODateWithMs), log.wallTime(e));
            QCOMPARE(f[1], e.directionText());
            QCOMPARE(QByteArray::fromHex(f[7].toLatin1()), e.bytes);
            QCOMPARE(f[6].toInt(), e.bytes.size());
            QCOMPARE(f[8], e.statusText());
        }
        QCOMPARE(lines[4].section(',', 3, 5), QStringLiteral("write one 0x36,20481,4660"));
        QCOMPARE(lines.last().section(',', 8), QStringLiteral("exception 1 (illegal function)"));
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "test_monitor.moc"
