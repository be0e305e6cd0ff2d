#pragma once

// Every field of the register map by name: its page, its caption as the window
// shows it, an English name for the command line, its registers, how its value
// reads and its unit. The comparison, the compare window and kv3pd-cli all go
// through this one table, so they name and format a field the same way.

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace fields {

enum class Group
{
    Measurement, // registers 0..41: the poll's, never compared
    UserSettings,
    MeterParameters,
    PressureCalibration, // with the pressure secondary calibration and zero
    TemperatureCalibration,
    RegisterConfiguration,
};

enum class Kind
{
    Decimal,     // uint16
    Signed,      // int16
    Uint32,      // two registers, low half first
    MeterNumber, // uint32 as ten digits
    Float,       // float32, 'g' with 6 significant digits
    Baud,        // baud code
    Parity,      // parity code
    Unit,        // unit code
    Backlight,   // backlight code
    MeterType,   // meter type code
    Firmware,    // version x 100
    Centi,       // value / 100, two decimals (battery volts)
    Reading,     // float32 with the decimals of another register
    RowSource,   // source code of a register configuration row
    RowValue,    // a row's value, in the form the row's source (two registers before) asks for
    Text,        // 50 registers of UTF-8 text
    Raw,         // registers the program does not interpret: their words in hex
};

// How values read: the window's texts (translated), or plain English words
// for the command line, where codes also read as words a script can take.
enum class Style
{
    Window,
    Plain,
};

struct Field
{
    Group group;
    const char *caption; // Chinese, for translate("FieldTable", ...); "%1" takes the index
    QString name;        // English snake_case
    int first;
    int count;
    Kind kind;
    int index = -1;             // point, coefficient or row number, -1 for none
    const char *unit = nullptr; // a unit of its own
    int unitRegister = -1;      // or the register holding its unit code
    int decimalsRegister = -1;  // Reading: the register holding its decimals

    int last() const { return first + count - 1; }
    bool compared() const { return group != Group::Measurement; }
    // The caption in the running language, e.g. "采集周期" or "压力标准值3".
    QString title() const;
    // "49" or "54–55".
    QString registersText() const;
    QVector<int> registers() const;
};

// In register order, grouped by page.
const QVector<Field> &table();
// The field with the English name; nullptr when there is none.
const Field *fieldNamed(const QString &name);
// The field that begins at the register; nullptr when none does.
const Field *fieldAt(int reg);

// The page's title in the running language ("用户设置") and its English name.
QString groupTitle(Group group);
QString groupName(Group group);

// regs holds register N at regs[N] for every register the field reads
// (0..318: a mirror's data, or an image placed at its registers).
QString valueText(const Field &field, const quint16 *regs, Style style = Style::Window);
// The field's unit, empty when it has none.
QString unitText(const Field &field, const quint16 *regs);

} // namespace fields
