// The calibration records: the schema users query, a record written point by
// point and read back whole, certificate numbers, and files it must refuse.

#include "calibration/calibrationstore.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

CalibrationRecord header(const QDateTime &started)
{
    CalibrationRecord r;
    r.meterNumber = QStringLiteral("1911140001");
    r.meterType = meterTypeName(2);
    r.channel = CalibrationChannel::Temperature;
    r.rangeLow = 0;
    r.rangeHigh = 100;
    r.unit = QStringLiteral("℃");
    r.tolerancePct = 0.25;
    r.standard = QStringLiteral("Decade box");
    r.standardUncertainty = 0.02;
    r.technician = QStringLiteral("李工");
    r.startedAt = started;
    return r;
}

// The column names of a table, or the first value a query gives, as a user
// of the file sees them.
QString peek(const QString &path, const QString &tableOrQuery)
{
    QStringList found;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(path);
        if (db.open() && !tableOrQuery.startsWith(QLatin1String("SELECT"))) {
            const QSqlRecord record = db.record(tableOrQuery);
            for (int i = 0; i < record.count(); ++i)
                found << record.fieldName(i);
        } else if (db.isOpen()) {
            QSqlQuery q(db);
            if (q.exec(tableOrQuery) && q.next())
                found << q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return found.join(' ');
}

} // namespace

class TestCalibrationStore : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }

