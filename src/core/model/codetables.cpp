#include "model/codetables.h"

#include <QCoreApplication>

const std::array<const char *, 13> unitNames = {
    "Pa", "KPa", "MPa", "mmH2O", "mH2O", "bar", "psi", "atm", "kgf/cm2", "mm", "m", "℃", "℉",
};

const std::array<quint32, 6> baudRates = {1200, 2400, 4800, 9600, 19200, 38400};

const std::array<const char *, 3> parityNames = {"NONE", "ODD", "EVEN"};

const std::array<const char *, 26> registerCaptions = {
    QT_TRANSLATE_NOOP("MainWindow", "浮点压力值低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "浮点压力值高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "浮点温度值低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "浮点温度值高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "整型压力值"),
    QT_TRANSLATE_NOOP("MainWindow", "整型温度值"),
    QT_TRANSLATE_NOOP("MainWindow", "电池电压"),
    QT_TRANSLATE_NOOP("MainWindow", "电池电量"),
    QT_TRANSLATE_NOOP("MainWindow", "地址"),
    QT_TRANSLATE_NOOP("MainWindow", "波特率"),
    QT_TRANSLATE_NOOP("MainWindow", "校验位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力小数位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力单位"),
    QT_TRANSLATE_NOOP("MainWindow", "温度小数位"),
    QT_TRANSLATE_NOOP("MainWindow", "温度单位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力增益系数低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力增益系数高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力偏移值低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "压力偏移值高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "密度低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "密度高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "重力加速度低16位"),
    QT_TRANSLATE_NOOP("MainWindow", "重力加速度高16位"),
    QT_TRANSLATE_NOOP("MainWindow", "自定义数据10进制"),
    QT_TRANSLATE_NOOP("MainWindow", "自定义数据16进制"),
    QT_TRANSLATE_NOOP("MainWindow", "自定义数据字符型"),
};

namespace {

QString unknownCode(uint code)
{
    return QCoreApplication::translate("CodeTables", "未知(%1)").arg(code);
}

} // namespace

QString unitName(uint code)
{
    if (code >= unitNames.size())
        return unknownCode(code);
    return QString::fromUtf8(unitNames[code]);
}

QString parityName(uint code)
{
    if (code >= parityNames.size())
        return unknownCode(code);
    return QString::fromUtf8(parityNames[code]);
}

quint32 baudRateForCode(uint code)
{
    return baudRates[qMin<uint>(code, baudRates.size() - 1)];
}
