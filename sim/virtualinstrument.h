#pragma once

// One simulated KV-3PD: the register map 0..319, identity, access and command
// registers, live measurements, persistent user and factory images, and fault
// knobs. It answers complete request frames with reply bytes. Not thread-safe
// by itself: VirtualBus serialises every access.
//
// Writes to the parameter registers 42..318 and to the command register need
// the access password (0x0071 written to 0x5000) first, as on the real board;
// until then they are refused with exception 4. The password stays valid until
// another value is written to the access register, or (when the timing asks
// for it) until the instrument has heard no request for a while.

#include "sensormodel.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <functional>

class VirtualInstrument
{
public:
    static constexpr int Registers = 320;
    static constexpr int FirstParam = 42; // first register a save stores
    static constexpr int LastParam = 318; // last register a request may touch
    static constexpr int ImageWords = LastParam - FirstParam + 1;
    static constexpr int MaxCount = 125;

    static constexpr quint8 FuncRead = 0x33;
    static constexpr quint8 FuncWriteSingle = 0x36;
    static constexpr quint8 FuncWriteMultiple = 0x40;

    static constexpr quint16 FeatureCode = 0x0058;
    static constexpr quint16 DefaultFirmware = 12;
    static constexpr quint16 AccessRegister = 0x5000;
    static constexpr quint16 AccessPassword = 0x0071;
    static constexpr quint16 CommandRegister = 0x5001;
    static constexpr quint16 CommandUserSave = 10;
    static constexpr quint16 CommandFactorySave = 90;
    static constexpr quint16 CommandRestoreFactory = 0xFF00;

    enum Exception : quint8
    {
        IllegalFunction = 1,
        IllegalAddress = 2,
        IllegalValue = 3,
        Locked = 4 // write without the access password
    };

    struct Faults
    {
        bool silent = false;        // never answers nor acts (cable pulled)
        bool badCrc = false;        // reply with a corrupted CRC
        bool truncated = false;     // reply cut short by its last bytes
        bool garbageBefore = false; // a noise byte ahead of the reply
        int replyFromAddress = -1;  // >= 0: reply carries this slave address
        int exceptionCode = 0;      // > 0: answer every request with this exception
        int exceptionFunction = 0;  // > 0: ... only requests with this function code
        int delayMs = 0;            // reply this late (past the master's timeout)
        int splitPauseMs = 0;       // > 0: the reply in two pieces, this far apart
        bool garbageAfter = false;  // noise bytes after the reply, between frames
        int silentAfter = -1;       // >= 0: answer this many more requests, then fall silent
        int writeExceptionCode = 0; // > 0: refuse parameter writes with this exception
        int alterAfterSave = -1;    // >= 0: this register goes up by one after each save
        // The reply faults above (all but silent, writeExceptionCode and
        // alterAfterSave) and the count of silentAfter only for requests for
        // registers 42 and up, not the access register: the poll keeps working.
        bool paramsOnly = false;
        // The same, but only for reads of the measurements past the identity
        // (registers 2..41): the poll connects, its measured values fail.
        bool measuredOnly = false;
    };

    // What the board does over time; both off by default.
    struct Timing
    {
        int busyAfterSaveMs = 0; // no answer at all this long after a save or a restore
        int passwordLapseMs = 0; // > 0: the password lapses after this long without a request
    };

    explicit VirtualInstrument(quint8 address = 1);

    // Effective link settings (they change only when a save makes them so).
    quint8 address() const { return effectiveAddress; }
    int baudCode() const { return effectiveBaudCode; }
    int parityCode() const { return effectiveParityCode; }
    qint32 baudRate() const { return baudRateForCode(effectiveBaudCode); }
    static qint32 baudRateForCode(int code); // 0 for a code outside 0..5
    // Start, 8 data, a parity bit when odd or even parity is in force, stop.
    int bitsPerCharacter() const { return effectiveParityCode == 0 ? 10 : 11; }

    // Registers outside 0..319 read as 0 and ignore writes.
    quint16 reg(int index) const;
    void setReg(int index, quint16 value);
    float float32(int index) const;
    void setFloat32(int index, float value);
    quint32 uint32(int index) const;
    void setUint32(int index, quint32 value);

    // A complete request frame (CRC included) addressed to this instrument.
    // Returns the reply bytes, empty when it stays silent. A frame with a bad
    // CRC is ignored, as a real slave would.
    QByteArray handleRequest(const QByteArray &frame);
    // Whether the reply faults hit this request (see Faults::paramsOnly).
    bool faultsApply(const QByteArray &frame) const;

    // Brings the live measurements up to clock(); called every 100 ms by the
    // runner. The sensors sense what is applied to them, or a slow drift
    // where nothing is; the readings come from their ADC values through the
    // instrument's own calibration registers (see updateMeasurements()).
    void tick();

    // Applies a pressure or a temperature to the sensor, in the unit of the
    // channel's range (register 80, 134). False, applying nothing, when that
    // unit has no conversion (an unknown code, a level without a medium).
    bool applyPressure(double value);
    bool applyTemperature(double value);

    // Persistent images of registers 42..318 (what a save stores).
    QVector<quint16> userImage() const;
    QVector<quint16> factoryImage() const;
    // Loads stored images as at power-on: the registers take the user image and
    // its link settings become effective. Images of the wrong size are refused.
    bool setImages(const QVector<quint16> &user, const QVector<quint16> &factory);
    // Goes up on every save and restore, so an owner can persist the images.
    int imageRevision() const { return revision; }

    // CRC-16/MODBUS of the bytes; sent low byte first.
    static quint16 crc16(const char *data, int length);
    // Appends the CRC to a frame body.
    static QByteArray withCrc(QByteArray body);

    Faults faults;
    Timing timing;
    // Lag, noise and what is applied; its settings and seed may be changed at any time.
    SensorModel sensor;
    // Milliseconds on a monotonic clock; a test may replace it to step time by hand.
    std::function<qint64()> clock;
    bool live = true; // tick() moves the measurements; off to keep test values

    // Counters, for tests that check what reached the instrument. They count
    // every frame addressed here, whatever the faults.
    int requestCount = 0;      // every frame addressed here
    int writeRequestCount = 0; // 0x36 and 0x40 frames, the access register writes excluded
    int lastCommandValue = -1; // last value written to the command register
    bool unlocked = false;     // access password written and not revoked

private:
    QByteArray execute(const QByteArray &frame);
    QByteArray readRegisters(const QByteArray &frame);
    QByteArray writeSingle(const QByteArray &frame);
    QByteArray writeMultiple(const QByteArray &frame);
    QByteArray exception(const QByteArray &frame, quint8 code) const;
    QByteArray applyReplyFaults(QByteArray reply) const;
    bool runCommand(quint16 value);
    void storeImage(QVector<quint16> &image) const;
    void loadImage(const QVector<quint16> &image);
    void applyLinkSettings();
    void updateMeasurements();
    void setDefaults(quint8 address);

    quint16 regs[Registers] = {};
    QVector<quint16> userImg;
    QVector<quint16> factoryImg;
    quint8 effectiveAddress;
    int effectiveBaudCode = 3;
    int effectiveParityCode = 0;
    int revision = 0;
    qint64 busyUntilMs = 0;
    qint64 lastHeardMs = -1; // -1: no request heard yet
    quint32 ticks = 0;
};
