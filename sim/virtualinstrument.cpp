#include "virtualinstrument.h"

#include <QtMath>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Register numbers of the board (only those the simulation acts on).
enum : int
{
    RegFeature = 0,
    RegFirmware = 1,
    RegPressure = 2,
    RegTemperature = 4,
    RegPressureInt = 6,
    RegTemperatureInt = 7,
    RegBatteryVoltage = 8,
    RegBatteryLevel = 9,
    RegPressureAdc = 14,
    RegPressureEcjzInput = 18,
    RegPressureZeroInput = 20,
    RegTemperatureAdc = 24,
    RegTemperatureEcjzInput = 28,
    RegAddress = 42,
    RegBaud = 43,
    RegParity = 44,
    RegPressureDecimals = 45,
    RegPressureUnit = 46,
    RegTemperatureDecimals = 47,
    RegTemperatureUnit = 48,
    RegSamplePeriod = 49,
    RegBacklight = 50,
    RegSwitchTime = 51,
    RegAdcRate = 52,
    RegGain = 54,
    RegOffset = 56,
    RegDensity = 58,
    RegGravity = 60,
    RegMeterNumber = 72,
    RegMeterType = 74,
    RegPressureRangeLow = 76,
    RegPressureRangeHigh = 78,
    RegPressureRangeUnit = 80,
    RegPressureAdcGain = 81,
    RegPressureStdUnit = 82,
    RegPressureZeroShield = 83,
    RegPressureCaptured = 84,
    RegPressureStandard = 94,
    RegPressurePoints = 104,
    RegPressureCoeff = 106,
    RegPressureEcjzCaptured = 116,
    RegPressureEcjzStandard = 120,
    RegPressureEcjzOffset = 124,
    RegPressureEcjzGain = 126,
    RegPressureZero = 128,
    RegTemperatureRangeLow = 130,
    RegTemperatureRangeHigh = 132,
    RegTemperatureRangeUnit = 134,
    RegTemperatureAdcGain = 135,
    RegTemperatureStdUnit = 136,
    RegTemperatureCaptured = 146,
    RegTemperatureStandard = 156,
    RegTemperaturePoints = 166,
    RegTemperatureCoeff = 168,
    RegTemperatureEcjzCaptured = 178,
    RegTemperatureEcjzStandard = 182,
    RegTemperatureEcjzOffset = 186,
    RegTemperatureEcjzGain = 188,
    RegTemperatureZero = 190,
    RegCustomRows = 193,
    RegTextStart = 268,
    RegText = 269,
};

constexpr int UnitMPa = 2;
constexpr int UnitCelsius = 11;
constexpr int UnitFahrenheit = 12;
constexpr double FullScaleAdc = SensorModel::AdcAtSpan; // ADC reading at the upper range end

