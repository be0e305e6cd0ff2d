// Whose data the pages hold decides what may be written to the meter connected now.

#include "model/pagestate.h"

#include <QtTest>

Q_DECLARE_METATYPE(Page)
Q_DECLARE_METATYPE(WriteRefusal)

class TestPageState : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data()
    {
        // A backup of meter "backup" loaded (0: everything read from meter 7),
        // meter "connected" identified (0: none).
        QTest::addColumn<int>("backup");
        QTest::addColumn<int>("connected");
        QTest::addColumn<Page>("page");
        QTest::addColumn<WriteRefusal>("pageRefusal");
        QTest::addColumn<WriteRefusal>("writeAllRefusal");
        const auto row = [](const char *name, int backup, int connected, Page page,
                            WriteRefusal onPage, WriteRefusal onAll) {
            QTest::newRow(name) << backup << connected << page << onPage << onAll;
        };
        row("unidentified", 0, 0, Page::UserSettings, WriteRefusal::NotConnected,
            WriteRefusal::NotConnected);
        row("its data", 0, 7, Page::MeterParam, WriteRefusal::None, WriteRefusal::None);
        row("another's data", 0, 8, Page::UserSettings, WriteRefusal::OtherMeter,
            WriteRefusal::OtherMeter);
        row("its backup", 7, 7, Page::PressureSecondary, WriteRefusal::None, WriteRefusal::None);
        row("another's backup, settings", 9, 7, Page::RegisterConfiguration, WriteRefusal::None,
            WriteRefusal::None);
        row("another's backup, identity", 9, 7, Page::MeterParam, WriteRefusal::OtherMeter,
            WriteRefusal::None);
    }

    void refusal()
    {
        QFETCH(int, backup);
        QFETCH(int, connected);
        QFETCH(Page, page);
        PageStates pages;
        QCOMPARE(pages.refusal(page, 7u), WriteRefusal::NothingRead);
        if (backup)
            pages.loaded(quint32(backup));
        else
            pages.readAll(7);
        const auto meter = connected ? PageStates::Meter(quint32(connected)) : PageStates::Meter();
        QTEST(pages.refusal(page, meter), "pageRefusal");
        QTEST(pages.writeAllRefusal(meter), "writeAllRefusal");
    }
};

QTEST_APPLESS_MAIN(TestPageState)
#include "test_pagestate.moc"
