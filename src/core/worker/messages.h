#pragma once

// Every command and reply string exchanged between the window and the worker
// thread, and the command bits. Both sides compare them literally and
// case-sensitively; the spellings ("tempereture", "stoped") are the protocol.

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace Cmd {
inline const QString setAddr = QStringLiteral("set addr");
inline const QString search = QStringLiteral("search");
inline const QString searchStop = QStringLiteral("search stop");
// A search over part of the addresses: "search:<first>,<last>".
inline const QString searchRangeFmt = QStringLiteral("search:%1,%2");
inline const QString connect = QStringLiteral("connect");
inline const QString connectFmt = QStringLiteral("connect:%1");
inline const QString disconnect = QStringLiteral("disconnect");
inline const QString readMeterParam = QStringLiteral("read meter param");
inline const QString writeMeterParam = QStringLiteral("write meter param");
inline const QString readUserParam = QStringLiteral("read user param");
inline const QString writeUserParam = QStringLiteral("write user param");
inline const QString readPressureParam = QStringLiteral("read pressure param");
inline const QString readTempParam = QStringLiteral("read tempereture param");
inline const QString writePressureParam = QStringLiteral("write pressure param");
inline const QString writeTempParam = QStringLiteral("write tempereture param");
inline const QString readMeterInfo = QStringLiteral("read meter info");
inline const QString readYaliEcjz = QStringLiteral("read yali ecjz data");
inline const QString writeYaliEcjz = QStringLiteral("write yali ecjz data");
inline const QString readWenduEcjz = QStringLiteral("read wendu ecjz data");
inline const QString writeWenduEcjz = QStringLiteral("write wendu ecjz data");
inline const QString readCustomReg = QStringLiteral("read custom reg");
inline const QString writeCustomReg = QStringLiteral("write custom reg");
inline const QString readAll = QStringLiteral("read all");
inline const QString writeAll = QStringLiteral("write all");
inline const QString facSave = QStringLiteral("fac save");
inline const QString userSave = QStringLiteral("user save");
inline const QString backFac = QStringLiteral("back fac");
inline const QString writeClr = QStringLiteral("write clr");
// Write all and write custom reg for another meter's data: the handler first
// reads the meter's own identity and calibration (registers 72..192, as far as
// the block covers them) into the mirror, and for write all also its link
// settings (42..44), so the write keeps them as they are. Replies
// "<command> succeed" / "<command> failed" like the other writes.
inline const QString writeAllClone = QStringLiteral("write all clone");
inline const QString writeCustomRegClone = QStringLiteral("write custom reg clone");
// Reads registers 42..318 into the mirror's snapshot, not into the mirror, so
// the pages keep what they show: the compare window's view of the instrument.
// Replies "read snapshot succeed" or "read snapshot failed", without progress.
inline const QString readSnapshot = QStringLiteral("read snapshot");
// Reads any registers, those past the mirror too (0x5000 and up), with one
// request: "read regs:<first>,<count>", first 0..65535, count 1..125, the last
// register at most 65535. The values go to the mirror's raw area
// (RegisterMirror::raw(), under the mirror lock), never into the mirror
// itself. A second one given before the first has run replaces its range.
// Replies "read regs succeed" or "read regs failed", without progress.
inline const QString readRegs = QStringLiteral("read regs");
inline const QString readRegsFmt = QStringLiteral("read regs:%1,%2");
} // namespace Cmd