quint16 word(const QByteArray &frame, int offset)
{
    return quint16(quint8(frame.at(offset)) << 8 | quint8(frame.at(offset + 1)));
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

// Pascal per unit for the pressure unit codes 0..8; 9 and 10 are liquid
// levels (mm, m) and need the density and gravity.
double pascalPerUnit(int unit, double density, double gravity)
{
    static const double perUnit[] = {1.0, 1e3,      1e6,      9.80665, 9806.65,
                                     1e5, 6894.757, 101325.0, 98066.5};
    if (unit >= 0 && unit <= 8)
        return perUnit[unit];
    const double perMetre = density * 1000.0 * gravity;
    if (unit == 9)
        return perMetre > 0 ? perMetre / 1000.0 : 1.0;
    if (unit == 10)
        return perMetre > 0 ? perMetre : 1.0;
    return 1e6; // unknown code: leave the value in MPa
}

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

qint16 toInt16(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double rounded = std::round(value);
    if (rounded > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (rounded < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return qint16(rounded);
}

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

VirtualInstrument::VirtualInstrument(quint8 address) : clock(monotonicMs), effectiveAddress(address)
{
    setDefaults(address);
    storeImage(userImg);
    storeImage(factoryImg);
    applyLinkSettings();
    updateMeasurements();
}

void VirtualInstrument::setDefaults(quint8 address)
{
    regs[RegFeature] = FeatureCode;
    regs[RegFirmware] = DefaultFirmware;
    regs[RegBatteryVoltage] = 372;
    regs[RegBatteryLevel] = 80;

    regs[RegAddress] = address;
    regs[RegBaud] = 3; // 9600
    regs[RegParity] = 0;
    regs[RegPressureDecimals] = 2;
    regs[RegPressureUnit] = UnitMPa;
    regs[RegTemperatureDecimals] = 1;
    regs[RegTemperatureUnit] = UnitCelsius;
    regs[RegSamplePeriod] = 1;
    regs[RegBacklight] = 1;
    regs[RegSwitchTime] = 3;
    regs[RegAdcRate] = 10;
    setFloat32(RegGain, 1.0f);
    setFloat32(RegOffset, 0.0f);
    setFloat32(RegDensity, 1.0f);
    setFloat32(RegGravity, 9.8f);

    setUint32(RegMeterNumber, 1911140001u);
    regs[RegMeterType] = 2;

    // Pressure channel: 0..1.6 MPa over ADC 0..100000, a straight line through
    // the sensor's ends.
    setFloat32(RegPressureRangeLow, 0.0f);
    setFloat32(RegPressureRangeHigh, 1.6f);
    regs[RegPressureRangeUnit] = UnitMPa;
    regs[RegPressureAdcGain] = 64;
    regs[RegPressureStdUnit] = UnitMPa;
    regs[RegPressureZeroShield] = 5;
    setFloat32(RegPressureCaptured, 0.0f);
    setFloat32(RegPressureCaptured + 2, float(FullScaleAdc));
    setFloat32(RegPressureStandard, 0.0f);
    setFloat32(RegPressureStandard + 2, 1.6f);
    setUint32(RegPressurePoints, 2);
    setFloat32(RegPressureCoeff + 2, float(1.6 / FullScaleAdc));
    setFloat32(RegPressureEcjzCaptured, 0.0f);
    setFloat32(RegPressureEcjzCaptured + 2, 1.6f);
    setFloat32(RegPressureEcjzStandard, 0.0f);
    setFloat32(RegPressureEcjzStandard + 2, 1.6f);
    setFloat32(RegPressureEcjzOffset, 0.0f);
    setFloat32(RegPressureEcjzGain, 1.0f);
    setFloat32(RegPressureZero, 0.0f);

    // Temperature channel: 0..100 degrees Celsius, three points, as a PT100
    // needs; the quadratic through them is the sensor's curve within 0.003
    // degrees over the range.
    setFloat32(RegTemperatureRangeLow, 0.0f);
    setFloat32(RegTemperatureRangeHigh, 100.0f);
    regs[RegTemperatureRangeUnit] = UnitCelsius;
    regs[RegTemperatureAdcGain] = 1;
    regs[RegTemperatureStdUnit] = UnitCelsius;
    const double t[3] = {0.0, 50.0, 100.0};
    double x[3];
    for (int k = 0; k < 3; ++k) {
        x[k] = SensorModel::temperatureAdc(t[k]);
        setFloat32(RegTemperatureCaptured + 2 * k, float(x[k]));
        setFloat32(RegTemperatureStandard + 2 * k, float(t[k]));
    }
    setUint32(RegTemperaturePoints, 3);
    // Newton's form through the points, expanded into powers of the ADC value.
    const double slope01 = (t[1] - t[0]) / (x[1] - x[0]);
    const double curve = ((t[2] - t[1]) / (x[2] - x[1]) - slope01) / (x[2] - x[0]);
    setFloat32(RegTemperatureCoeff, float(t[0] - slope01 * x[0] + curve * x[0] * x[1]));
    setFloat32(RegTemperatureCoeff + 2, float(slope01 - curve * (x[0] + x[1])));
    setFloat32(RegTemperatureCoeff + 4, float(curve));
    setFloat32(RegTemperatureEcjzCaptured, 0.0f);
    setFloat32(RegTemperatureEcjzCaptured + 2, 100.0f);
    setFloat32(RegTemperatureEcjzStandard, 0.0f);
    setFloat32(RegTemperatureEcjzStandard + 2, 100.0f);
    setFloat32(RegTemperatureEcjzOffset, 0.0f);
    setFloat32(RegTemperatureEcjzGain, 1.0f);
    setFloat32(RegTemperatureZero, 0.0f);

    // Board data the tool carries without interpreting it.
    for (int i = 0; i < 10; ++i)
        regs[62 + i] = quint16(0x0100 + i);
    for (int i = 0; i < 9; ++i)
        regs[137 + i] = quint16(2019 + i);

    // Custom rows: the 23 named quantities first, then one row of each custom form.
    for (int row = 0; row < 25; ++row) {
        const int base = RegCustomRows + 3 * row;
        regs[base] = quint16(row < 23 ? row : 23 + (row - 23));
        regs[base + 1] = quint16(1000 + row);
    }
    regs[RegCustomRows + 3 * 23 + 2] = 1234;
    regs[RegCustomRows + 3 * 24 + 2] = 0xBEEF;

    regs[RegTextStart] = 2000;
    const QByteArray text("KV-3PD virtual");
    for (int i = 0; i < text.size(); ++i) {
        const int shift = (i % 2 == 0) ? 8 : 0;
        regs[RegText + i / 2] |= quint16(quint8(text.at(i)) << shift);
    }
}

qint32 VirtualInstrument::baudRateForCode(int code)
{
    static const qint32 rates[] = {1200, 2400, 4800, 9600, 19200, 38400};
    return (code >= 0 && code <= 5) ? rates[code] : 0;
}

quint16 VirtualInstrument::reg(int index) const
{
    return (index >= 0 && index < Registers) ? regs[index] : 0;
}

void VirtualInstrument::setReg(int index, quint16 value)
{
    if (index >= 0 && index < Registers)
        regs[index] = value;
}

quint32 VirtualInstrument::uint32(int index) const
{
    return quint32(reg(index)) | quint32(reg(index + 1)) << 16;
}

void VirtualInstrument::setUint32(int index, quint32 value)
{
    setReg(index, quint16(value & 0xFFFF));
    setReg(index + 1, quint16(value >> 16));
}

float VirtualInstrument::float32(int index) const
{
    const quint32 bits = uint32(index);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void VirtualInstrument::setFloat32(int index, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    setUint32(index, bits);
}

quint16 VirtualInstrument::crc16(const char *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray VirtualInstrument::withCrc(QByteArray body)
{
    const quint16 crc = crc16(body.constData(), body.size());
    body.append(char(crc & 0xFF));
    body.append(char(crc >> 8));
    return body;
}

QByteArray VirtualInstrument::handleRequest(const QByteArray &frame)
{
    if (frame.size() < 4)
        return {};
    const int body = frame.size() - 2;
    const quint16 crc = quint16(quint8(frame.at(body)) | quint8(frame.at(body + 1)) << 8);
    if (crc != crc16(frame.constData(), body))
        return {};

    ++requestCount;
    const quint8 function = quint8(frame.at(1));
    if ((function == FuncWriteSingle || function == FuncWriteMultiple) &&
        word(frame, 2) != AccessRegister)
        ++writeRequestCount;

    const bool faulty = faultsApply(frame);
    if (faulty && faults.silentAfter == 0)
        faults.silent = true;
    else if (faulty && faults.silentAfter > 0)
        --faults.silentAfter;
    if (faults.silent)
        return {};
    const qint64 now = clock();
    if (timing.passwordLapseMs > 0 && lastHeardMs >= 0 &&
        now - lastHeardMs >= timing.passwordLapseMs)
        unlocked = false;
    lastHeardMs = now;
    // Storing to flash: the board hears the line but neither acts nor answers.
    if (now < busyUntilMs)
        return {};
    if (!faulty)
        return execute(frame);
    if (faults.exceptionCode > 0 &&
        (faults.exceptionFunction <= 0 || function == faults.exceptionFunction))
        return applyReplyFaults(exception(frame, quint8(faults.exceptionCode)));
    return applyReplyFaults(execute(frame));
}

bool VirtualInstrument::faultsApply(const QByteArray &frame) const
{
    const quint16 first = frame.size() >= 4 ? word(frame, 2) : 0;
    if (faults.measuredOnly)
        return frame.size() >= 6 && quint8(frame.at(1)) == FuncRead && first < FirstParam &&
               first + word(frame, 4) > RegPressure;
    return !faults.paramsOnly || (first >= FirstParam && first != AccessRegister);
}

QByteArray VirtualInstrument::execute(const QByteArray &frame)
{
    switch (quint8(frame.at(1))) {
    case FuncRead:
        return readRegisters(frame);
    case FuncWriteSingle:
        return writeSingle(frame);
    case FuncWriteMultiple:
        return writeMultiple(frame);
    default:
        return exception(frame, IllegalFunction);
    }
}

QByteArray VirtualInstrument::readRegisters(const QByteArray &frame)
{
    if (frame.size() != 8)
        return exception(frame, IllegalValue);
    const int first = word(frame, 2);
    const int count = word(frame, 4);
    if (count < 1 || count > MaxCount)
        return exception(frame, IllegalValue);
    if (first + count - 1 > LastParam)
        return exception(frame, IllegalAddress);

    QByteArray reply = frame.left(2);
    reply.append(char(2 * count));
    for (int i = 0; i < count; ++i)
        appendWord(reply, regs[first + i]);
    return withCrc(reply);
}

QByteArray VirtualInstrument::writeSingle(const QByteArray &frame)
{
    if (frame.size() != 8)
        return exception(frame, IllegalValue);
    const quint16 address = word(frame, 2);
    const quint16 value = word(frame, 4);
    const QByteArray echo = frame;

    if (address == AccessRegister) {
        unlocked = (value == AccessPassword);
        return echo;
    }
    if (address == CommandRegister) {
        if (!unlocked)
            return exception(frame, Locked);
        lastCommandValue = value;
        return runCommand(value) ? echo : exception(frame, IllegalValue);
    }
    if (address < FirstParam || address > LastParam)
        return exception(frame, IllegalAddress);
    if (!unlocked)
        return exception(frame, Locked);
    if (faults.writeExceptionCode > 0)
        return exception(frame, quint8(faults.writeExceptionCode));
    regs[address] = value;
    return echo;
}

QByteArray VirtualInstrument::writeMultiple(const QByteArray &frame)
{
    if (frame.size() < 9)
        return exception(frame, IllegalValue);
    const int first = word(frame, 2);
    const int count = word(frame, 4);
    const int byteCount = quint8(frame.at(6));
    if (count < 1 || count > MaxCount || byteCount != 2 * count || frame.size() != 9 + byteCount)
        return exception(frame, IllegalValue);

    QByteArray reply = frame.left(6);
    if (first == AccessRegister && count == 1) {
        unlocked = (word(frame, 7) == AccessPassword);
        return withCrc(reply);
    }
    if (first < FirstParam || first + count - 1 > LastParam)
        return exception(frame, IllegalAddress);
    if (!unlocked)
        return exception(frame, Locked);
    if (faults.writeExceptionCode > 0)
        return exception(frame, quint8(faults.writeExceptionCode));
    for (int i = 0; i < count; ++i)
        regs[first + i] = word(frame, 7 + 2 * i);
    return withCrc(reply);
}

QByteArray VirtualInstrument::exception(const QByteArray &frame, quint8 code) const
{
    QByteArray reply;
    reply.append(frame.at(0));
    reply.append(char(quint8(frame.at(1)) | 0x80));
    reply.append(char(code));
    return withCrc(reply);
}

QByteArray VirtualInstrument::applyReplyFaults(QByteArray reply) const
{
    if (reply.isEmpty())
        return reply;
    if (faults.replyFromAddress >= 0) {
        reply[0] = char(faults.replyFromAddress);
        reply = withCrc(reply.left(reply.size() - 2));
    }
    if (faults.badCrc)
        reply[reply.size() - 1] = char(reply.at(reply.size() - 1) ^ 0x5A);
    if (faults.truncated)
        reply.chop(qMin(3, reply.size() - 1));
    if (faults.garbageBefore)
        reply.prepend(char(0xFF));
    if (faults.garbageAfter)
        reply.append(QByteArray::fromHex("00FF55AA"));
    return reply;
}

bool VirtualInstrument::runCommand(quint16 value)
{
    switch (value) {
    case CommandUserSave:
        storeImage(userImg);
        break;
    case CommandFactorySave:
        storeImage(userImg);
        storeImage(factoryImg);
        break;
    case CommandRestoreFactory:
        loadImage(factoryImg);
        userImg = factoryImg;
        break;
    default:
        return false;
    }
    ++revision;
    applyLinkSettings();
    if (faults.alterAfterSave >= FirstParam && faults.alterAfterSave <= LastParam)
        ++regs[faults.alterAfterSave];
    // The command is acknowledged first; the board then stores for a while.
    if (timing.busyAfterSaveMs > 0)
        busyUntilMs = clock() + timing.busyAfterSaveMs;
    return true;
}

void VirtualInstrument::storeImage(QVector<quint16> &image) const
{
    image = QVector<quint16>(regs + FirstParam, regs + LastParam + 1);
}

void VirtualInstrument::loadImage(const QVector<quint16> &image)
{
    std::copy(image.cbegin(), image.cend(), regs + FirstParam);
}

// A board cannot live on the broadcast address or an unknown baud rate or
// parity, so such settings leave the link as it was.
void VirtualInstrument::applyLinkSettings()
{
    const quint8 address = quint8(regs[RegAddress] & 0xFF);
    if (address != 0)
        effectiveAddress = address;
    if (baudRateForCode(regs[RegBaud]) != 0)
        effectiveBaudCode = regs[RegBaud];
    if (regs[RegParity] <= 2)
        effectiveParityCode = regs[RegParity];
}

QVector<quint16> VirtualInstrument::userImage() const
{
    return userImg;
}

QVector<quint16> VirtualInstrument::factoryImage() const
{
    return factoryImg;
}

bool VirtualInstrument::setImages(const QVector<quint16> &user, const QVector<quint16> &factory)
{
    if (user.size() != ImageWords || factory.size() != ImageWords)
        return false;
    userImg = user;
    factoryImg = factory;
    loadImage(userImg);
    applyLinkSettings();
    updateMeasurements();
    return true;
}

void VirtualInstrument::tick()
{
    ++ticks;
    updateMeasurements();
}

bool VirtualInstrument::applyPressure(double value)
{
    const int unit = regs[RegPressureRangeUnit];
    const double density = float32(RegDensity);
    const double gravity = float32(RegGravity);
    const bool level = unit == 9 || unit == 10;
    if (unit > 10 || (level && !(density * gravity > 0.0 && std::isfinite(density * gravity))))
        return false;
    sensor.apply(SensorModel::Pressure, value * pascalPerUnit(unit, density, gravity) / 1e6);
    return true;
}

bool VirtualInstrument::applyTemperature(double value)
{
    const int unit = regs[RegTemperatureRangeUnit];
    if (unit != UnitCelsius && unit != UnitFahrenheit)
        return false;
    sensor.apply(SensorModel::Temperature, unit == UnitFahrenheit ? (value - 32.0) / 1.8 : value);
    return true;
}

// Every derived value goes through the board's own calibration registers, so
// a calibration written by the tool shows in the readings at once.
void VirtualInstrument::updateMeasurements()
{
    if (!live)
        return;
    const double seconds = ticks * 0.1;
    sensor.update(clock(), 0.8 + 0.4 * std::sin(seconds * 2 * M_PI / 60.0),
                  25.0 + 3.0 * std::sin(seconds * 2 * M_PI / 300.0));
    const double pressureAdc = sensor.adc(SensorModel::Pressure);
    const double temperatureAdc = sensor.adc(SensorModel::Temperature);
    setFloat32(RegPressureAdc, float(pressureAdc));
    setFloat32(RegTemperatureAdc, float(temperatureAdc));

    auto polynomial = [this](int coeff, double x) {
        double sum = 0;
        for (int i = 4; i >= 0; --i)
            sum = sum * x + double(float32(coeff + 2 * i));
        return sum;
    };

    const double density = finiteOr(float32(RegDensity), 1.0);
    const double gravity = finiteOr(float32(RegGravity), 9.8);

    // Pressure: calibration polynomial, secondary line, zero, then the
    // display unit with the user's gain and offset.
    const double primary = polynomial(RegPressureCoeff, pressureAdc);
    const double secondary =
        float32(RegPressureEcjzOffset) + float32(RegPressureEcjzGain) * primary;
    double zeroed = secondary + float32(RegPressureZero);
    const int stdUnit = regs[RegPressureStdUnit];
    const double span = (float32(RegPressureRangeHigh) - float32(RegPressureRangeLow)) *
                        pascalPerUnit(regs[RegPressureRangeUnit], density, gravity) /
                        pascalPerUnit(stdUnit, density, gravity);
    if (std::abs(zeroed) < std::abs(span) * regs[RegPressureZeroShield] / 1000.0)
        zeroed = 0;
    const double inUnit = zeroed * pascalPerUnit(stdUnit, density, gravity) /
                          pascalPerUnit(regs[RegPressureUnit], density, gravity);
    const double pressure = inUnit * float32(RegGain) + float32(RegOffset);
    setFloat32(RegPressureEcjzInput, float(primary));
    setFloat32(RegPressureZeroInput, float(secondary));
    setFloat32(RegPressure, float(pressure));
    const int pressureDecimals = qBound(0, int(regs[RegPressureDecimals]), 4);
    regs[RegPressureInt] = quint16(toInt16(pressure * std::pow(10.0, pressureDecimals)));

    // Temperature: the same chain without gain and shielding.
    const double tPrimary = polynomial(RegTemperatureCoeff, temperatureAdc);
    const double tSecondary =
        float32(RegTemperatureEcjzOffset) + float32(RegTemperatureEcjzGain) * tPrimary;
    double celsius = tSecondary + float32(RegTemperatureZero);
    if (regs[RegTemperatureStdUnit] == UnitFahrenheit)
        celsius = (celsius - 32.0) / 1.8;
    const double temperature =
        regs[RegTemperatureUnit] == UnitFahrenheit ? celsius * 1.8 + 32.0 : celsius;
    setFloat32(RegTemperatureEcjzInput, float(tPrimary));
    setFloat32(RegTemperature, float(temperature));
    const int temperatureDecimals = qBound(0, int(regs[RegTemperatureDecimals]), 4);
    regs[RegTemperatureInt] = quint16(toInt16(temperature * std::pow(10.0, temperatureDecimals)));

    // Battery: a slow sag around 3.7 V; charge from 3.0 V (empty) to 4.2 V (full).
    const double volts = 3.72 - 0.03 * (1 - std::cos(seconds * 2 * M_PI / 600.0));
    regs[RegBatteryVoltage] = quint16(std::lround(volts * 100));
    regs[RegBatteryLevel] = quint16(qBound(0L, std::lround((volts - 3.0) / 1.2 * 100), 100L));
}
