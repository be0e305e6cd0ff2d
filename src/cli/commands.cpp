#include "cli/commands.h"

#include "cli/usersettings.h"
#include "model/backupfile.h"
#include "model/codetables.h"
#include "model/comparison.h"
#include "model/fieldcodec.h"
#include "model/fieldtable.h"
#include "model/livesample.h"
#include "model/registermirror.h"
#include "model/timestamp.h"
#include "traffic/framedecoder.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace cli {

Session *runningSession = nullptr;

QTextStream &out()
{
    static QTextStream stream(stdout);
    static bool set = false;
    if (!set) {
        stream.setCodec("UTF-8");
        set = true;
    }
    return stream;
}

void printJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    out() << doc.toJson(QJsonDocument::Indented);
    out().flush();
}

namespace {

// A session that is connected to the instrument at the chosen address, and
// lets go of the link and the port when it goes out of scope.
class Connected
{
public:
    explicit Connected(const Options &o) : session(o.link) { runningSession = &session; }
    ~Connected()
    {
        if (linked)
            session.disconnectLink();
        runningSession = nullptr;
    }
    Connected(const Connected &) = delete;
    Connected &operator=(const Connected &) = delete;

    int start(int address)
    {
        int result = session.open();
        if (result == Done) {
            result = session.connectTo(address);
            linked = true;
        }
        return result;
    }
    // Connects and runs one command on the instrument; a failure is printed
    // and its exit code returned.
    int startWith(int address, const QString &command)
    {
        int result = start(address);
        if (result == Done)
            result = session.command(command, false);
        return fail(result);
    }
    // Prints the session's error for a failed step and passes the code on.
    int fail(int result)
    {
        if (result != Done)
            printError(session.error());
        return result;
    }
    Session session;

private:
    bool linked = false;
};

QString firmwareText(quint16 version)
{
    return QString::asprintf("V%.02f", version / 100.0);
}

QString meterTypeName(quint16 type)
{
    switch (type) {
    case 0:
        return QStringLiteral("pressure");
    case 1:
        return QStringLiteral("temperature");
    case 2:
        return QStringLiteral("pressure+temperature");
    default:
        return QStringLiteral("code %1").arg(type);
    }
}

QString rangeText(const RegisterMirror &m, const Reg::Channel &c)
{
    return QStringLiteral("%1~%2%3").arg(field::formatFloat(m.float32(c.rangeLow)),
                                         field::formatFloat(m.float32(c.rangeHigh)),
                                         unitName(m.at(c.rangeUnit)));
}

QJsonObject meterInfoJson(const RegisterMirror &m)
{
    QJsonObject o;
    o.insert(QStringLiteral("board"), QStringLiteral("KV-3PD"));
    o.insert(QStringLiteral("meter_number"), field::formatMeterNumber(m.uint32(Reg::meterNumber)));
    o.insert(QStringLiteral("type"), meterTypeName(m.at(Reg::meterType)));
    QJsonArray ranges;
    if (m.at(Reg::meterType) != 1)
        ranges.append(rangeText(m, Reg::pressure));
    if (m.at(Reg::meterType) != 0)
        ranges.append(rangeText(m, Reg::temperature));
    o.insert(QStringLiteral("range"), ranges);
    o.insert(QStringLiteral("firmware"), int(m.at(Reg::firmwareVersion)));
    o.insert(QStringLiteral("firmware_text"), firmwareText(m.at(Reg::firmwareVersion)));
    return o;
}

// As a decimal that reads back as the same float, not the float's binary expansion.
double number(float value)
{
    return floatText(value).toDouble();
}

QJsonArray floats(const RegisterMirror &m, int first, int count)
{
    QJsonArray a;
    for (int i = 0; i < count; ++i)
        a.append(number(m.float32(first + 2 * i)));
    return a;
}

QJsonObject calibrationJson(const RegisterMirror &m, const Reg::Channel &c)
{
    QJsonObject o;
    o.insert(QStringLiteral("range_low"), number(m.float32(c.rangeLow)));
    o.insert(QStringLiteral("range_high"), number(m.float32(c.rangeHigh)));
    o.insert(QStringLiteral("range_unit"), unitName(m.at(c.rangeUnit)));
    o.insert(QStringLiteral("adc_gain"), int(m.at(c.adcGain)));
    o.insert(QStringLiteral("standard_unit"), unitName(m.at(c.stdUnit)));
    if (c.zeroShield >= 0)
        o.insert(QStringLiteral("zero_shield"), int(m.at(c.zeroShield)));
    o.insert(QStringLiteral("points"), int(m.at(c.points)));
    o.insert(QStringLiteral("captured"), floats(m, c.captured, 5));
    o.insert(QStringLiteral("standard"), floats(m, c.standard, 5));
    o.insert(QStringLiteral("coefficients"), floats(m, c.coeff, 5));
    return o;
}

QJsonObject secondaryJson(const RegisterMirror &m, const Reg::Channel &c)
{
    QJsonObject o;
    o.insert(QStringLiteral("captured"), floats(m, c.ecjzCaptured, 2));
    o.insert(QStringLiteral("standard"), floats(m, c.ecjzStandard, 2));
    o.insert(QStringLiteral("offset"), number(m.float32(c.ecjzOffset)));
    o.insert(QStringLiteral("gain"), number(m.float32(c.ecjzGain)));
    o.insert(QStringLiteral("zero"), number(m.float32(c.zero)));
    return o;
}

QJsonObject registerConfigJson(const RegisterMirror &m)
{
    QJsonArray rows;
    for (int r = 0; r < Reg::customRows; ++r) {
        const int reg = Reg::customRowFirst + 3 * r;
        const quint16 source = m.at(reg);
        QJsonObject row;
        row.insert(QStringLiteral("row"), r + 1);
        row.insert(QStringLiteral("source"), int(source));
        if (source < registerCaptions.size())
            row.insert(QStringLiteral("caption"), QString::fromUtf8(registerCaptions[source]));
        row.insert(QStringLiteral("address"), int(m.at(reg + 1)));
        QString value;
        if (field::customValueText(source, m.at(reg + 2), &value))
            row.insert(QStringLiteral("value"), value);
        rows.append(row);
    }
    QJsonObject o;
    o.insert(QStringLiteral("rows"), rows);
    o.insert(QStringLiteral("text_address"), int(m.at(Reg::textStartAddress)));
    o.insert(QStringLiteral("text"), field::decodeTextBlock(m.data() + Reg::textFirst));
    return o;
}

QString plain(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Double:
        return QString::number(v.toDouble(), 'g', 9);
    case QJsonValue::Array: {
        QStringList parts;
        const QJsonArray a = v.toArray();
        for (const QJsonValue &item : a)
            parts << plain(item);
        return parts.join(QStringLiteral(", "));
    }
    case QJsonValue::Object: {
        QStringList parts;
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key(), plain(it.value()));
        return parts.join(QStringLiteral(", "));
    }
    default:
        return v.toVariant().toString();
    }
}

