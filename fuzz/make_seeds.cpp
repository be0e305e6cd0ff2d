// Writes the seed corpora of the fuzz targets into DIR/<target>/: real
// exchanges with the virtual instrument, real backup files, every command
// string. Run it again (target fuzz_seeds) when an input layout changes.

#include "calibration/calibration.h"
#include "modbus/kzmodbus.h"
#include "model/backupfile.h"
#include "virtualinstrument.h"
#include "worker/messages.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>

#include <cstdio>
#include <cstring>

namespace {

QString outputDir;

void write(const QString &target, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(outputDir + '/' + target);
    QFile file(outputDir + '/' + target + '/' + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8)).append(char(value & 0xFF));
}

void appendFloat(QByteArray &bytes, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendWord(bytes, quint16(bits >> 16));
    appendWord(bytes, quint16(bits & 0xFFFF));
}

QByteArray request(quint8 function, quint16 address, quint16 countOrValue)
{
    QByteArray frame;
    frame.append(char(1)).append(char(function));
    appendWord(frame, address);
    appendWord(frame, countOrValue);
    if (function == kzModbus::FuncWriteMultiple) {
        frame.append(char(2 * countOrValue));
        for (int i = 0; i < countOrValue; ++i)
            appendWord(frame, quint16(0x1234 + 0x0101 * i));
    }
    return VirtualInstrument::withCrc(frame);
}

// One request of the reply target's layout: the instrument answers each
// attempt, the bytes passed through as the faults make them.
QByteArray exchange(VirtualInstrument &instrument, quint8 function, quint16 address,
                    quint16 countOrValue, const QVector<VirtualInstrument::Faults> &attempts)
{
    QByteArray seed;
    const int selector = function == kzModbus::FuncRead          ? 0
                         : function == kzModbus::FuncWriteSingle ? 1
                                                                 : 2;
    seed.append(char(selector));
    seed.append(char(function == kzModbus::FuncWriteSingle ? 1 : countOrValue));
    appendWord(seed, address);
    appendWord(seed, function == kzModbus::FuncWriteSingle ? countOrValue : 0);
    seed.append(char(1)).append(char(attempts.size()));
    for (const VirtualInstrument::Faults &faults : attempts) {
        instrument.faults = faults;
        const QByteArray reply = instrument.handleRequest(request(function, address, countOrValue));
        appendWord(seed, quint16(reply.size()));
        seed.append(reply);
    }
    instrument.faults = {};
    return seed;
}

void replySeeds()
{
    VirtualInstrument instrument(1);
    instrument.live = false;
    instrument.handleRequest(request(kzModbus::FuncWriteSingle, VirtualInstrument::AccessRegister,
                                     VirtualInstrument::AccessPassword));
    const QVector<VirtualInstrument::Faults> once(1);
    // Every count, four requests to a seed.
    for (quint8 function : {kzModbus::FuncRead, kzModbus::FuncWriteMultiple}) {
        for (int first = 1; first <= kzModbus::MaxCount; first += 4) {
            QByteArray seed;
            for (int count = first; count < first + 4 && count <= kzModbus::MaxCount; ++count)
                seed += exchange(instrument, function, function == kzModbus::FuncRead ? 0 : 42,
                                 quint16(count), once);
            write("reply_assembler", QStringLiteral("%1-count-%2").arg(function, 2, 16).arg(first),
                  seed);
        }
    }
    write("reply_assembler", "36-write-one",
          exchange(instrument, kzModbus::FuncWriteSingle, 45, 3, once));

    // Each fault of the instrument on the first attempt, a good reply after it
    // (noise ahead of a reply leaves the reply whole: one attempt).
    QVector<VirtualInstrument::Faults> faults(6);
    faults[0].badCrc = true;
    faults[1].truncated = true;
    faults[2].garbageBefore = true;
    faults[3].replyFromAddress = 2;
    faults[4].exceptionCode = VirtualInstrument::IllegalAddress;
    const QStringList names{"bad-crc", "truncated", "garbage-before", "other-slave", "exception"};
    for (int i = 0; i < names.size(); ++i) {
        QVector<VirtualInstrument::Faults> attempts{faults[i], {}};
        if (faults[i].garbageBefore)
            attempts.removeLast();
        QByteArray seed = exchange(instrument, kzModbus::FuncRead, 0, 2, attempts);
        seed += exchange(instrument, kzModbus::FuncWriteSingle, 46, 1, attempts);
        seed += exchange(instrument, kzModbus::FuncWriteMultiple, 76, 4, attempts);
        write("reply_assembler", "fault-" + names[i], seed);
    }
}

QVector<quint16> parameterImage(const VirtualInstrument &instrument)
{
    QVector<quint16> regs;
    for (int reg = backup::FirstRegister; reg < backup::FirstRegister + backup::RegisterCount;
         ++reg)
        regs << instrument.reg(reg);
    return regs;
}

void backupSeeds()
{
    VirtualInstrument instrument(1);
    const QByteArray image = backupImage(parameterImage(instrument).constData());
    write("backup_file", "default.qvdbk", image);
    write("backup_file", "saved-over-longer.qvdbk", image + QByteArray(40, 'x'));
    write("backup_file", "cut-short.qvdbk", image.left(300));
    instrument.setReg(42, 7);
    instrument.setUint32(72, 3000000000u);
    instrument.setFloat32(76, -50.0f);
    write("backup_file", "changed.qvdbk", backupImage(parameterImage(instrument).constData()));
}

