// The calibration records: the schema users query, a record written point by
// point and read back whole, certificate numbers, and files it must refuse.

#include "calibration/calibrationstore.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

CalibrationRecord header(const QDateTime &started)
{
    CalibrationRecord r;
    r.meterNumber = QStringLiteral("1911140001");
    r.channel = CalibrationChannel::Temperature;
    r.rangeHigh = 100;
    r.unit = QStringLiteral("℃");
    r.technician = QStringLiteral("李工");
    r.firmwareVersion = QStringLiteral("V0.12");
    r.decimals = 2;
    r.settleBandPct = 0.0625;
    r.startedAt = started;
    return r;
}

// The first value a statement gives, run as a user of the file would.
QString sql(const QString &path, const QString &statement)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(statement) && q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(path);
    return value;
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
        QVERIFY2(store.open() && store.checkWritable(), qPrintable(store.errorString()));
        const auto columns = [&](const char *table) {
            return sql(path, QStringLiteral("SELECT group_concat(name, ' ') FROM "
                                            "pragma_table_info('%1')")
                                 .arg(QLatin1String(table)));
        };
        QCOMPARE(columns("points"),
                 QStringLiteral("calibration_id phase idx nominal reference reading error "
                                "error_pct_span pass mean stddev peak_to_peak samples settle_s "
                                "manual raw_adc"));
        QCOMPARE(columns("samples"), QStringLiteral("calibration_id phase idx t_ms value"));
        QCOMPARE(columns("calibrations").count(' '), 24);
        QCOMPARE(sql(path, QStringLiteral("PRAGMA user_version")), QStringLiteral("2"));

        const QDateTime started(QDate(2025, 3, 4), QTime(9, 30), Qt::OffsetFromUTC, 8 * 3600);
        CalibrationRecord record = header(started);
        QVERIFY(store.beginCalibration(&record));
        CalibrationPoint point;
        point.idx = 2;
        point.reading = 50.4;
        point.pass = false;
        point.window = {{100, 50.39}, {200, 50.41}};
        QVERIFY(store.savePoint(record.id, point));
        point.manual = true; // taken again: replaces the first
        QVERIFY(store.savePoint(record.id, point));
        point.phase = CalibrationPhase::Adjust;
        point.pass.reset();
        point.rawAdc = 50377.5;
        QVERIFY(store.savePoint(record.id, point));
        QVERIFY(store.setPhaseResult(record.id, CalibrationPhase::Adjust, true));
        QVERIFY(store.finishCalibration(record.id, started.addSecs(600)));
        QCOMPARE(
            sql(path, QStringLiteral("SELECT started_at || ' ' || finished_at FROM calibrations")),
            QStringLiteral("2025-03-04T09:30:00+08:00 2025-03-04T09:40:00+08:00"));

        CalibrationStore reader(path);
        QVERIFY(reader.open(CalibrationStore::Access::ReadOnly));
        CalibrationRecord loaded;
        QVERIFY(reader.loadCalibration(record.certificate, &loaded));
        QCOMPARE(loaded.startedAt, started);
        QCOMPARE(loaded.technician + loaded.unit + loaded.firmwareVersion,
                 record.technician + record.unit + record.firmwareVersion);
        QVERIFY(loaded.decimals == 2 && loaded.settleBandPct == 0.0625);
        QVERIFY(std::isnan(loaded.settleWindowSeconds));
        QVERIFY(std::isnan(loaded.rangeLow) && loaded.rangeHigh == 100);
        QVERIFY(!loaded.asFoundPass && loaded.adjusted == true && !loaded.asLeftPass);
        QCOMPARE(loaded.points.size(), 2);
        QCOMPARE(loaded.points[0].window.size(), 2);
        QCOMPARE(loaded.points[0].window[1].value, 50.41);
        QVERIFY(loaded.points[0].manual && loaded.points[0].pass == false);
        QVERIFY(std::isnan(loaded.points[0].rawAdc) && !loaded.points[1].pass);
        QCOMPARE(loaded.points[1].rawAdc, 50377.5);

        QVector<CalibrationRecord> listed;
        CalibrationStore::Filter filter;
        filter.meterNumber = record.meterNumber;
        filter.startedFrom = started.addSecs(-1).toUTC();
        QVERIFY(reader.listCalibrations(filter, &listed) && listed.size() == 1);
        filter.startedFrom = started.addSecs(1);
        QVERIFY(reader.listCalibrations(filter, &listed) && listed.isEmpty());
        QVERIFY(!reader.loadCalibration(QStringLiteral("KV2025-000099"), &loaded));
        QCOMPARE(reader.error(), CalibrationStore::Error::NotFound);
    }

    // A file of the first schema (the certificate's columns missing) is read
    // only once it has been migrated, and keeps its records.
    void migratesFirstSchema()
    {
        const QString path = file("first.sqlite");
        CalibrationRecord r = header({});
        {
            CalibrationStore store(path);
            QVERIFY(store.open() && store.beginCalibration(&r));
        }
        for (const char *column :
             {"board", "firmware_version", "decimals", "settle_window_s", "settle_band_pct"})
            sql(path, QStringLiteral("ALTER TABLE calibrations DROP COLUMN %1")
                          .arg(QLatin1String(column)));
        sql(path, QStringLiteral("PRAGMA user_version = 1"));
        CalibrationStore store(path);
        QVERIFY(!store.open(CalibrationStore::Access::ReadOnly));
        QCOMPARE(store.error(), CalibrationStore::Error::ReadOnly);
        QVERIFY2(store.open(), qPrintable(store.errorString()));
        CalibrationRecord loaded;
        QVERIFY(store.loadCalibration(r.certificate, &loaded));
        QVERIFY(loaded.technician == r.technician && loaded.decimals == -1);
        QCOMPARE(sql(path, QStringLiteral("PRAGMA user_version")), QStringLiteral("2"));
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

    // A file made of the bytes given, or by an SQL statement.
    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("made");
        QTest::addColumn<int>("error");
        QTest::newRow("damaged") << QByteArray(4096, 'x') << int(CalibrationStore::Error::Damaged);
        QTest::newRow("newer schema")
            << QByteArray("PRAGMA user_version = 7") << int(CalibrationStore::Error::TooNew);
        QTest::newRow("another program's")
            << QByteArray("CREATE TABLE t (x)") << int(CalibrationStore::Error::NotOurs);
        QTest::newRow("folder is a file")
            << QByteArray() << int(CalibrationStore::Error::CannotOpen);
    }

    void refusedFiles()
    {
        QFETCH(QByteArray, made);
        QFETCH(int, error);
        QString path = file(QTest::currentDataTag());
        QFile out(path);
        if (made.contains(' '))
            sql(path, QString::fromLatin1(made));
        else
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(made) == made.size());
        out.close();
        CalibrationStore store(made.isEmpty() ? path + QStringLiteral("/calibrations.sqlite")
                                              : path);
        QVERIFY(!store.open());
        QCOMPARE(int(store.error()), error);
        QVERIFY(!store.errorString().isEmpty());
        CalibrationRecord r = header({});
        QVERIFY(!store.beginCalibration(&r));
    }

    // Another program holding the write lock stops a calibration before it
    // starts, and a point from being written.
    void lockedFile()
    {
        const QString path = file("locked.sqlite");
        CalibrationStore store(path);
        CalibrationRecord r = header({});
        QVERIFY(store.open() && store.beginCalibration(&r));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
            db.setDatabaseName(path);
            QSqlQuery lock(db);
            QVERIFY(db.open() && lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
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
