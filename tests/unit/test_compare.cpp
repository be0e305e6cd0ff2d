// The field-by-field comparison of two register images and the write plan
// for chosen fields: what counts as equal, what is never compared, which
// blocks a write takes.

#include "model/backupfile.h"
#include "model/comparison.h"

#include <QtTest>

#include <cstring>

namespace {

struct Image
{
    quint16 regs[backup::RegisterCount] = {};
    quint16 &at(int reg) { return regs[reg - backup::FirstRegister]; }
    void setFloat(int reg, float value)
    {
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        at(reg) = quint16(bits & 0xFFFF);
        at(reg + 1) = quint16(bits >> 16);
    }
};

const compare::Row *rowOf(const QVector<compare::Row> &rows, const QString &name)
{
    for (const compare::Row &r : rows) {
        if (r.field->name == name)
            return &r;
    }
    return nullptr;
}

} // namespace

class TestCompare : public QObject
{
    Q_OBJECT

private slots:
    void everyImageRegisterIsComparedOnce()
    {
        Image a, b;
        const QVector<compare::Row> rows = compare::compareImages(a.regs, b.regs);
        QVector<int> seen(RegisterMirror::Size);
        fields::Group group = fields::Group::UserSettings;
        for (const compare::Row &r : rows) {
            QVERIFY(r.field->first >= backup::FirstRegister);
            QVERIFY2(r.field->group >= group, qPrintable(r.field->name)); // grouped by page
            group = r.field->group;
            for (int reg : r.field->registers())
                ++seen[reg];
        }
        for (int reg = backup::FirstRegister; reg < RegisterMirror::Size - 1; ++reg)
            QVERIFY2(seen[reg] == 1, qPrintable(QString::number(reg)));
        QVERIFY(compare::allEqual(rows));
    }

    void states_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<float>("a");
        QTest::addColumn<float>("b");
        QTest::addColumn<int>("state");
        const int same = int(compare::State::Same), approx = int(compare::State::Approx),
                  different = int(compare::State::Different);
        QTest::newRow("equal float") << "density" << 1.25f << 1.25f << same;
        QTest::newRow("below display") << "density" << 1.0000001f << 1.0000002f << approx;
        QTest::newRow("in the 6th digit") << "density" << 1.00001f << 1.00002f << different;
        QTest::newRow("word field") << "period" << 5.0f << 6.0f << different;
    }

    void states()
    {
        QFETCH(QString, field);
        QFETCH(float, a);
        QFETCH(float, b);
        QFETCH(int, state);
        const fields::Field *f = fields::fieldNamed(field);
        QVERIFY(f);
        Image x, y;
        if (f->kind == fields::Kind::Float) {
            x.setFloat(f->first, a);
            y.setFloat(f->first, b);
        } else {
            x.at(f->first) = quint16(a);
            y.at(f->first) = quint16(b);
        }
        const QVector<compare::Row> rows = compare::compareImages(x.regs, y.regs);
        const compare::Row *row = rowOf(rows, field);
        QVERIFY(row);
        QCOMPARE(int(row->state), state);
        QCOMPARE(compare::allEqual(rows), state != int(compare::State::Different));
    }

    void writeBlocks_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("setting") << QStringList{"period", "density"}
                                 << QStringList{"write user param"};
        QTest::newRow("zero alone") << QStringList{"pressure_zero"} << QStringList{"write clr"};
        QTest::newRow("zero with the range") << QStringList{"pressure_zero", "pressure_range_low"}
                                             << QStringList{"write pressure param"};
        QTest::newRow("shared register")
            << QStringList{"reserved_192"} << QStringList{"write wendu ecjz data"};
        QTest::newRow("in register order")
            << QStringList{"text", "meter_type", "address"}
            << QStringList{"write user param", "write meter param", "write custom reg"};
    }

    void writeBlocks()
    {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, commands);
        QVector<const fields::Field *> fieldsChosen;
        for (const QString &name : chosen)
            fieldsChosen << fields::fieldNamed(name);
        QStringList got;
        const QVector<compare::WriteBlock> blocks = compare::blocksFor(fieldsChosen);
        for (const compare::WriteBlock &b : blocks)
            got << b.writeCommand;
        QCOMPARE(got, commands);
    }
};

QTEST_APPLESS_MAIN(TestCompare)
#include "test_compare.moc"
