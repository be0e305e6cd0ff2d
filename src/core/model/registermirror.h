#pragma once

// Image of the instrument's holding registers 0..319: register N at index N,
// host order. 32-bit fields span registers N (low half) and N+1 (high half).
// The mirror is guarded by the worker's mirror mutex; MirrorLock is the only
// way in, so no access can forget the lock.

#include <QMutex>
#include <QtGlobal>

// A block of the mirror: first register and count.
struct RegisterBlock
{
    int first;
    int count;
    int last() const { return first + count - 1; }
};

class RegisterMirror
{
public:
    static constexpr int Size = 320;

    quint16 at(int reg) const { return words[reg]; }
    void set(int reg, quint16 value) { words[reg] = value; }
    quint16 *data() { return words; }
    const quint16 *data() const { return words; }

    float float32(int reg) const;
    void setFloat32(int reg, float value);
    quint32 uint32(int reg) const;
    void setUint32(int reg, quint32 value);

    // Registers the window has collected for a write that has not run yet. A
    // read that completes meanwhile must not replace them: the write sends
    // what the user saw when pressing it.
    void hold(const RegisterBlock &block);
    void release(const RegisterBlock &block);
    bool isHeld(int reg) const { return held[reg]; }
    // Copies values read from the instrument into the block, except where
    // held, and takes all of them as confirmed.
    void storeRead(const RegisterBlock &block, const quint16 *values);

    // Registers read for a look at the instrument that must not change what
    // the pages are built on (the compare window's), register N at index N;
    // the instrument reported them, so they count as confirmed.
    const quint16 *snapshot() const { return snapshotWords; }
    void storeSnapshot(const RegisterBlock &block, const quint16 *values);

    // What the instrument itself last reported for each register: read from
    // it, or written to it and acknowledged. A collect changes only the words
    // above, so what is drawn from here (the units and decimals of the live
    // values) never shows an edit that was not written.
    bool isConfirmed(int reg) const { return known[reg]; }
    quint16 confirmedAt(int reg) const { return confirmed[reg]; }
    void confirm(const RegisterBlock &block, const quint16 *values);
    // A new link: nothing is known of the instrument behind it yet.
    void forgetConfirmed();
    // Registers read by number ("read regs"), any of the instrument's, those
    // past this image too: the last such read, one request's worth.
    static constexpr int RawCapacity = 125;
    struct RawRead
    {
        int first = 0;
        int count = 0; // 0: none yet
        quint16 words[RawCapacity] = {};
    };
    const RawRead &raw() const { return rawRead; }
    void storeRaw(int first, int count, const quint16 *values);

private:
    quint16 words[Size] = {};
    bool held[Size] = {};
    quint16 snapshotWords[Size] = {};
    quint16 confirmed[Size] = {};
    bool known[Size] = {};
    RawRead rawRead;
};

namespace Blocks {
constexpr RegisterBlock measuredBlock{0, 42};
constexpr RegisterBlock userParamBlock{42, 30};
constexpr RegisterBlock meterParamBlock{72, 4};
constexpr RegisterBlock meterInfoFirst{72, 9};
constexpr RegisterBlock pressureParamBlock{76, 54};
constexpr RegisterBlock yaliEcjzBlock{116, 14};
constexpr RegisterBlock clrBlock{128, 2};
constexpr RegisterBlock tempParamBlock{130, 63};
constexpr RegisterBlock meterInfoSecond{130, 5};
constexpr RegisterBlock wenduEcjzBlock{178, 15};
constexpr RegisterBlock customRegBlock{192, 127};
constexpr RegisterBlock everything{0, 319};
constexpr RegisterBlock everythingWritable{42, 277};
// What belongs to the meter itself and not to its settings: the identity
// (meter number, type) and the calibration of both channels, 72..192.
constexpr RegisterBlock meterOwnBlock{72, 121};
} // namespace Blocks

// Register numbers of the fields the program interprets.
namespace Reg {
constexpr int featureCode = 0;
constexpr int firmwareVersion = 1;
constexpr int pressureValue = 2; // float32
constexpr int temperatureValue = 4;
constexpr int pressureInt = 6; // signed
constexpr int temperatureInt = 7;
constexpr int batteryVoltage = 8; // volts x 100
constexpr int batteryLevel = 9;
constexpr int pressureAdc = 14; // float32
constexpr int pressureEcjzInput = 18;
constexpr int pressureZeroInput = 20;
constexpr int temperatureAdc = 24;
constexpr int temperatureEcjzInput = 28;

constexpr int address = 42;
constexpr int baudCode = 43;
constexpr int parityCode = 44;
constexpr int pressureDecimals = 45;
constexpr int pressureUnit = 46;
constexpr int temperatureDecimals = 47;
constexpr int temperatureUnit = 48;
constexpr int samplePeriod = 49;
constexpr int backlightCode = 50;
constexpr int displaySwitchTime = 51;
constexpr int adcRate = 52;
constexpr int pressureGain = 54;
constexpr int pressureOffset = 56;
constexpr int density = 58;
constexpr int gravity = 60;

constexpr int meterNumber = 72; // uint32
constexpr int meterType = 74;

// Calibration channel layout; the temperature channel has no zero shield.
struct Channel
{
    int rangeLow, rangeHigh, rangeUnit, adcGain, stdUnit, zeroShield;
    int captured, standard, points, coeff;
    int ecjzCaptured, ecjzStandard, ecjzOffset, ecjzGain, zero;
    int unitOffset; // code of the channel's first unit-combo item
};
constexpr Channel pressure{76, 78, 80, 81, 82, 83, 84, 94, 104, 106, 116, 120, 124, 126, 128, 0};
constexpr Channel temperature{130, 132, 134, 135, 136, -1,  146, 156,
                              166, 168, 178, 182, 186, 188, 190, 11};

constexpr int customRowFirst = 193; // row r (1..25): source 193+3(r-1), address +1, value +2
constexpr int customRows = 25;
constexpr int textStartAddress = 268;
constexpr int textFirst = 269;
constexpr int textRegisters = 50;
} // namespace Reg

// Holds the mirror mutex for its lifetime and gives access to the mirror.
class MirrorLock
{
public:
    MirrorLock(QMutex &mutex, RegisterMirror &mirror);
    ~MirrorLock();
    MirrorLock(const MirrorLock &) = delete;
    MirrorLock &operator=(const MirrorLock &) = delete;

    RegisterMirror *operator->() { return &mirror; }
    RegisterMirror &operator*() { return mirror; }

private:
    QMutex &mutex;
    RegisterMirror &mirror;
};