// Bits of the worker's command word.
namespace Bit {
enum : quint32
{
    SetAddr = 0,
    Search = 1,
    Searching = 2,
    SearchStop = 3,
    Connect = 4,
    Disconnect = 5,
    ReadMeterParam = 6,
    WriteMeterParam = 7,
    ReadUserParam = 8,
    WriteUserParam = 9,
    ReadPressureParam = 10,
    ReadTempParam = 11,
    WritePressureParam = 12,
    WriteTempParam = 13,
    ReadMeterInfo = 14,
    ReadYaliEcjz = 15,
    WriteYaliEcjz = 16,
    ReadWenduEcjz = 17,
    WriteWenduEcjz = 18,
    ReadCustomReg = 19,
    WriteCustomReg = 20,
    ReadAll = 21,
    WriteAll = 22,
    FacSave = 23,
    UserSave = 24,
    BackFac = 25,
    WriteClr = 26,
    WriteAllClone = 27,
    WriteCustomRegClone = 28,
    ReadSnapshot = 29,
    ReadRegs = 30,
};
constexpr quint32 FirstDevice = ReadMeterParam;
constexpr quint32 LastDevice = ReadRegs;
constexpr quint32 LinkMask = 0x3F;
constexpr quint32 mask(quint32 bit)
{
    return quint32(1) << bit;
}
// The device commands that only read. Every other device command changes the
// instrument and never vanishes without a word: a save keeps it pending, and
// wherever else it is dropped the reply "writes dropped" names it.
constexpr quint32 ReadMask = mask(ReadMeterParam) | mask(ReadUserParam) | mask(ReadPressureParam) |
                             mask(ReadTempParam) | mask(ReadMeterInfo) | mask(ReadYaliEcjz) |
                             mask(ReadWenduEcjz) | mask(ReadCustomReg) | mask(ReadAll) |
                             mask(ReadSnapshot) | mask(ReadRegs);
constexpr quint32 WriteMask = ~(LinkMask | ReadMask) & ((mask(LastDevice) << 1) - 1);
} // namespace Bit

// The device command strings and their bits ("read regs" takes an argument and
// is matched by its key).
struct DeviceCommand
{
    const QString &text;
    quint32 bit;
};
inline const DeviceCommand deviceCommands[] = {
    {Cmd::readMeterParam, Bit::ReadMeterParam},
    {Cmd::writeMeterParam, Bit::WriteMeterParam},
    {Cmd::readUserParam, Bit::ReadUserParam},
    {Cmd::writeUserParam, Bit::WriteUserParam},
    {Cmd::readPressureParam, Bit::ReadPressureParam},
    {Cmd::readTempParam, Bit::ReadTempParam},
    {Cmd::writePressureParam, Bit::WritePressureParam},
    {Cmd::writeTempParam, Bit::WriteTempParam},
    {Cmd::readMeterInfo, Bit::ReadMeterInfo},
    {Cmd::readYaliEcjz, Bit::ReadYaliEcjz},
    {Cmd::writeYaliEcjz, Bit::WriteYaliEcjz},
    {Cmd::readWenduEcjz, Bit::ReadWenduEcjz},
    {Cmd::writeWenduEcjz, Bit::WriteWenduEcjz},
    {Cmd::readAll, Bit::ReadAll},
    {Cmd::writeAll, Bit::WriteAll},
    {Cmd::facSave, Bit::FacSave},
    {Cmd::userSave, Bit::UserSave},
    {Cmd::backFac, Bit::BackFac},
    {Cmd::writeClr, Bit::WriteClr},
    {Cmd::readCustomReg, Bit::ReadCustomReg},
    {Cmd::writeCustomReg, Bit::WriteCustomReg},
    {Cmd::writeAllClone, Bit::WriteAllClone},
    {Cmd::writeCustomRegClone, Bit::WriteCustomRegClone},
    {Cmd::readSnapshot, Bit::ReadSnapshot},
};
// The command strings of the device bits set, in bit order.
inline QStringList deviceCommandsIn(quint32 bits)
{
    QStringList out;
    for (quint32 bit = Bit::FirstDevice; bit <= Bit::LastDevice; ++bit) {
        if (!(bits & Bit::mask(bit)))
            continue;
        for (const DeviceCommand &command : deviceCommands) {
            if (command.bit == bit)
                out << command.text;
        }
    }
    return out;
}