void commandSeeds()
{
    const QStringList commands{Cmd::search,
                               Cmd::searchStop,
                               Cmd::connectFmt.arg(1),
                               Cmd::connectFmt.arg(300),
                               Cmd::setAddr + ":7",
                               Cmd::disconnect,
                               Cmd::readMeterParam,
                               Cmd::writeMeterParam,
                               Cmd::readUserParam,
                               Cmd::writeUserParam,
                               Cmd::readPressureParam,
                               Cmd::readTempParam,
                               Cmd::writePressureParam,
                               Cmd::writeTempParam,
                               Cmd::readMeterInfo,
                               Cmd::readYaliEcjz,
                               Cmd::writeYaliEcjz,
                               Cmd::readWenduEcjz,
                               Cmd::writeWenduEcjz,
                               Cmd::readCustomReg,
                               Cmd::writeCustomReg,
                               Cmd::readAll,
                               Cmd::writeAll,
                               Cmd::facSave,
                               Cmd::userSave,
                               Cmd::backFac,
                               Cmd::writeClr,
                               Cmd::readRegsFmt.arg(0x5000).arg(2)};
    for (const QString &command : commands)
        write("commands", QString(command).replace(QRegularExpression("[ :]"), "-"),
              command.toUtf8());
    // Device commands pending when the link ends.
    write("commands", "sequence",
          QStringList{Cmd::readAll, Cmd::writeClr, Cmd::disconnect, Cmd::userSave,
                      Cmd::connectFmt.arg(7), Cmd::backFac, Cmd::search}
              .join(QChar(0))
              .toUtf8());
}

// The fields target's header: source code, value, float, length limit,
// register pair; then the text.
QByteArray fieldSeed(qint8 code, quint16 value, float number, quint8 maxChars, quint32 pair,
                     const QString &text)
{
    QByteArray seed;
    seed.append(char(code));
    appendWord(seed, value);
    appendFloat(seed, number);
    seed.append(char(maxChars));
    appendWord(seed, quint16(pair >> 16));
    appendWord(seed, quint16(pair & 0xFFFF));
    return seed + text.toUtf8();
}

void fieldSeeds()
{
    write("fields", "decimal-row", fieldSeed(23, 4464, 1.6f, 10, 1911140001u, "70000"));
    write("fields", "hex-row", fieldSeed(24, 0x1A2B, 9.80665f, 12, 42u, "1a2b"));
    write(
        "fields", "chars-row",
        fieldSeed(25, 0xE4B8, -3.40282e38f, 10, 3000000000u, QString::fromUtf8("中文说明 KV-3PD")));
    write("fields", "text-block-full",
          fieldSeed(8, 64, 1e-40f, 15, 0u, QString(99, 'a') + QString::fromUtf8("中b")));
    write("fields", "number-text", fieldSeed(-1, 128, 131071.0f, 0, 7u, " -1.25e+03 "));
}

// The calibration target's fit, conversion and then registers 42 on.
void calibrationSeed(const QString &name, const VirtualInstrument &instrument)
{
    QByteArray seed;
    seed.append(char(5)).append(char(5)); // five points, degree 4
    for (float x : {0.0f, 25000.0f, 50000.0f, 75000.0f, 100000.0f, 0.0f})
        appendFloat(seed, x);
    for (float y : {0.0f, 0.4f, 0.8f, 1.2f, 1.6f, 0.0f})
        appendFloat(seed, y);
    appendFloat(seed, 0.0f);
    appendFloat(seed, 10.0f);
    seed.append(char(10)).append(char(1)); // m to KPa
    appendFloat(seed, 1.0f);
    appendFloat(seed, 9.8f);
    for (int reg = Reg::address; reg < RegisterMirror::Size; ++reg)
        appendWord(seed, instrument.reg(reg));
    write("calibration", name, seed);
}

void calibrationSeeds()
{
    VirtualInstrument instrument(1);
    calibrationSeed("default", instrument);
    // Five pressure points, and a temperature range in degrees Fahrenheit.
    instrument.setUint32(Reg::pressure.points, 5);
    for (int k = 0; k < 5; ++k) {
        instrument.setFloat32(Reg::pressure.captured + 2 * k, 25000.0f * k);
        instrument.setFloat32(Reg::pressure.standard + 2 * k, 0.4f * k + 0.01f * k * k);
    }
    instrument.setReg(Reg::temperature.rangeUnit, 12);
    instrument.setFloat32(Reg::temperature.rangeHigh, 212.0f);
    calibrationSeed("five-points", instrument);
    instrument.setReg(Reg::meterType, 0);
    instrument.setReg(Reg::pressure.rangeUnit, 10);
    instrument.setReg(Reg::pressure.stdUnit, 1);
    calibrationSeed("level-range", instrument);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    replySeeds();
    backupSeeds();
    commandSeeds();
    fieldSeeds();
    calibrationSeeds();
    return 0;
}
