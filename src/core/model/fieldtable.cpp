#include "model/fieldtable.h"

#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/registermirror.h"

#include <QCoreApplication>

#include <cstring>

namespace fields {

namespace {

const char *const context = "FieldTable";

// What the registers of one calibration channel are called; the temperature
// channel has no zero shield and keeps registers 137..145 for itself.
struct ChannelNames
{
    const Reg::Channel &regs;
    Group group;
    const char *prefix; // English
    const char *rangeLow;
    const char *rangeHigh;
    const char *rangeUnit;
    const char *adcGain;
    const char *stdUnit;
    const char *captured;
    const char *standard;
    const char *points;
    const char *coeff;
    const char *ecjzCaptured;
    const char *ecjzStandard;
    const char *ecjzOffset;
    const char *ecjzGain;
    const char *zero;
};

const ChannelNames pressureNames = {
    Reg::pressure,
    Group::PressureCalibration,
    "pressure",
    QT_TRANSLATE_NOOP("FieldTable", "压力量程下限"),
    QT_TRANSLATE_NOOP("FieldTable", "压力量程上限"),
    QT_TRANSLATE_NOOP("FieldTable", "压力量程单位"),
    QT_TRANSLATE_NOOP("FieldTable", "压力ADC增益"),
    QT_TRANSLATE_NOOP("FieldTable", "压力标准值单位"),
    QT_TRANSLATE_NOOP("FieldTable", "压力采集值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "压力标准值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "压力校准点数"),
    QT_TRANSLATE_NOOP("FieldTable", "压力系数a%1"),
    QT_TRANSLATE_NOOP("FieldTable", "压力二次校准采集值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "压力二次校准标准值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "压力二次校准偏移"),
    QT_TRANSLATE_NOOP("FieldTable", "压力二次校准增益"),
    QT_TRANSLATE_NOOP("FieldTable", "压力零点"),
};

const ChannelNames temperatureNames = {
    Reg::temperature,
    Group::TemperatureCalibration,
    "temperature",
    QT_TRANSLATE_NOOP("FieldTable", "温度量程下限"),
    QT_TRANSLATE_NOOP("FieldTable", "温度量程上限"),
    QT_TRANSLATE_NOOP("FieldTable", "温度量程单位"),
    QT_TRANSLATE_NOOP("FieldTable", "温度ADC增益"),
    QT_TRANSLATE_NOOP("FieldTable", "温度标准值单位"),
    QT_TRANSLATE_NOOP("FieldTable", "温度采集值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "温度标准值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "温度校准点数"),
    QT_TRANSLATE_NOOP("FieldTable", "温度系数a%1"),
    QT_TRANSLATE_NOOP("FieldTable", "温度二次校准采集值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "温度二次校准标准值%1"),
    QT_TRANSLATE_NOOP("FieldTable", "温度二次校准偏移"),
    QT_TRANSLATE_NOOP("FieldTable", "温度二次校准增益"),
    QT_TRANSLATE_NOOP("FieldTable", "温度零点"),
};

const char *const reservedCaption = QT_TRANSLATE_NOOP("FieldTable", "保留寄存器");

class Builder
{
public:
    QVector<Field> fields;

    Field &add(Group group, const char *caption, const QString &name, int first, int count,
               Kind kind)
    {
        Field f{group, caption, name, first, count, kind};
        fields.append(f);
        return fields.last();
    }
    Field &add(Group group, const char *caption, const char *name, int first, int count, Kind kind)
    {
        return add(group, caption, QLatin1String(name), first, count, kind);
    }
    // n fields of the same kind one after another: "%1" of the caption and
    // name takes the number, from firstIndex on.
    void addSeries(Group group, const char *caption, const QString &name, int first, int n,
                   int countEach, Kind kind, int firstIndex = 1, int unitRegister = -1)
    {
        for (int i = 0; i < n; ++i) {
            Field &f = add(group, caption, name.arg(firstIndex + i), first + i * countEach,
                           countEach, kind);
            f.index = firstIndex + i;
            f.unitRegister = unitRegister;
        }
    }
    void reserved(Group group, int first, int count)
    {
        const QString name =
            count == 1 ? QStringLiteral("reserved_%1").arg(first)
                       : QStringLiteral("reserved_%1_%2").arg(first).arg(first + count - 1);
        add(group, reservedCaption, name, first, count, Kind::Raw);
    }
    void channel(const ChannelNames &n)
    {
        const Reg::Channel &r = n.regs;
        const QString p = QLatin1String(n.prefix) + QLatin1Char('_');
        add(n.group, n.rangeLow, p + QStringLiteral("range_low"), r.rangeLow, 2, Kind::Float)
            .unitRegister = r.rangeUnit;
        add(n.group, n.rangeHigh, p + QStringLiteral("range_high"), r.rangeHigh, 2, Kind::Float)
            .unitRegister = r.rangeUnit;
        add(n.group, n.rangeUnit, p + QStringLiteral("range_unit"), r.rangeUnit, 1, Kind::Unit);
        add(n.group, n.adcGain, p + QStringLiteral("adc_gain"), r.adcGain, 1, Kind::Decimal);
        add(n.group, n.stdUnit, p + QStringLiteral("standard_unit"), r.stdUnit, 1, Kind::Unit);
        if (r.zeroShield >= 0)
            add(n.group, QT_TRANSLATE_NOOP("FieldTable", "零点屏蔽"),
                p + QStringLiteral("zero_shield"), r.zeroShield, 1, Kind::Decimal)
                .unit = "‰";
        else
            reserved(n.group, r.stdUnit + 1, r.captured - r.stdUnit - 1);
        addSeries(n.group, n.captured, p + QStringLiteral("captured_%1"), r.captured, 5, 2,
                  Kind::Float);
        addSeries(n.group, n.standard, p + QStringLiteral("standard_%1"), r.standard, 5, 2,
                  Kind::Float, 1, r.stdUnit);
        add(n.group, n.points, p + QStringLiteral("points"), r.points, 2, Kind::Uint32);
        addSeries(n.group, n.coeff, p + QStringLiteral("coefficient_%1"), r.coeff, 5, 2,
                  Kind::Float, 0);
        addSeries(n.group, n.ecjzCaptured, p + QStringLiteral("secondary_captured_%1"),
                  r.ecjzCaptured, 2, 2, Kind::Float);
        addSeries(n.group, n.ecjzStandard, p + QStringLiteral("secondary_standard_%1"),
                  r.ecjzStandard, 2, 2, Kind::Float, 1, r.stdUnit);
        add(n.group, n.ecjzOffset, p + QStringLiteral("secondary_offset"), r.ecjzOffset, 2,
            Kind::Float);
        add(n.group, n.ecjzGain, p + QStringLiteral("secondary_gain"), r.ecjzGain, 2, Kind::Float);
        add(n.group, n.zero, p + QStringLiteral("zero"), r.zero, 2, Kind::Float);
    }
};

QVector<Field> buildTable()
{
    Builder b;
    const Group m = Group::Measurement;
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "特征码"), "feature_code", Reg::featureCode, 1,
          Kind::Decimal);
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "软件版本"), "firmware", Reg::firmwareVersion, 1,
          Kind::Firmware);
    Field &pressure = b.add(m, QT_TRANSLATE_NOOP("FieldTable", "压力浮点型"), "pressure",
                            Reg::pressureValue, 2, Kind::Reading);
    pressure.unitRegister = Reg::pressureUnit;
    pressure.decimalsRegister = Reg::pressureDecimals;
    Field &temperature = b.add(m, QT_TRANSLATE_NOOP("FieldTable", "温度浮点型"), "temperature",
                               Reg::temperatureValue, 2, Kind::Reading);
    temperature.unitRegister = Reg::temperatureUnit;
    temperature.decimalsRegister = Reg::temperatureDecimals;
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "压力整型"), "pressure_int", Reg::pressureInt, 1,
          Kind::Signed)
        .unitRegister = Reg::pressureUnit;
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "温度整型"), "temperature_int", Reg::temperatureInt, 1,
          Kind::Signed)
        .unitRegister = Reg::temperatureUnit;
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "电池电压"), "battery_v", Reg::batteryVoltage, 1,
          Kind::Centi)
        .unit = "V";
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "电池电量"), "battery_percent", Reg::batteryLevel, 1,
          Kind::Decimal)
        .unit = "%";
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "压力ADC值"), "pressure_adc", Reg::pressureAdc, 2,
          Kind::Float);
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "压力二次校准输入"), "pressure_secondary_input",
          Reg::pressureEcjzInput, 2, Kind::Float);
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "压力清零输入"), "pressure_zero_input",
          Reg::pressureZeroInput, 2, Kind::Float);
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "温度ADC值"), "temperature_adc", Reg::temperatureAdc,
          2, Kind::Float);
    b.add(m, QT_TRANSLATE_NOOP("FieldTable", "温度二次校准输入"), "temperature_secondary_input",
          Reg::temperatureEcjzInput, 2, Kind::Float);

    const Group u = Group::UserSettings;
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "地址"), "address", Reg::address, 1, Kind::Decimal);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "波特率"), "baud", Reg::baudCode, 1, Kind::Baud);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "校验位"), "parity", Reg::parityCode, 1, Kind::Parity);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "压力小数点"), "pressure_decimals",
          Reg::pressureDecimals, 1, Kind::Decimal);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "压力单位"), "pressure_unit", Reg::pressureUnit, 1,
          Kind::Unit);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "温度小数点"), "temperature_decimals",
          Reg::temperatureDecimals, 1, Kind::Decimal);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "温度单位"), "temperature_unit", Reg::temperatureUnit,
          1, Kind::Unit);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "采集周期"), "period", Reg::samplePeriod, 1,
          Kind::Decimal)
        .unit = "s";
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "背光时间"), "backlight", Reg::backlightCode, 1,
          Kind::Backlight);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "显示切换时间"), "display_switch_time",
          Reg::displaySwitchTime, 1, Kind::Decimal)
        .unit = "s";
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "ADC 速率"), "adc_rate", Reg::adcRate, 1,
          Kind::Decimal);
    b.reserved(u, Reg::adcRate + 1, 1);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "压力增益值"), "pressure_gain", Reg::pressureGain, 2,
          Kind::Float);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "压力偏移值"), "pressure_offset", Reg::pressureOffset,
          2, Kind::Float);
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "密度"), "density", Reg::density, 2, Kind::Float)
        .unit = "g/cm3";
    b.add(u, QT_TRANSLATE_NOOP("FieldTable", "重力加速度"), "gravity", Reg::gravity, 2,
          Kind::Float);
    b.reserved(u, Reg::gravity + 2, Blocks::userParamBlock.last() - Reg::gravity - 1);

    const Group mp = Group::MeterParameters;
    b.add(mp, QT_TRANSLATE_NOOP("FieldTable", "仪表编号"), "meter_number", Reg::meterNumber, 2,
          Kind::MeterNumber);
    b.add(mp, QT_TRANSLATE_NOOP("FieldTable", "仪表类型"), "meter_type", Reg::meterType, 1,
          Kind::MeterType);
    b.reserved(mp, Reg::meterType + 1, 1);

    b.channel(pressureNames);
    b.channel(temperatureNames);
    // Shared by the temperature and the register configuration blocks; written
    // with the smaller one.
    b.reserved(Group::TemperatureCalibration, Reg::temperature.zero + 2, 1);

    const Group rc = Group::RegisterConfiguration;
    for (int r = 1; r <= Reg::customRows; ++r) {
        const int reg = Reg::customRowFirst + 3 * (r - 1);
        b.add(rc, QT_TRANSLATE_NOOP("FieldTable", "第%1行参数名"),
              QStringLiteral("register_row_%1_source").arg(r), reg, 1, Kind::RowSource)
            .index = r;
        b.add(rc, QT_TRANSLATE_NOOP("FieldTable", "第%1行地址"),
              QStringLiteral("register_row_%1_address").arg(r), reg + 1, 1, Kind::Decimal)
            .index = r;
        b.add(rc, QT_TRANSLATE_NOOP("FieldTable", "第%1行自定义数据"),
              QStringLiteral("register_row_%1_value").arg(r), reg + 2, 1, Kind::RowValue)
            .index = r;
    }
    b.add(rc, QT_TRANSLATE_NOOP("FieldTable", "起始地址"), "text_start_address",
          Reg::textStartAddress, 1, Kind::Decimal);
    b.add(rc, QT_TRANSLATE_NOOP("FieldTable", "数据"), "text", Reg::textFirst, Reg::textRegisters,
          Kind::Text);
    return b.fields;
}