namespace Reply {
inline const QString searchStart = QStringLiteral("search start");
inline const QString searchingAddr = QStringLiteral("searching addr");
inline const QString searchingAddrFmt = QStringLiteral("searching addr:%1");
inline const QString foundDevice = QStringLiteral("found a device");
inline const QString foundDeviceFmt = QStringLiteral("found a device:%1");
inline const QString searchFinish = QStringLiteral("search finish");
inline const QString searchStoped = QStringLiteral("search stoped");
inline const QString modbusCreateSucceed = QStringLiteral("Modbus create succeed");
inline const QString connectSucceed = QStringLiteral("connect succeed");
inline const QString connectFailed = QStringLiteral("connect failed");
inline const QString versionError = QStringLiteral("version error");
inline const QString readMeasuredSucceed = QStringLiteral("read measured succeed");
// A poll whose identity read answered but whose measured values could not be
// read: the link stays up, the live values are not current.
inline const QString readMeasuredFailed = QStringLiteral("read measured failed");
inline const QString disconnectSucceed = QStringLiteral("disconnect succeed");
inline const QString setProgressBar = QStringLiteral("set progressBar");
inline const QString setProgressBarFmt = QStringLiteral("set progressBar:%1");
inline const QString facSaving = QStringLiteral("fac saving");
inline const QString facSaveSucceed = QStringLiteral("fac save succeed");
inline const QString facSaveFailed = QStringLiteral("fac save failed");
inline const QString userSaving = QStringLiteral("user saving");
inline const QString userSaveSucceed = QStringLiteral("user save succeed");
inline const QString userSaveFailed = QStringLiteral("user save failed");
inline const QString facBacking = QStringLiteral("fac backing");
inline const QString backFacSucceed = QStringLiteral("back fac succeed");
inline const QString backFacFailed = QStringLiteral("back fac failed");
// Device commands still pending when the link ended (disconnect, a new
// connect, a search) were dropped without running.
inline const QString commandsCancelled = QStringLiteral("commands cancelled");
// Device commands were dropped because the instrument does not answer, or
// because they were given before a poll that found an instrument answering
// again after a failed one (it may be another meter: the window reads its
// identity before it writes anything).
inline const QString commandsNotRun = QStringLiteral("commands not run");
// Sent right before "commands cancelled", "commands not run" or "back fac
// succeed" when the commands dropped there include any that change the
// instrument: "writes dropped:<command>,<command>", the command strings in bit
// order. A save never drops them; it drops pending reads only.
inline const QString writesDropped = QStringLiteral("writes dropped");
inline const QString writesDroppedFmt = QStringLiteral("writes dropped:%1");
// A save made link settings effective that the write before it had sent:
// address, baud code and parity code. Sent before the save's wait reads, which
// already go out at those settings.
inline const QString followLink = QStringLiteral("follow link");
inline const QString followLinkFmt = QStringLiteral("follow link:%1,%2,%3");

// "<command> succeed" / "<command> failed" for the read and write commands.
inline QString succeed(const QString &command)
{
    return command + QStringLiteral(" succeed");
}
inline QString failed(const QString &command)
{
    return command + QStringLiteral(" failed");
}
} // namespace Reply

// The argument of "follow link": the address (1..255) and the baud and parity
// codes (0..5, 0..2) a save made effective. False for anything else.
struct FollowedLinkSettings
{
    quint16 address = 0;
    quint16 baudCode = 0;
    quint16 parityCode = 0;
};
inline bool parseFollowLink(const QString &argument, FollowedLinkSettings *settings)
{
    const QStringList parts = argument.split(QLatin1Char(','));
    if (parts.size() != 3)
        return false;
    bool ok[3] = {};
    const uint address = parts[0].toUInt(&ok[0]);
    const uint baudCode = parts[1].toUInt(&ok[1]);
    const uint parityCode = parts[2].toUInt(&ok[2]);
    // Address 0 is the broadcast address: no instrument answers there.
    if (!ok[0] || !ok[1] || !ok[2] || address < 1 || address > 255 || baudCode > 5 ||
        parityCode > 2)
        return false;
    *settings = {quint16(address), quint16(baudCode), quint16(parityCode)};
    return true;
}

// Splits a message at its first colon: the key before it and the argument
// after it. Without a colon both are the whole message.
struct SplitMessage
{
    QString key;
    QString argument;
};
inline SplitMessage splitMessage(const QString &message)
{
    const int colon = message.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {message, message};
    return {message.left(colon), message.mid(colon + 1)};
}