// The instrument's text in double quotes, on one line whatever it holds.
QString quotedText(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A field's value as read prints it: floats exact, so that what read prints
// set takes back as the same float.
QString plainValue(const fields::Field &f, const quint16 *regs)
{
    if (f.kind == fields::Kind::Float) {
        const quint32 bits = quint32(regs[f.first]) | (quint32(regs[f.first + 1]) << 16);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return floatText(value);
    }
    const QString text = fields::valueText(f, regs, fields::Style::Plain);
    return f.kind == fields::Kind::Text ? quotedText(text) : text;
}

bool readFileBytes(const QString &path, QByteArray *bytes, QString *reason)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // One byte more than a backup: enough to tell a longer file apart.
        *bytes = file.read(backup::FileBytes + 1);
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    *reason = file.errorString();
    return false;
}

} // namespace

void printError(const QString &line)
{
    out().flush();
    std::fprintf(stderr, "kv3pd-cli: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

QStringList portNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    names << qEnvironmentVariable("KV3PD_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return names;
}

int listPorts(const Options &o)
{
    const QStringList names = portNames();
    if (o.json) {
        printJson(QJsonArray::fromStringList(names));
    } else {
        for (const QString &name : qAsConst(names))
            out() << name << '\n';
    }
    return Done;
}

int scan(const Options &o)
{
    Session session(o.link);
    runningSession = &session;
    const std::unique_ptr<Session *, void (*)(Session **)> unset(&runningSession,
                                                                 [](Session **p) { *p = nullptr; });
    int result = session.open();
    QList<int> found;
    if (result == Done)
        result = session.search(o.from, o.to, &found);
    if (result != Done) {
        printError(session.error());
        return result;
    }
    if (found.isEmpty()) {
        printError(QStringLiteral("no instrument answered on %1 (%2) at the addresses %3..%4")
                       .arg(o.link.port, lineText(qint32(o.link.baud), o.link.parity))
                       .arg(o.from)
                       .arg(o.to));
        return NoAnswer;
    }
    QJsonArray list;
    int connected = 0;
    for (int address : qAsConst(found)) {
        QJsonObject entry;
        entry.insert(QStringLiteral("address"), address);
        result = session.connectTo(address);
        if (result == Done)
            result = session.command(Cmd::readMeterInfo, false);
        if (result == Interrupted || result == PortFailed) {
            printError(session.error());
            return result;
        }
        {
            auto m = session.worker()->lockMirror();
            entry.insert(QStringLiteral("firmware"), int(m->at(Reg::firmwareVersion)));
            if (result == Done) {
                ++connected;
                entry.insert(QStringLiteral("meter_number"),
                             field::formatMeterNumber(m->uint32(Reg::meterNumber)));
            } else {
                entry.insert(QStringLiteral("error"), session.error());
            }
        }
        session.disconnectLink();
        if (!o.json) {
            out() << "address " << address << "  firmware "
                  << firmwareText(quint16(entry.value(QStringLiteral("firmware")).toInt()));
            if (entry.contains(QStringLiteral("meter_number")))
                out() << "  meter " << entry.value(QStringLiteral("meter_number")).toString();
            else
                out() << "  (" << session.error() << ')';
            out() << '\n';
            out().flush();
        }
        list.append(entry);
    }
    if (o.json)
        printJson(list);
    if (connected == 0) {
        printError(QStringLiteral("none of the instruments found on %1 could be connected")
                       .arg(o.link.port));
        return NoAnswer;
    }
    return Done;
}

int info(const Options &o)
{
    Connected c(o);
    if (const int result = c.startWith(o.link.address, Cmd::readMeterInfo); result != Done)
        return result;
    QJsonObject o2;
    {
        auto m = c.session.worker()->lockMirror();
        o2 = meterInfoJson(*m);
    }
    o2.insert(QStringLiteral("address"), o.link.address);
    if (o.json) {
        printJson(o2);
    } else {
        out() << "board: KV-3PD\n"
              << "meter number: " << o2.value(QStringLiteral("meter_number")).toString() << '\n'
              << "type: " << o2.value(QStringLiteral("type")).toString() << '\n'
              << "range: " << plain(o2.value(QStringLiteral("range"))) << '\n'
              << "firmware: " << o2.value(QStringLiteral("firmware_text")).toString() << '\n';
    }
    return Done;
}

int readAll(const Options &o)
{
    Connected c(o);
    if (const int result = c.startWith(o.link.address, Cmd::readAll); result != Done)
        return result;

    if (!o.json) {
        quint16 regs[RegisterMirror::Size];
        {
            auto m = c.session.worker()->lockMirror();
            std::copy_n(m->data(), RegisterMirror::Size, regs);
        }
        // "name: value unit", a heading per page; the names are set's.
        const fields::Field *previous = nullptr;
        for (const fields::Field &f : fields::table()) {
            if (!previous || previous->group != f.group)
                out() << '[' << fields::groupName(f.group) << "]\n";
            previous = &f;
            const QString unit = fields::unitText(f, regs);
            out() << f.name << ": " << plainValue(f, regs);
            if (!unit.isEmpty())
                out() << ' ' << unit;
            out() << '\n';
        }
        return Done;
    }
    QJsonObject all;
    {
        auto m = c.session.worker()->lockMirror();
        QJsonObject meter;
        meter.insert(QStringLiteral("meter_number"),
                     field::formatMeterNumber(m->uint32(Reg::meterNumber)));
        meter.insert(QStringLiteral("meter_type"), meterTypeName(m->at(Reg::meterType)));
        all.insert(QStringLiteral("user_settings"), settingsJson(*m));
        all.insert(QStringLiteral("meter_parameters"), meter);
        all.insert(QStringLiteral("pressure_calibration"), calibrationJson(*m, Reg::pressure));
        all.insert(QStringLiteral("temperature_calibration"),
                   calibrationJson(*m, Reg::temperature));
        all.insert(QStringLiteral("pressure_secondary_calibration"),
                   secondaryJson(*m, Reg::pressure));
        all.insert(QStringLiteral("temperature_secondary_calibration"),
                   secondaryJson(*m, Reg::temperature));
        all.insert(QStringLiteral("register_configuration"), registerConfigJson(*m));
    }
    printJson(all);
    return Done;
}

int setSettings(const Options &o)
{
    if (o.arguments.isEmpty()) {
        printError(QStringLiteral("set needs NAME=VALUE (see --help)"));
        return Usage;
    }
    // Everything is checked before the port opens: a bad item sends nothing.
    QList<SettingChange> changes;
    RegisterMirror scratch;
    for (const QString &arg : o.arguments) {
        SettingChange change;
        QString error;
        if (!parseSettingAssignment(arg, &change, &error) ||
            !applySetting(scratch, change, &error)) {
            printError(error);
            return Usage;
        }
        changes.append(change);
    }

    Connected c(o);
    c.session.expectWrites();
    if (const int result = c.startWith(o.link.address, Cmd::readUserParam); result != Done)
        return result;
    {
        // Held like the page's write holds them: no read replaces them now.
        auto m = c.session.worker()->lockMirror();
        m->hold(Blocks::userParamBlock);
        for (const SettingChange &change : qAsConst(changes)) {
            QString error;
            applySetting(*m, change, &error);
        }
    }
    const int result = c.session.command(Cmd::writeUserParam, true);
    if (result != Done)
        return c.fail(result);
    if (!o.link.quiet && !o.json)
        out() << "saved; the instrument answers at address " << c.session.address() << '\n';
    if (o.json) {
        auto m = c.session.worker()->lockMirror();
        printJson(settingsJson(*m));
    }
    return Done;
}

int live(const Options &o)
{
    std::unique_ptr<QFile> csv;
    // Buffered, so only the flush tells whether a row reached the file.
    const auto writeCsv = [&csv](const QString &line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        return csv->write(bytes) == bytes.size() && csv->flush();
    };
    const auto csvFailed = [&] {
        printError(QStringLiteral("cannot write %1: %2").arg(o.csvPath, csv->errorString()));
        return int(OutputFailed);
    };
    if (!o.csvPath.isEmpty()) {
        csv = std::make_unique<QFile>(o.csvPath);
        if (!csv->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) ||
            !writeCsv(LiveSample::csvHeader()))
            return csvFailed();
    }
    Connected c(o);
    // The poll reads the values; their units and decimals are user settings.
    int result = c.startWith(o.link.address, Cmd::readUserParam);
    if (result != Done)
        return result;
    if (!o.json && !o.link.quiet)
        out() << LiveSample::csvHeader() << '\n';
    result = c.session.live(o.count, o.intervalMs, [&] {
        LiveSample s;
        {
            auto m = c.session.worker()->lockMirror();
            s = LiveSample::fromMirror(*m, QDateTime::currentDateTime());
        }
        if (csv && !writeCsv(s.csvRow()))
            return int(OutputFailed);
        if (o.json) {
            QJsonObject j;
            j.insert(QStringLiteral("time"), rfc3339Utc(s.time));
            j.insert(QStringLiteral("pressure"), s.pressureText().toDouble());
            j.insert(QStringLiteral("pressure_unit"), unitName(s.pressureUnit));
            j.insert(QStringLiteral("temperature"), s.temperatureText().toDouble());
            j.insert(QStringLiteral("temperature_unit"), unitName(s.temperatureUnit));
            j.insert(QStringLiteral("battery_v"), s.batteryCentivolts / 100.0);
            j.insert(QStringLiteral("battery_percent"), int(s.batteryPercent));
            out() << QJsonDocument(j).toJson(QJsonDocument::Compact) << '\n';
        } else if (!o.link.quiet) {
            out() << s.csvRow() << '\n';
        }
        out().flush();
        return int(Done);
    });
    if (result == OutputFailed)
        return csvFailed();
    // Without a count, Ctrl-C is how live values end.
    if (result == Interrupted && o.count == 0)
        return Done;
    return c.fail(result);
}

int backupToFile(const Options &o)
{
    if (o.arguments.size() != 1) {
        printError(QStringLiteral("backup needs one FILE"));
        return Usage;
    }
    Connected c(o);
    if (const int result = c.startWith(o.link.address, Cmd::readAll); result != Done)
        return result;
    QByteArray image;
    {
        auto m = c.session.worker()->lockMirror();
        image = backupImage(m->data() + backup::FirstRegister);
    }
    // A whole new file, or the old one as it was.
    QString error;
    if (!writeBackupFile(o.arguments.first(), image, &error)) {
        printError(QStringLiteral("cannot write %1: %2").arg(o.arguments.first(), error));
        return OutputFailed;
    }
    if (!o.link.quiet && !o.json)
        out() << "backed up to " << o.arguments.first() << '\n';
    return Done;
}

int restoreFromFile(const Options &o)
{
    if (o.arguments.size() != 1) {
        printError(QStringLiteral("restore needs one FILE"));
        return Usage;
    }
    const QString path = o.arguments.first();
    QByteArray bytes;
    QString reason;
    if (!readFileBytes(path, &bytes, &reason)) {
        printError(QStringLiteral("cannot read %1: %2").arg(path, reason));
        return BadFile;
    }
    quint16 image[backup::RegisterCount];
    if (bytes.size() != backup::FileBytes) {
        printError(QStringLiteral("%1 is not a backup: %2 bytes where a backup has %3")
                       .arg(path)
                       .arg(bytes.size())
                       .arg(backup::FileBytes));
        return BadFile;
    }
    if (!parseBackup(bytes, image)) {
        printError(QStringLiteral("%1 is damaged: its CRC does not match").arg(path));
        return BadFile;
    }
    auto at = [&image](int reg) -> quint16 & { return image[reg - backup::FirstRegister]; };

    Connected c(o);
    c.session.expectWrites();
    if (const int result = c.startWith(o.link.address, Cmd::readAll); result != Done)
        return result;
    {
        auto m = c.session.worker()->lockMirror();
        const quint32 fileMeter =
            quint32(at(Reg::meterNumber)) | (quint32(at(Reg::meterNumber + 1)) << 16);
        const quint32 targetMeter = m->uint32(Reg::meterNumber);
        if (fileMeter != targetMeter && !o.clone) {
            printError(QStringLiteral("%1 belongs to meter %2, the instrument at address %3 is "
                                      "meter %4 (--clone copies its settings)")
                           .arg(path, field::formatMeterNumber(fileMeter))
                           .arg(o.link.address)
                           .arg(field::formatMeterNumber(targetMeter)));
            return OtherMeter;
        }
        if (!o.withLink) {
            for (int reg : {Reg::address, Reg::baudCode, Reg::parityCode})
                at(reg) = m->at(reg);
        }
        if (o.clone) {
            // The meter's identity and calibration belong to its sensor.
            for (int reg = CloneKeepsFirst; reg <= CloneKeepsLast; ++reg)
                at(reg) = m->at(reg);
        }
        m->hold(Blocks::everythingWritable);
        std::copy(image, image + backup::RegisterCount, m->data() + backup::FirstRegister);
    }

    QJsonArray mismatches;
    // Once anything may have been written, --json reports how far it got.
    const auto report = [&](int result, bool verified) {
        if (o.json) {
            QJsonObject j = c.session.writes().json();
            j.insert(QStringLiteral("file"), path);
            j.insert(QStringLiteral("verified"), verified);
            j.insert(QStringLiteral("mismatches"), mismatches);
            printJson(j);
        } else if (result == Done && !o.link.quiet) {
            if (verified)
                out() << "restored and verified " << path << '\n';
            else
                out() << "restored " << path << " (not verified)\n";
        }
        return result;
    };
    int result = c.session.command(Cmd::writeAll, true);
    if (result != Done || o.noVerify)
        return c.fail(report(result, false));
    result = c.session.command(Cmd::readAll, false);
    if (result != Done)
        return c.fail(report(result, false));
    QStringList differences;
    {
        auto m = c.session.worker()->lockMirror();
        for (int i = 0; i < backup::RegisterCount; ++i) {
            const int reg = backup::FirstRegister + i;
            if (m->at(reg) == image[i])
                continue;
            differences << QStringLiteral("register %1 wrote %2 read %3")
                               .arg(reg)
                               .arg(image[i])
                               .arg(m->at(reg));
            mismatches.append(QJsonObject{{QStringLiteral("register"), reg},
                                          {QStringLiteral("expected"), int(image[i])},
                                          {QStringLiteral("read"), int(m->at(reg))}});
        }
    }
    if (!differences.isEmpty()) {
        report(Mismatch, false);
        printError(
            QStringLiteral("verification failed: %1").arg(differences.join(QStringLiteral("; "))));
        return Mismatch;
    }
    return report(Done, true);
}

bool outputWritten(QString *reason)
{
    out().flush();
    if (out().status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    const auto *file = qobject_cast<QFileDevice *>(out().device());
    *reason = file ? file->errorString() : QStringLiteral("write error");
    return false;
}

namespace {

// A file diff compares: read as the window loads a backup.
bool loadForDiff(const QString &path, quint16 *regs)
{
    QString reason;
    switch (readBackupFile(path, regs, &reason)) {
    case BackupRead::Ok:
        return true;
    case BackupRead::CannotOpen:
        printError(QStringLiteral("cannot read %1: %2").arg(path, reason));
        return false;
    case BackupRead::Damaged:
        printError(
            QStringLiteral("%1 is damaged or not a backup: its CRC does not match").arg(path));
        return false;
    }
    return false;
}

QString stateName(compare::State state)
{
    switch (state) {
    case compare::State::Same:
        return QStringLiteral("same");
    case compare::State::Approx:
        return QStringLiteral("approx");
    case compare::State::Different:
        break;
    }
    return QStringLiteral("different");
}

} // namespace

int diff(const Options &o)
{
    if (o.arguments.isEmpty() || o.arguments.size() > 2) {
        printError(QStringLiteral("diff needs FILE (against the instrument) or FILE_A FILE_B"));
        return Usage;
    }
    quint16 a[backup::RegisterCount];
    quint16 b[backup::RegisterCount];
    // The files first: a bad one needs no instrument.
    const bool twoFiles = o.arguments.size() == 2;
    if ((twoFiles && !loadForDiff(o.arguments.first(), a)) || !loadForDiff(o.arguments.last(), b))
        return BadFile;
    if (!twoFiles) {
        Connected c(o);
        if (const int result = c.startWith(o.link.address, Cmd::readAll); result != Done)
            return result;
        auto m = c.session.worker()->lockMirror();
        std::copy_n(m->data() + backup::FirstRegister, backup::RegisterCount, a);
    }

    const QVector<compare::Row> rows = compare::compareImages(a, b, fields::Style::Plain);
    QVector<compare::Row> shown;
    for (const compare::Row &r : rows) {
        if (o.all || !r.equal())
            shown.append(r);
    }
    if (o.json) {
        QJsonArray list;
        for (const compare::Row &r : qAsConst(shown)) {
            QJsonArray regs;
            for (int reg : r.field->registers())
                regs.append(reg);
            list.append(QJsonObject{{QStringLiteral("name"), r.field->name},
                                    {QStringLiteral("registers"), regs},
                                    {QStringLiteral("a"), r.a},
                                    {QStringLiteral("b"), r.b},
                                    {QStringLiteral("state"), stateName(r.state)}});
        }
        printJson(list);
    } else {
        int nameWidth = 0, regsWidth = 0, aWidth = 0, bWidth = 0;
        const auto quoted = [](const compare::Row &r, const QString &v) {
            return r.field->kind == fields::Kind::Text ? quotedText(v) : v;
        };
        for (const compare::Row &r : qAsConst(shown)) {
            nameWidth = qMax(nameWidth, r.field->name.size());
            regsWidth = qMax(regsWidth, r.field->registersText().size());
            // A long value (the text, reserved words) pushes its own line only.
            aWidth = qMax(aWidth, qMin(quoted(r, r.a).size(), 24));
            bWidth = qMax(bWidth, qMin(quoted(r, r.b).size(), 24));
        }
        for (const compare::Row &r : qAsConst(shown)) {
            out() << r.field->name.leftJustified(nameWidth) << "  "
                  << r.field->registersText().leftJustified(regsWidth) << "  "
                  << quoted(r, r.a).leftJustified(aWidth) << "  ";
            if (o.all)
                out() << quoted(r, r.b).leftJustified(bWidth) << "  " << stateName(r.state);
            else
                out() << quoted(r, r.b);
            out() << '\n';
        }
        out().flush();
    }
    return compare::allEqual(rows) ? Done : Mismatch;
}

namespace {

// Decimal, or hexadecimal after "0x".
bool registerArgument(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const int v = hex ? text.mid(2).toInt(&ok, 16) : text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

QString hexWord(int value)
{
    return QStringLiteral("0x") +
           QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

int regs(const Options &o)
{
    const QStringList &a = o.arguments;
    if (a.size() != 3 || a.first() != QLatin1String("read")) {
        printError(QStringLiteral("regs needs: read START COUNT (see --help)"));
        return Usage;
    }
    int first = 0, count = 0;
    if (!registerArgument(a[1], 0, 0xFFFF, &first)) {
        printError(QStringLiteral("bad START '%1' (0..65535 or 0x0000..0xFFFF)").arg(a[1]));
        return Usage;
    }
    if (!registerArgument(a[2], 1, RegisterMirror::RawCapacity, &count)) {
        printError(QStringLiteral("bad COUNT '%1' (1..%2: one request)")
                       .arg(a[2])
                       .arg(RegisterMirror::RawCapacity));
        return Usage;
    }
    if (first + count - 1 > 0xFFFF) {
        printError(
            QStringLiteral("registers %1..%2 run past 65535").arg(first).arg(first + count - 1));
        return Usage;
    }
    Connected c(o);
    int result = c.start(o.link.address);
    if (result == Done)
        result = c.session.command(Cmd::readRegsFmt.arg(first).arg(count), false);
    if (result == NoAnswer && c.session.writes().lastException() > 0) {
        const int code = c.session.writes().lastException();
        printError(QStringLiteral("the instrument refused to read registers %1..%2: %3 "
                                  "(exception %4)")
                       .arg(first)
                       .arg(first + count - 1)
                       .arg(FrameDecoder::exceptionName(code))
                       .arg(code));
        return Refused;
    }
    if (result != Done)
        return c.fail(result);
    QVector<quint16> values;
    {
        auto m = c.session.worker()->lockMirror();
        const RegisterMirror::RawRead &raw = m->raw();
        values = QVector<quint16>(raw.words, raw.words + raw.count);
    }
    QJsonArray list;
    for (int i = 0; i < values.size(); ++i) {
        const int reg = first + i;
        if (o.json)
            list.append(QJsonObject{{QStringLiteral("register"), reg},
                                    {QStringLiteral("value"), int(values[i])},
                                    {QStringLiteral("hex"), hexWord(values[i])}});
        else
            out() << reg << " (" << hexWord(reg) << "): " << values[i] << ' ' << hexWord(values[i])
                  << '\n';
    }
    if (o.json)
        printJson(list);
    return Done;
}

} // namespace cli