quint32 uint32At(const quint16 *regs, int reg)
{
    return quint32(regs[reg]) | (quint32(regs[reg + 1]) << 16);
}

float floatAt(const quint16 *regs, int reg)
{
    const quint32 bits = uint32At(regs, reg);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A code the table does not hold reads as such, never as another code's text.
QString unknownCode(quint16 code, Style style)
{
    return style == Style::Plain ? QStringLiteral("code %1").arg(code)
                                 : QCoreApplication::translate("CodeTables", "未知(%1)").arg(code);
}

QString codeText(quint16 code, const char *const *texts, int count, const char *trContext,
                 Style style)
{
    if (code >= count)
        return unknownCode(code, style);
    return trContext ? QCoreApplication::translate(trContext, texts[code])
                     : QString::fromUtf8(texts[code]);
}

// The decimals registers hold 0..4; a garbled one must not ask for thousands of digits.
constexpr int maxDecimals = 20;

} // namespace

QString Field::title() const
{
    const QString text = QCoreApplication::translate(context, caption);
    return index >= 0 ? text.arg(index) : text;
}

QString Field::registersText() const
{
    return count == 1 ? QString::number(first) : QStringLiteral("%1–%2").arg(first).arg(last());
}

QVector<int> Field::registers() const
{
    QVector<int> regs;
    for (int reg = first; reg <= last(); ++reg)
        regs.append(reg);
    return regs;
}

