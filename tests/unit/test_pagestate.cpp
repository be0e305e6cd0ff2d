// Whose data each page holds, and whether it may be written to the meter
// connected now.

#include "model/pagestate.h"

#include <QtTest>

Q_DECLARE_METATYPE(Page)
Q_DECLARE_METATYPE(WriteRefusal)

class TestPageState : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data();
    void refusal();
    void writeAllAndRenumbering();
};

void TestPageState::refusal_data()
{
    QTest::addColumn<QString>("pagesHold"); // "", "read <meter>" or "backup <meter>"
    QTest::addColumn<qint64>("connected");  // -1: none identified
    QTest::addColumn<Page>("page");
    QTest::addColumn<WriteRefusal>("expected");

    QTest::newRow("nothing read") << "" << 7ll << Page::UserSettings << WriteRefusal::NothingRead;
    QTest::newRow("not connected")
        << "read 7" << -1ll << Page::UserSettings << WriteRefusal::NotConnected;
    QTest::newRow("its meter") << "read 7" << 7ll << Page::MeterParam << WriteRefusal::None;
    QTest::newRow("read from another meter")
        << "read 7" << 8ll << Page::UserSettings << WriteRefusal::OtherMeter;
    QTest::newRow("own backup, calibration")
        << "backup 7" << 7ll << Page::PressureSecondary << WriteRefusal::None;
    QTest::newRow("other meter's backup, settings")
        << "backup 9" << 7ll << Page::UserSettings << WriteRefusal::None;
    QTest::newRow("other meter's backup, register configuration")
        << "backup 9" << 7ll << Page::RegisterConfiguration << WriteRefusal::None;
    QTest::newRow("other meter's backup, identity")
        << "backup 9" << 7ll << Page::MeterParam << WriteRefusal::OtherMeter;
    QTest::newRow("other meter's backup, calibration")
        << "backup 9" << 7ll << Page::TemperatureSecondary << WriteRefusal::OtherMeter;
}

void TestPageState::refusal()
{
    QFETCH(QString, pagesHold);
    QFETCH(qint64, connected);
    QFETCH(Page, page);
    QFETCH(WriteRefusal, expected);

    PageStates pages;
    const quint32 meter = pagesHold.section(' ', 1).toUInt();
    if (pagesHold.startsWith("read"))
        pages.readAll(meter);
    else if (pagesHold.startsWith("backup"))
        pages.loaded(meter);
    const PageStates::Meter now =
        connected < 0 ? PageStates::Meter() : PageStates::Meter(quint32(connected));
    QCOMPARE(pages.refusal(page, now), expected);
}

void TestPageState::writeAllAndRenumbering()
{
    // Another meter's backup: write all keeps the meter's own pages out of it,
    // but needs the others.
    PageStates pages;
    pages.loaded(9);
    QVERIFY(pages.holdsForeignBackup(7u) && !pages.holdsForeignBackup(9u));
    QCOMPARE(pages.writeAllRefusal(7u), WriteRefusal::None);
    pages.clear(Page::UserSettings);
    QCOMPARE(pages.writeAllRefusal(7u), WriteRefusal::NothingRead);
    QCOMPARE(pages.writeAllRefusal(9u), WriteRefusal::NothingRead);

    // A meter renumbered by a write keeps what was its data, nothing else.
    pages.readAll(7);
    pages.loaded(7);
    pages.read(Page::UserSettings, 7);
    pages.read(Page::MeterParam, 5);
    pages.renumbered(7, 8);
    QCOMPARE(pages.writeAllRefusal(8u), WriteRefusal::OtherMeter);
    pages.read(Page::MeterParam, 8);
    QCOMPARE(pages.writeAllRefusal(8u), WriteRefusal::None);
    QVERIFY(!pages.holdsForeignBackup(8u));
}

QTEST_APPLESS_MAIN(TestPageState)
#include "test_pagestate.moc"
