#include "cli/usersettings.h"

#include "model/codetables.h"
#include "model/pagestate.h"

#include <QJsonValue>

#include <cmath>

namespace cli {

namespace {

constexpr int temperatureUnitFirstCode = 11;

// The backlight combo's items: off, 15 s, 30 s, 60 s, always on.
const QStringList backlightChoices = {QStringLiteral("off"), QStringLiteral("15"),
                                      QStringLiteral("30"), QStringLiteral("60"),
                                      QStringLiteral("on")};
const QStringList parityChoices = {QStringLiteral("none"), QStringLiteral("odd"),
                                   QStringLiteral("even")};
const QStringList temperatureUnitChoices = {QStringLiteral("C"), QStringLiteral("F")};
const QStringList adcRateChoices = {QStringLiteral("10"), QStringLiteral("40")};

enum class Kind
{
    Address,
    Choice, // register holds the index (+ offset) of the value in choices
    Baud,
    Decimals, // 0..4
    Word,     // 0..65535
    AdcRate,  // the value itself, 10 or 40
    Float
};

struct Setting
{
    const char *name;
    int reg;
    Kind kind;
    const QStringList *choices;
    int offset;
};

QStringList pressureUnitChoices()
{
    QStringList units;
    for (int code = 0; code < temperatureUnitFirstCode; ++code)
        units << QString::fromUtf8(unitNames[size_t(code)]);
    return units;
}

const QStringList &pressureUnits()
{
    static const QStringList units = pressureUnitChoices();
    return units;
}

const QList<Setting> &settings()
{
    static const QList<Setting> table = {
        {"address", Reg::address, Kind::Address, nullptr, 0},
        {"baud", Reg::baudCode, Kind::Baud, nullptr, 0},
        {"parity", Reg::parityCode, Kind::Choice, &parityChoices, 0},
        {"pressure_unit", Reg::pressureUnit, Kind::Choice, &pressureUnits(), 0},
        {"pressure_decimals", Reg::pressureDecimals, Kind::Decimals, nullptr, 0},
        {"temperature_unit", Reg::temperatureUnit, Kind::Choice, &temperatureUnitChoices,
         temperatureUnitFirstCode},
        {"temperature_decimals", Reg::temperatureDecimals, Kind::Decimals, nullptr, 0},
        {"period", Reg::samplePeriod, Kind::Word, nullptr, 0},
        {"backlight", Reg::backlightCode, Kind::Choice, &backlightChoices, 0},
        {"display_switch_time", Reg::displaySwitchTime, Kind::Word, nullptr, 0},
        {"adc_rate", Reg::adcRate, Kind::AdcRate, nullptr, 0},
        {"pressure_gain", Reg::pressureGain, Kind::Float, nullptr, 0},
        {"pressure_offset", Reg::pressureOffset, Kind::Float, nullptr, 0},
        {"density", Reg::density, Kind::Float, nullptr, 0},
        {"gravity", Reg::gravity, Kind::Float, nullptr, 0},
    };
    return table;
}

const Setting *findSetting(const QString &name)
{
    for (const Setting &s : settings()) {
        if (name == QLatin1String(s.name))
            return &s;
    }
    return nullptr;
}

QString allowedText(const Setting &s)
{
    switch (s.kind) {
    case Kind::Address:
        return QStringLiteral("1..255");
    case Kind::Baud:
    case Kind::Choice:
        return settingValues(QLatin1String(s.name)).join(QLatin1Char('|'));
    case Kind::Decimals:
        return QStringLiteral("0..4");
    case Kind::Word:
        return QStringLiteral("0..65535");
    case Kind::AdcRate:
        return adcRateChoices.join(QLatin1Char('|'));
    case Kind::Float:
        return QStringLiteral("a finite number");
    }
    return {};
}

bool parseWhole(const QString &text, uint low, uint high, quint16 *out)
{
    bool ok = false;
    const uint v = text.toUInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *out = quint16(v);
    return true;
}

QString valueText(const RegisterMirror &m, const Setting &s)
{
    const quint16 v = m.at(s.reg);
    switch (s.kind) {
    case Kind::Baud:
        return v < baudRates.size() ? QString::number(baudRates[v])
                                    : QStringLiteral("code %1").arg(v);
    case Kind::Choice: {
        const int index = int(v) - s.offset;
        return index >= 0 && index < s.choices->size() ? s.choices->at(index)
                                                       : QStringLiteral("code %1").arg(v);
    }
    case Kind::Float:
        return floatText(m.float32(s.reg));
    default:
        return QString::number(v);
    }
}

} // namespace

QString floatText(float value)
{
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

QStringList settingNames()
{
    QStringList names;
    for (const Setting &s : settings())
        names << QLatin1String(s.name);
    return names;
}

QStringList settingValues(const QString &name)
{
    const Setting *s = findSetting(name);
    if (!s)
        return {};
    switch (s->kind) {
    case Kind::Baud: {
        QStringList rates;
        for (quint32 rate : baudRates)
            rates << QString::number(rate);
        return rates;
    }
    case Kind::Choice:
        return *s->choices;
    case Kind::Decimals:
        return {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                QStringLiteral("4")};
    case Kind::AdcRate:
        return adcRateChoices;
    default:
        return {};
    }
}

QString settingHelp()
{
    QString text;
    for (const Setting &s : settings())
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(s.name), -22).arg(allowedText(s));
    return text;
}

bool parseSettingAssignment(const QString &text, SettingChange *change, QString *error)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        *error = QStringLiteral("'%1' is not NAME=VALUE").arg(text);
        return false;
    }
    change->name = text.left(eq).trimmed();
    change->value = text.mid(eq + 1).trimmed();
    if (!findSetting(change->name)) {
        *error = QStringLiteral("unknown setting '%1' (known: %2)")
                     .arg(change->name, settingNames().join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

bool applySetting(RegisterMirror &mirror, const SettingChange &change, QString *error)
{
    const Setting *s = findSetting(change.name);
    if (!s) {
        *error = QStringLiteral("unknown setting '%1'").arg(change.name);
        return false;
    }
    const QString &text = change.value;
    quint16 word = 0;
    bool ok = false;
    switch (s->kind) {
    case Kind::Address:
        ok = parseWhole(text, 1, 255, &word);
        break;
    case Kind::Baud:
        for (size_t code = 0; code < baudRates.size(); ++code) {
            if (text == QString::number(baudRates[code])) {
                word = quint16(code);
                ok = true;
            }
        }
        break;
    case Kind::Choice:
        for (int i = 0; i < s->choices->size(); ++i) {
            if (text.compare(s->choices->at(i), Qt::CaseInsensitive) == 0) {
                word = quint16(i + s->offset);
                ok = true;
            }
        }
        // The degree signs the window shows, too.
        if (s->reg == Reg::temperatureUnit &&
            (text == QStringLiteral("℃") || text == QStringLiteral("℉"))) {
            word = quint16(text == QStringLiteral("℃") ? 11 : 12);
            ok = true;
        }
        break;
    case Kind::Decimals:
        ok = parseWhole(text, 0, 4, &word);
        break;
    case Kind::Word:
        ok = parseWhole(text, 0, 65535, &word);
        break;
    case Kind::AdcRate:
        ok = adcRateChoices.contains(text);
        word = quint16(text.toUInt());
        break;
    case Kind::Float: {
        float value = 0;
        if (!field::parseFiniteFloat(text, &value))
            break;
        mirror.setFloat32(s->reg, value);
        return true;
    }
    }
    if (!ok) {
        *error = QStringLiteral("bad value '%1' for %2 (allowed: %3)")
                     .arg(text, change.name, allowedText(*s));
        return false;
    }
    mirror.set(s->reg, word);
    return true;
}

QJsonObject settingsJson(const RegisterMirror &mirror)
{
    QJsonObject o;
    for (const Setting &s : settings()) {
        const QString text = valueText(mirror, s);
        switch (s.kind) {
        case Kind::Choice:
            o.insert(QLatin1String(s.name), text);
            break;
        case Kind::Float:
            o.insert(QLatin1String(s.name), floatText(mirror.float32(s.reg)).toDouble());
            break;
        default:
            bool number = false;
            const double v = text.toDouble(&number);
            o.insert(QLatin1String(s.name), number ? QJsonValue(v) : QJsonValue(text));
        }
    }
    return o;
}

} // namespace cli
