// kv3pd-cli end to end: the program run as a process against virtual
// instruments on a pty. Its arguments, exit code and outputs are what is checked.

#include "instrumentthread.h"
#include "model/backupfile.h"
#include "samplecalibration.h"
#include "virtualinstrument.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// A last argument ">FILE" sends stdout there.
Run cli(QStringList args)
{
    QProcess p;
    if (args.last().startsWith('>'))
        p.setStandardOutputFile(args.takeLast().mid(1));
    p.start(QStringLiteral(KV3PD_CLI), args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs kv3pd-cli, presses Ctrl-C once ready() holds and, when twice, again
// once it says it is finishing.
Run interrupted(const QStringList &args, const std::function<bool()> &ready, bool twice)
{
    QProcess p;
    p.start(QStringLiteral(KV3PD_CLI), args);
    Run r;
    if (!QTest::qWaitFor(ready, 20000))
        return r;
    ::kill(pid_t(p.processId()), SIGINT);
    if (!QTest::qWaitFor([&] { return (r.err += p.readAllStandardError()).contains("finishing"); }))
        return r;
    if (twice)
        ::kill(pid_t(p.processId()), SIGINT);
    if (p.waitForFinished(10000))
        r.code = p.exitCode();
    r.err += p.readAllStandardError();
    return r;
}

using Setup = std::function<void(VirtualInstrument &)>;
using Probe = std::function<bool(VirtualInstrument &)>;

// Two meters with their own numbers and calibrations at 1 and 7.
void twoMeters(InstrumentThread &inst)
{
    inst.bus().with(1, [](VirtualInstrument &i) {
        i.live = false;
        i.setUint32(72, 1001);
    });
    inst.bus().with(7, [](VirtualInstrument &i) {
        i.live = false;
        i.setUint32(72, 7007);
        i.setFloat32(106, 2.5f);  // pressure coefficient
        i.setFloat32(190, 0.25f); // temperature zero
        i.setReg(49, 30);
        i.setReg(74, 0); // a pressure meter
        i.setReg(75, 75);
        i.setReg(192, 192);
    });
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestCli : public QObject
{
    Q_OBJECT

    // One instrument and its backup files for the exit code rows: this
    // meter's, damaged, cut short and another meter's.
    std::unique_ptr<InstrumentThread> shared;
    QTemporaryDir sharedDir;
    QMap<QString, QString> files;
    quint16 ownRegs[backup::RegisterCount] = {};

private slots:
    void initTestCase()
    {
        shared = std::make_unique<InstrumentThread>();
        QVERIFY(shared->start());
        shared->bus().with(1, [](VirtualInstrument &i) {
            i.live = false;
            i.setFloat32(58, 1.2345678f);
            i.setReg(318, 0xBEEF);
        });
        const QString ownPath = sharedDir.filePath("own");
        QVERIFY(cli({"-p", shared->portPath(), "-q", "backup", ownPath}).code == 0);
        const QByteArray own = fileBytes(ownPath);
        QVERIFY(parseBackup(own, ownRegs));
        shared->bus().with(1, [this](VirtualInstrument &i) {
            for (int r = 0; r < backup::RegisterCount; ++r)
                QCOMPARE(ownRegs[r], i.reg(backup::FirstRegister + r));
        });
        QByteArray damaged = own;
        damaged[100] = char(damaged[100] ^ 1);
        quint16 regs[backup::RegisterCount];
        std::copy(std::begin(ownRegs), std::end(ownRegs), regs);
        regs[72 - backup::FirstRegister] = 777;
        regs[73 - backup::FirstRegister] = 0;
        const QMap<QString, QByteArray> contents{{"OWN", own},
                                                 {"DAMAGED", damaged},
                                                 {"SHORT", own.left(500)},
                                                 {"OTHER", backupImage(regs)}};
        for (auto it = contents.begin(); it != contents.end(); ++it) {
            QFile f(sharedDir.filePath(it.key()));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(it.value()) > 0);
            files[it.key()] = f.fileName();
        }
    }

    void exitCodes_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("wire"); // anything may reach the instrument
        const Setup none = [](VirtualInstrument &) {};
        QTest::newRow("wrong port")
            << none << QStringList{"-p", "/nonexistent/tty", "info"} << 2 << "cannot open" << false;
        QTest::newRow("silent bus")
            << Setup([](VirtualInstrument &i) { i.faults.silent = true; }) << QStringList{"info"}
            << 3
            << " (9600 baud, no parity); check the address, baud rate and parity, or run "
               "`kv3pd-cli scan`"
            << true;
        QTest::newRow("old firmware") << Setup([](VirtualInstrument &i) { i.setReg(1, 9); })
                                      << QStringList{"info"} << 3 << "firmware" << true;
        QTest::newRow("unknown setting") << none << QStringList{"set", "period=5", "colour=red"}
                                         << 1 << "unknown setting 'colour'" << false;
        QTest::newRow("bad baud") << none << QStringList{"set", "baud=1234"} << 1
                                  << "bad value '1234' for baud" << false;
        QTest::newRow("address 0")
            << none << QStringList{"set", "address=0"} << 1 << "for address" << false;
        QTest::newRow("infinite float")
            << none << QStringList{"set", "gravity=inf"} << 1 << "for gravity" << false;
        QTest::newRow("decimals 5") << none << QStringList{"set", "pressure_decimals=5"} << 1
                                    << "pressure_decimals" << false;
        QTest::newRow("refused write")
            << Setup([](VirtualInstrument &i) { i.faults.writeExceptionCode = 2; })
            << QStringList{"restore", "OWN"} << 6 << "refused write all; nothing was written"
            << true;
        // Read all (3 requests) and the first chunk of the write are answered.
        QTest::newRow("silent in the middle of a restore")
            << Setup([](VirtualInstrument &i) {
                   i.faults.paramsOnly = true;
                   i.faults.silentAfter = 4;
               })
            << QStringList{"restore", "OWN"} << 3
            << "written but not saved: registers 42..141; sent without an answer: registers 142"
            << true;
        QTest::newRow("measured values fail") << Setup([](VirtualInstrument &i) {
            i.faults.measuredOnly = true;
            i.faults.exceptionCode = 4;
        }) << QStringList{"live", "--count", "3"}
                                              << 3 << "(3 polls failed)" << true;
        QTest::newRow("scan finds none that connects")
            << Setup([](VirtualInstrument &i) { i.setReg(1, 9); })
            << QStringList{"scan", "--to", "3"} << 3 << "none of the instruments found" << true;
        QTest::newRow("csv on a full disk")
            << none << QStringList{"live", "--count", "2", "--csv", "/dev/full"} << 8
            << "cannot write /dev/full: No space" << false;
        QTest::newRow("backup into a missing folder")
            << none << QStringList{"backup", "/nonexistent/b.qvdbk"} << 8
            << "cannot write /nonexistent/b.qvdbk: No such file" << true;
        QTest::newRow("stdout on a full disk") << none << QStringList{"info", ">/dev/full"} << 8
                                               << "cannot write the standard output" << true;
        QTest::newRow("changed after save")
            << Setup([](VirtualInstrument &i) { i.faults.alterAfterSave = 60; })
            << QStringList{"restore", "OWN"} << 4 << "register 60 wrote" << true;
        QTest::newRow("missing file") << none << QStringList{"restore", "/nonexistent/b.qvdbk"} << 5
                                      << "cannot read /nonexistent/b.qvdbk: No such file" << false;
        QTest::newRow("regs past the instrument's")
            << none << QStringList{"regs", "read", "0x5000", "2"} << 6
            << "refused to read registers 20480..20481: illegal data address" << true;
        QTest::newRow("regs beyond one request")
            << none << QStringList{"regs", "read", "42", "126"} << 1 << "bad COUNT '126'" << false;
        QTest::newRow("damaged file")
            << none << QStringList{"restore", "DAMAGED"} << 5 << "damaged" << false;
        QTest::newRow("short file")
            << none << QStringList{"restore", "SHORT"} << 5 << "not a backup" << false;
        QTest::newRow("other meter") << none << QStringList{"restore", "OTHER"} << 7
                                     << "belongs to meter 0000000777" << true;
        QTest::newRow("diff equal") << none << QStringList{"diff", "OWN"} << 0 << "" << true;
        QTest::newRow("diff damaged")
            << none << QStringList{"diff", "DAMAGED"} << 5 << "damaged" << false;
    }

    void exitCodes()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(bool, wire);
        InstrumentThread &inst = *shared;
        // Each row starts from the meter the files were made of.
        inst.bus().with(1, [this](VirtualInstrument &i) {
            i.faults = {};
            i.setReg(0, VirtualInstrument::FeatureCode);
            i.setReg(1, VirtualInstrument::DefaultFirmware);
            for (int r = 0; r < backup::RegisterCount; ++r)
                i.setReg(backup::FirstRegister + r, ownRegs[r]);
        });
        for (QString &a : args)
            a = files.value(a, a);
        inst.bus().with(1, setup);
        const auto counts = [&] {
            return inst.bus().with(1, [](VirtualInstrument &i) {
                return qMakePair(i.requestCount, i.writeRequestCount);
            });
        };
        const auto before = counts();
        const QStringList portArgs =
            args.contains("-p") ? QStringList{} : QStringList{"-p", inst.portPath()};
        const Run r = cli(portArgs + args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), error.isEmpty() ? 0 : 1); // one line
        if (!wire)
            QCOMPARE(counts().first, before.first);
        if (code == 7) // the other meter's file: nothing written
            QCOMPARE(counts().second, before.second);
    }

    // history and certificate on the records alone; the expectation matches
    // standard output when the exit code is 0, else the one line on stderr.
    void records_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        const QString time = QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
        QTest::newRow("history of a meter")
            << QStringList{"history", "--meter", "1911140042"} << 0
            << "CERT +1911140042 +pressure +" + time + " +" + time + " +fail +yes +pass";
        QTest::newRow("history of another meter") << QStringList{"history", "--meter", "42"} << 0
                                                  << "no calibrations of meter 0000000042";
        QTest::newRow("history as JSON")
            << QStringList{"--json", "history"} << 0 << "\"started_at\": \"" + time + "\"";
        QTest::newRow("whole record as JSON")
            << QStringList{"certificate", "CERT", "--json"} << 0
            << R"("idx": 3,\s+"phase": "as_left",\s+"t_ms": 200,\s+"value": 1.600)";
        QTest::newRow("PDF in English")
            << QStringList{"certificate", "CERT", "-o", "OUT", "--lang", "en"} << 0
            << "CERT written to";
        QTest::newRow("no such certificate")
            << QStringList{"certificate", "KV1999-000001", "-o", "OUT"} << 3
            << "no calibration with certificate KV1999-000001 in DB";
        QTest::newRow("damaged records") << QStringList{"--db", "DAMAGED", "history"} << 5
                                         << "cannot read the calibration records DAMAGED: ";
        QTest::newRow("missing records")
            << QStringList{"--db", "MISSING", "certificate", "CERT", "--json"} << 5
            << "cannot read the calibration records MISSING: no such file";
        QTest::newRow("output not writable")
            << QStringList{"certificate", "CERT", "-o", "/nonexistent/c.pdf"} << 8
            << "cannot write /nonexistent/c.pdf: ";
        QTest::newRow("neither PDF nor JSON")
            << QStringList{"certificate", "CERT"} << 1 << "-o FILE.pdf or --json";
    }

    void records()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString db = dir.filePath("records.sqlite");
        const QString cert = storeSampleCalibration(db).certificate;
        QVERIFY(!cert.isEmpty());
        for (const auto &[name, bytes] : {std::pair{"damaged.sqlite", QByteArray(4096, 'x')},
                                          {"settings.ini", "[certificate]\nname=Lab\n"}}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        const QMap<QString, QString> names{{"CERT", cert},
                                           {"DB", db},
                                           {"OUT", dir.filePath("c.pdf")},
                                           {"DAMAGED", dir.filePath("damaged.sqlite")},
                                           {"MISSING", dir.filePath("missing.sqlite")}};
        for (QString &a : args)
            a = names.value(a, a);
        for (auto it = names.begin(); it != names.end(); ++it)
            expected.replace(it.key(), QRegularExpression::escape(it.value()));
        const Run r =
            cli(QStringList{"--db", db, "--settings", dir.filePath("settings.ini")} + args);
        QCOMPARE(r.code, code);
        const QString &text = code == 0 ? r.out : r.err;
        QVERIFY2(QRegularExpression(expected).match(text).hasMatch(), qPrintable(text));
        QVERIFY2(code == 0 ? r.err.isEmpty() : r.err.count('\n') == 1, qPrintable(r.err));
        QCOMPARE(QFile::exists(dir.filePath("c.pdf")), args.contains("-o") && code == 0);
        QVERIFY(!QFile::exists(names["MISSING"]));
    }

    // What read, regs, live --json and the completion print.
    void outputs_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("pattern");
        const Setup none = [](VirtualInstrument &) {};
        QTest::newRow("read")
            << Setup([](VirtualInstrument &i) { i.setFloat32(54, 1.2345678f); })
            << QStringList{"read"}
            << R"(\[user_settings\]\naddress: 1\n(.*\n)*pressure_gain: 1\.2345678\n)"
               R"((.*\n)*pressure_range_high: 1\.6 MPa\n)";
        QTest::newRow("regs") << none << QStringList{"regs", "read", "0x2A", "2"}
                              << R"(^42 \(0x002A\): 1 0x0001\n43 \(0x002B\): 3 0x0003\n$)";
        QTest::newRow("regs --json") << Setup([](VirtualInstrument &i) { i.setReg(300, 0xBEEF); })
                                     << QStringList{"--json", "regs", "read", "300", "1"}
                                     << R"("hex": "0xBEEF",\s*"register": 300,\s*"value": 48879)";
        QTest::newRow("live --json") << none << QStringList{"--json", "live", "--count", "1"}
                                     << R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")";
        QTest::newRow("complete a value")
            << none << QStringList{"--complete-words", "kv3pd-cli -p x set pressure_unit=K"}
            << "^pressure_unit=KPa\n$";
        QTest::newRow("complete a command")
            << none << QStringList{"--complete-words", "kv3pd-cli -b 9600 "} << "\nregs\n";
    }

    void outputs()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, args);
        QFETCH(QString, pattern);
        InstrumentThread inst;
        QVERIFY(inst.start());
        inst.bus().with(1, [&](VirtualInstrument &i) {
            i.live = false;
            setup(i);
        });
        const Run r = cli(QStringList{"-p", inst.portPath()} + args);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(QRegularExpression(pattern).match(r.out).hasMatch(), qPrintable(r.out));
    }

    // Another program holding the port, with a lock file as Qt takes one or
    // with flock(), is named as such, not as a lack of permission.
    void portInUse_data()
    {
        QTest::addColumn<bool>("flock");
        QTest::newRow("lock file") << false;
        QTest::newRow("flock") << true;
    }

    void portInUse()
    {
        QFETCH(bool, flock);
        InstrumentThread inst;
        QVERIFY(inst.start());
        QSerialPort port(inst.portPath());
        const int fd = flock ? ::open(qPrintable(inst.portPath()), O_RDWR | O_NOCTTY) : -1;
        QVERIFY(flock ? fd >= 0 && ::flock(fd, LOCK_EX) == 0 : port.open(QIODevice::ReadWrite));
        const Run r = cli({"-p", inst.portPath(), "info"});
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.endsWith(": the port is in use by another program\n"), qPrintable(r.err));
    }

    // Ctrl-C once lets the write and its save finish; twice aborts at once,
    // here in the wait after a save that moved the instrument.
    void interruptedWrites()
    {
        QTemporaryDir dir;
        InstrumentThread inst;
        QVERIFY(inst.start());
        const QString port = inst.portPath(), own = dir.filePath("own");
        QCOMPARE(cli({"-p", port, "-q", "backup", own}).code, 0);
        const auto at = [&inst](quint8 address, const Probe &probe) {
            return [&inst, address, probe] { return inst.bus().with(address, probe); };
        };
        inst.bus().with(1, [](VirtualInstrument &i) {
            i.setReg(49, 99);
            i.faults.paramsOnly = true; // parameter requests answered late
            i.faults.delayMs = 700;
        });
        Run r =
            interrupted({"-p", port, "restore", own},
                        at(1, [](VirtualInstrument &i) { return i.writeRequestCount > 0; }), false);
        QCOMPARE(r.code, 130);
        QVERIFY2(
            r.err.contains("interrupted after write all: written and saved: registers 42..318"),
            qPrintable(r.err));
        QVERIFY(at(
            1, [](VirtualInstrument &i) { return i.lastCommandValue == 90 && i.reg(49) == 1; })());

        inst.bus().with(1, [](VirtualInstrument &i) {
            i.faults = {};
            i.timing.busyAfterSaveMs = 60000;
        });
        // The second Ctrl-C comes once the tool asks at the new address, so
        // the save's answer has reached it.
        int savedAt = -1;
        r = interrupted({"-p", port, "set", "address=9", "baud=19200"},
                        at(9,
                           [&savedAt](VirtualInstrument &i) {
                               if (i.lastCommandValue == 10 && savedAt < 0)
                                   savedAt = i.requestCount;
                               return savedAt >= 0 && i.requestCount > savedAt;
                           }),
                        true);
        QCOMPARE(r.code, 130);
        QVERIFY2(r.err.contains("aborted during write user param: written and saved: registers "
                                "42..71; the instrument now answers at address 9, 19200 baud"),
                 qPrintable(r.err));
    }

    void scanInfoRead()
    {
        InstrumentThread inst({1, 7});
        QVERIFY(inst.start());
        twoMeters(inst);
        const QString port = inst.portPath();
        Run r = cli({"-p", port, "--json", "scan", "--to", "9"});
        QCOMPARE(r.code, 0);
        const QJsonArray found = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[1].toObject()["address"].toInt(), 7);
        QCOMPARE(found[1].toObject()["meter_number"].toString(), QString("0000007007"));
        QCOMPARE(cli({"-p", port, "scan", "--from", "2", "--to", "6"}).code, 3);

        r = cli({"-p", port, "-a", "7", "info"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("meter number: 0000007007"));

        r = cli({"-p", port, "-a", "7", "--json", "read"});
        QCOMPARE(r.code, 0);
        const QJsonObject all = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonObject user = all["user_settings"].toObject();
        QCOMPARE(user["period"].toInt(), 30);
        QCOMPARE(all["pressure_calibration"].toObject()["coefficients"].toArray()[0].toDouble(),
                 2.5);
        QCOMPARE(all["temperature_secondary_calibration"].toObject()["zero"].toDouble(), 0.25);
        // Every name read prints is one set takes back.
        QStringList assignments;
        for (auto it = user.begin(); it != user.end(); ++it)
            assignments << it.key() + '=' + it.value().toVariant().toString();
        const int writesBefore =
            inst.bus().with(7, [](VirtualInstrument &i) { return i.writeRequestCount; });
        QCOMPARE(cli(QStringList{"-p", port, "-a", "7", "-q", "set"} + assignments).code, 0);
        QVERIFY(inst.bus().with(7, [](VirtualInstrument &i) { return i.writeRequestCount; }) >
                writesBefore);
        QCOMPARE(inst.bus().with(7, [](VirtualInstrument &i) { return i.reg(49); }), quint16(30));
    }

    // The registers the user-settings page writes for the same choices, saved
    // at a new parity.
    void setWritesAndFollowsLink()
    {
        InstrumentThread inst;
        QVERIFY(inst.start());
        const Run r = cli({"-p", inst.portPath(), "set", "pressure_unit=KPa", "temperature_unit=F",
                           "backlight=on", "adc_rate=40", "parity=even", "gravity=9.81",
                           "pressure_decimals=3"});
        QCOMPARE(r.code, 0);
        inst.bus().with(1, [](VirtualInstrument &i) {
            QCOMPARE(i.reg(46), quint16(1));
            QCOMPARE(i.reg(50), quint16(4));
            QCOMPARE(i.reg(45), quint16(3));
            QCOMPARE(i.float32(60), 9.81f);
            QCOMPARE(i.lastCommandValue, 10); // a user save
            QCOMPARE(i.userImage().at(46 - 42), quint16(1));
        });
    }

    void restoreRoundTripCloneAndLink()
    {
        QTemporaryDir dir;
        InstrumentThread inst({1, 7});
        QVERIFY(inst.start());
        twoMeters(inst);
        const QString port = inst.portPath();
        const QString golden = dir.filePath("golden.qvdbk");
        QCOMPARE(cli({"-p", port, "backup", golden}).code, 0);

        // Round trip: a changed meter gets its file back, and backs up the same bytes.
        inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(49, 99); });
        Run r = cli({"-p", port, "--json", "restore", golden});
        const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonObject all{{"first", 42}, {"last", 318}};
        QCOMPARE(report["saved"].toArray(), QJsonArray{all});
        QVERIFY(r.code == 0 && report["verified"].toBool());
        QCOMPARE(cli({"-p", port, "backup", dir.filePath("again.qvdbk")}).code, 0);
        QCOMPARE(fileBytes(dir.filePath("again.qvdbk")), fileBytes(golden));

        // Another meter's file with --clone: it keeps its number, calibration and link.
        QVector<quint16> before = inst.bus().with(7, [](VirtualInstrument &i) {
            QVector<quint16> regs;
            for (int r = 0; r < 320; ++r)
                regs << i.reg(r);
            return regs;
        });
        r = cli({"-p", port, "-a", "7", "restore", "--clone", golden});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        quint16 file[backup::RegisterCount];
        QVERIFY(parseBackup(fileBytes(golden), file));
        inst.bus().with(7, [&](VirtualInstrument &i) {
            for (int reg = 42; reg <= 318; ++reg) {
                const bool kept = reg <= 44 || (reg >= 72 && reg <= 192);
                QCOMPARE(i.reg(reg), kept ? before[reg] : file[reg - 42]);
            }
            QCOMPARE(i.reg(42), quint16(7));
        });

        // The default keeps the link; --with-link takes the file's and follows it.
        QCOMPARE(cli({"-p", port, "-q", "set", "address=5", "baud=4800"}).code, 0);
        QCOMPARE(cli({"-p", port, "-a", "5", "-b", "4800", "restore", golden}).code, 0);
        QVERIFY(inst.bus().has(5));
        r = cli({"-p", port, "-a", "5", "-b", "4800", "restore", "--with-link", golden});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(inst.bus().has(1) && !inst.bus().has(5));
        QCOMPARE(inst.bus().with(1, [](VirtualInstrument &i) { return i.baudCode(); }), 3);
    }

    void liveCsv()
    {
        QTemporaryDir dir;
        InstrumentThread inst;
        QVERIFY(inst.start());
        inst.bus().with(1, [](VirtualInstrument &i) {
            i.live = false;
            i.setFloat32(2, 1.23456f);
            i.setReg(45, 3);
        });
        const QString csv = dir.filePath("live.csv");
        const Run r = cli({"-p", inst.portPath(), "-q", "live", "--count", "3", "--csv", csv});
        QCOMPARE(r.code, 0);
        const QStringList lines = QString::fromUtf8(fileBytes(csv)).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        for (int i = 1; i < 4; ++i)
            QVERIFY2(lines[i].contains(",1.235,MPa,"), qPrintable(lines[i]));
        // Without a count, Ctrl-C (here SIGTERM) ends it cleanly with whole rows.
        const QString endless = dir.filePath("endless.csv");
        QProcess p;
        p.start(QStringLiteral(KV3PD_CLI), {"-p", inst.portPath(), "-q", "live", "--csv", endless});
        QTRY_VERIFY(fileBytes(endless).count('\n') >= 3);
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(fileBytes(endless).endsWith('\n'));
    }
};

QTEST_MAIN(TestCli)
#include "test_cli.moc"