private slots:
    void schemaAndRoundTrip()
    {
        const QString path = file("sub/calibrations.sqlite");
        CalibrationStore store(path);
        QVERIFY2(store.open(), qPrintable(store.errorString()));
        QVERIFY(store.checkWritable());
        QCOMPARE(peek(path, QStringLiteral("points")),
                 QStringLiteral("calibration_id phase idx nominal reference reading error "
                                "error_pct_span pass mean stddev peak_to_peak samples settle_s "
                                "manual raw_adc"));
        QCOMPARE(peek(path, QStringLiteral("samples")),
                 QStringLiteral("calibration_id phase idx t_ms value"));
        QCOMPARE(peek(path, QStringLiteral("calibrations")).count(' '), 19);
        QCOMPARE(peek(path, QStringLiteral(
                                "SELECT count(*) FROM pragma_user_version WHERE user_version = 1")),
                 QStringLiteral("1"));

        const QDateTime started(QDate(2025, 3, 4), QTime(9, 30), Qt::OffsetFromUTC, 8 * 3600);
        CalibrationRecord record = header(started);
        QVERIFY(store.beginCalibration(&record));
        CalibrationPoint point;
        point.phase = CalibrationPhase::AsFound;
        point.idx = 2;
        point.nominal = point.reference = 50;
        point.reading = point.mean = 50.4;
        point.error = 0.4;
        point.pass = false;
        point.sampleCount = 2;
        point.window = {{100, 50.39}, {200, 50.41}};
        QVERIFY(store.savePoint(record.id, point));
        point.manual = true; // taken again: replaces the first
        QVERIFY(store.savePoint(record.id, point));
        CalibrationPoint adjust;
        adjust.phase = CalibrationPhase::Adjust;
        adjust.rawAdc = 50377.5;
        QVERIFY(store.savePoint(record.id, adjust));
        QVERIFY(store.setPhaseResult(record.id, CalibrationPhase::AsFound, false));
        QVERIFY(store.setPhaseResult(record.id, CalibrationPhase::Adjust, true));
        QVERIFY(store.finishCalibration(record.id, started.addSecs(600)));
        QCOMPARE(
            peek(path, QStringLiteral("SELECT started_at || ' ' || finished_at FROM calibrations")),
            QStringLiteral("2025-03-04T09:30:00+08:00 2025-03-04T09:40:00+08:00"));

        CalibrationStore reader(path);
        QVERIFY(reader.open(CalibrationStore::Access::ReadOnly));
        CalibrationRecord loaded;
        QVERIFY(reader.loadCalibration(record.certificate, &loaded));
        QCOMPARE(loaded.startedAt, started);
        QCOMPARE(loaded.technician, record.technician);
        QCOMPARE(loaded.asFoundPass, std::optional<bool>(false));
        QCOMPARE(loaded.adjusted, std::optional<bool>(true));
        QVERIFY(!loaded.asLeftPass);
        QCOMPARE(loaded.points.size(), 2);
        QCOMPARE(loaded.points[0].window.size(), 2);
        QCOMPARE(loaded.points[0].window[1].value, 50.41);
        QVERIFY(loaded.points[0].manual);
        QVERIFY(std::isnan(loaded.points[1].reading) && !loaded.points[1].pass);
        QCOMPARE(loaded.points[1].rawAdc, 50377.5);

        QVector<CalibrationRecord> listed;
        CalibrationStore::Filter filter;
        filter.meterNumber = record.meterNumber;
        filter.startedFrom = started.addSecs(-1).toUTC();
        QVERIFY(reader.listCalibrations(filter, &listed));
        QCOMPARE(listed.size(), 1);
        filter.startedFrom = started.addSecs(1);
        QVERIFY(reader.listCalibrations(filter, &listed) && listed.isEmpty());
        QVERIFY(!reader.loadCalibration(QStringLiteral("KV2025-000099"), &loaded));
        QCOMPARE(reader.error(), CalibrationStore::Error::NotFound);
    }

    // A sequence per year, six digits, in a file another program writes too.
    void certificateNumbers()
    {
        CalibrationStore first(file("numbers.sqlite"));
        CalibrationStore second(file("numbers.sqlite"));
        QVERIFY(first.open() && second.open());
        const QDateTime may2025(QDate(2025, 5, 1), QTime(12, 0));
        QStringList numbers;
        for (auto [store, started] : {std::pair{&first, may2025},
                                      {&second, may2025},
                                      {&first, may2025.addYears(1)},
                                      {&second, may2025}}) {
            CalibrationRecord r = header(started);
            QVERIFY(store->beginCalibration(&r));
            numbers << r.certificate;
        }
        QCOMPARE(numbers.join(' '),
                 QStringLiteral("KV2025-000001 KV2025-000002 KV2026-000001 KV2025-000003"));
        CalibrationRecord bad = header(may2025);
        bad.meterNumber = QStringLiteral("42");
        QVERIFY(!first.beginCalibration(&bad));
        QCOMPARE(first.error(), CalibrationStore::Error::InvalidRecord);
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("error");
        QTest::newRow("damaged") << QByteArray(4096, 'x') << int(CalibrationStore::Error::Damaged);
        QTest::newRow("newer schema")
            << QByteArray("user_version = 7") << int(CalibrationStore::Error::TooNew);
        QTest::newRow("another program's")
            << QByteArray("CREATE TABLE t (x)") << int(CalibrationStore::Error::NotOurs);
        QTest::newRow("folder is a file")
            << QByteArray() << int(CalibrationStore::Error::CannotOpen);
    }

    void refusedFiles()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, error);
        QString path = file(QTest::currentDataTag());
        if (contents.startsWith("user_version") || contents.startsWith("CREATE")) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(contents.startsWith("CREATE")
                                               ? QString::fromLatin1(contents)
                                               : QStringLiteral("PRAGMA ") + contents));
            }
            QSqlDatabase::removeDatabase(path);
        } else {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(contents) == contents.size());
            if (contents.isEmpty())
                path += QStringLiteral("/calibrations.sqlite");
        }
        CalibrationStore store(path);
        QVERIFY(!store.open());
        QCOMPARE(int(store.error()), error);
        QVERIFY(!store.errorString().isEmpty());
        CalibrationRecord r = header({});
        QVERIFY(!store.beginCalibration(&r));
    }

    // Another program holding the write lock stops a calibration before it starts.
    void lockedFile()
    {
        const QString path = file("locked.sqlite");
        CalibrationStore holder(path);
        CalibrationStore store(path);
        QVERIFY(holder.open() && store.open());
        CalibrationRecord r = header({});
        QVERIFY(holder.beginCalibration(&r));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery lock(db);
            QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
            QVERIFY(!store.checkWritable());
            QCOMPARE(store.error(), CalibrationStore::Error::Locked);
            QVERIFY(!store.savePoint(r.id, CalibrationPoint()));
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(path);
        QVERIFY(store.checkWritable());
    }
};

QTEST_GUILESS_MAIN(TestCalibrationStore)
#include "test_calibrationstore.moc"
