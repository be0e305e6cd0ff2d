// The worker's command intake (modbusThread::receiveMessageFromMainThread)
// fed any strings, checked through the command word without starting the
// thread.
//
// Input: messages in UTF-8, separated by zero bytes, sent in turn to one
// worker.
//
// Properties: a known command sets its bit and nothing else; "connect:<n>" and
// "set addr:<n>" go by the text before the colon, "read regs:<first>,<count>"
// needs a range one request can read; a disconnect, a search or a
// connect also drops the device commands still pending (the link they were
// meant for ends); any other string changes nothing.

#include "fuzzsupport.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>

namespace {

// The spellings as the window and the command-line program send them.
const QHash<QString, quint32> &exactCommands()
{
    static const QHash<QString, quint32> commands = {
        {"search", Bit::Search},
        {"search stop", Bit::SearchStop},
        {"disconnect", Bit::Disconnect},
        {"read meter param", Bit::ReadMeterParam},
        {"write meter param", Bit::WriteMeterParam},
        {"read user param", Bit::ReadUserParam},
        {"write user param", Bit::WriteUserParam},
        {"read pressure param", Bit::ReadPressureParam},
        {"read tempereture param", Bit::ReadTempParam},
        {"write pressure param", Bit::WritePressureParam},
        {"write tempereture param", Bit::WriteTempParam},
        {"read meter info", Bit::ReadMeterInfo},
        {"read yali ecjz data", Bit::ReadYaliEcjz},
        {"write yali ecjz data", Bit::WriteYaliEcjz},
        {"read wendu ecjz data", Bit::ReadWenduEcjz},
        {"write wendu ecjz data", Bit::WriteWenduEcjz},
        {"read custom reg", Bit::ReadCustomReg},
        {"write custom reg", Bit::WriteCustomReg},
        {"read all", Bit::ReadAll},
        {"write all", Bit::WriteAll},
        {"fac save", Bit::FacSave},
        {"user save", Bit::UserSave},
        {"back fac", Bit::BackFac},
        {"write clr", Bit::WriteClr},
        {"write all clone", Bit::WriteAllClone},
        {"write custom reg clone", Bit::WriteCustomRegClone},
        {"read snapshot", Bit::ReadSnapshot},
    };
    return commands;
}

quint32 expectedFlags(quint32 flags, const QString &message)
{
    const int colon = message.indexOf(QLatin1Char(':'));
    const QString key = colon < 0 ? message : message.left(colon);
    int first = 0, last = 0;
    const bool rangedSearch = key == QLatin1String("search") && colon >= 0 &&
                              modbusThread::parseSearchRange(message.mid(colon + 1), &first, &last);
    if (message == QLatin1String("disconnect") || message == QLatin1String("search") ||
        key == QLatin1String("connect") || rangedSearch)
        flags &= Bit::LinkMask;
    if (rangedSearch)
        return flags | Bit::mask(Bit::Search);
    int count = 0;
    if (key == QLatin1String("read regs") && colon >= 0 &&
        modbusThread::parseRegisterRange(message.mid(colon + 1), &first, &count))
        return flags | Bit::mask(Bit::ReadRegs);
    if (key == QLatin1String("set addr"))
        return flags | Bit::mask(Bit::SetAddr);
    if (key == QLatin1String("connect"))
        return flags | Bit::mask(Bit::Connect);
    const auto it = exactCommands().constFind(message);
    return it == exactCommands().constEnd() ? flags : flags | Bit::mask(*it);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The worker's tick timer wants an event dispatcher in this thread.
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> messages =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)).split('\0');
    modbusThread worker;
    quint32 flags = 0;
    for (int i = 0; i < messages.size() && i < 32; ++i) {
        const QString message = QString::fromUtf8(messages[i]);
        worker.receiveMessageFromMainThread(message);
        flags = expectedFlags(flags, message);
        FUZZ_CHECK(worker.pendingCommands() == flags);
    }
    return 0;
}