const QVector<Field> &table()
{
    static const QVector<Field> fields = buildTable();
    return fields;
}

const Field *fieldNamed(const QString &name)
{
    for (const Field &f : table()) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

const Field *fieldAt(int reg)
{
    for (const Field &f : table()) {
        if (f.first == reg)
            return &f;
    }
    return nullptr;
}

QString groupTitle(Group group)
{
    static const char *const titles[] = {QT_TRANSLATE_NOOP("FieldTable", "测量输出"),
                                         QT_TRANSLATE_NOOP("FieldTable", "用户设置"),
                                         QT_TRANSLATE_NOOP("FieldTable", "仪表参数设置"),
                                         QT_TRANSLATE_NOOP("FieldTable", "压力校准"),
                                         QT_TRANSLATE_NOOP("FieldTable", "温度校准"),
                                         QT_TRANSLATE_NOOP("FieldTable", "寄存器组态")};
    return QCoreApplication::translate(context, titles[int(group)]);
}

QString groupName(Group group)
{
    static const char *const names[] = {
        "measurement",          "user_settings",           "meter_parameters",
        "pressure_calibration", "temperature_calibration", "register_configuration"};
    return QLatin1String(names[int(group)]);
}

QString valueText(const Field &f, const quint16 *regs, Style style)
{
    const quint16 v = regs[f.first];
    const bool plain = style == Style::Plain;
    switch (f.kind) {
    case Kind::Decimal:
        return QString::number(v);
    case Kind::Signed:
        return QString::number(qint16(v));
    case Kind::Uint32:
        return QString::number(uint32At(regs, f.first));
    case Kind::MeterNumber:
        return field::formatMeterNumber(uint32At(regs, f.first));
    case Kind::Float:
        return field::formatFloat(floatAt(regs, f.first));
    case Kind::Baud:
        return v < baudRates.size() ? QString::number(baudRates[v]) : unknownCode(v, style);
    case Kind::Parity:
        return v < parityNames.size() ? parityName(v) : unknownCode(v, style);
    case Kind::Unit:
        return v < unitNames.size() ? unitName(v) : unknownCode(v, style);
    case Kind::Backlight: {
        static const char *const window[] = {QT_TRANSLATE_NOOP("MainWindow", "关闭"), "15", "30",
                                             "60", QT_TRANSLATE_NOOP("MainWindow", "常亮")};
        static const char *const words[] = {"off", "15", "30", "60", "on"};
        return plain ? codeText(v, words, 5, nullptr, style)
                     : codeText(v, window, 5, "MainWindow", style);
    }
    case Kind::MeterType: {
        static const char *const window[] = {QT_TRANSLATE_NOOP("MainWindow", "单独压力"),
                                             QT_TRANSLATE_NOOP("MainWindow", "单独温度"),
                                             QT_TRANSLATE_NOOP("MainWindow", "温压一体")};
        static const char *const words[] = {"pressure", "temperature", "pressure+temperature"};
        return plain ? codeText(v, words, 3, nullptr, style)
                     : codeText(v, window, 3, "MainWindow", style);
    }
    case Kind::Firmware:
        return QString::asprintf("V%.02f", v / 100.0);
    case Kind::Centi:
        return QString::asprintf("%.02f", v / 100.0);
    case Kind::Reading:
        return QString::asprintf("%.*f", qMin<int>(regs[f.decimalsRegister], maxDecimals),
                                 double(floatAt(regs, f.first)));
    case Kind::RowSource:
        if (plain)
            return QString::number(v);
        return codeText(v, registerCaptions.data(), int(registerCaptions.size()), "MainWindow",
                        style);
    case Kind::RowValue: {
        QString text;
        // A row whose source is a quantity of the instrument carries a value the
        // page does not show; it still travels, so it reads as a number.
        return field::customValueText(regs[f.first - 2], v, &text) ? text : QString::number(v);
    }
    case Kind::Text:
        return field::decodeTextBlock(regs + f.first);
    case Kind::Raw: {
        QStringList words;
        for (int reg = f.first; reg <= f.last(); ++reg)
            words
                << QStringLiteral("0x") +
                       QString::number(regs[reg], 16).toUpper().rightJustified(4, QLatin1Char('0'));
        return words.join(QLatin1Char(' '));
    }
    }
    return QString();
}

QString unitText(const Field &f, const quint16 *regs)
{
    if (f.unit)
        return QString::fromUtf8(f.unit);
    if (f.unitRegister >= 0)
        return unitName(regs[f.unitRegister]);
    return QString();
}

} // namespace fields
