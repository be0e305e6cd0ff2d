#pragma once

// Several virtual instruments on one RS-485 line. Bytes written by the master
// are cut into request frames and handed to the instruments whose effective
// address they carry; the replies come back with the delay each instrument
// wants. Two instruments at one address both answer, and their replies collide
// on the line. Every member locks the bus, so a test thread may inspect or
// change an instrument while a runner thread serves the line.

#include "virtualinstrument.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QVector>
#include <QtGlobal>

#include <memory>
#include <type_traits>
#include <vector>

class VirtualBus
{
public:
    struct Reply
    {
        QByteArray bytes;
        int delayMs = 0;
        int bitsPerCharacter = 10; // of the answering instrument
    };

    // Pending bytes beyond this without a complete frame are line noise.
    static constexpr int MaxPending = 300;

    VirtualBus();
    ~VirtualBus();
    VirtualBus(const VirtualBus &) = delete;
    VirtualBus &operator=(const VirtualBus &) = delete;

    // The (first) instrument answering at the address, created when there is none.
    // The reference stays valid until remove(); touch it directly only while
    // nothing serves the bus, otherwise go through with().
    VirtualInstrument &add(quint8 address);
    // One more instrument at the address, even where one answers already.
    VirtualInstrument &addTwin(quint8 address);
    // The first instrument at the address goes.
    void remove(quint8 address);
    bool has(quint8 address) const;
    // Effective addresses, in the order the instruments were added.
    QList<quint8> addresses() const;

    // Calls f(VirtualInstrument &) under the bus lock, for the first instrument
    // at the address. Without one f is not called and a default value is returned.
    template <class F> auto with(quint8 address, F &&f)
    {
        using Result = std::invoke_result_t<F, VirtualInstrument &>;
        Guard guard(*this);
        VirtualInstrument *instrument = find(address);
        if constexpr (std::is_void_v<Result>) {
            if (instrument)
                f(*instrument);
        } else {
            if (!instrument)
                return Result{};
            return f(*instrument);
        }
    }

    // Calls f(VirtualInstrument &) for every instrument, in the order added.
    template <class F> void forEach(F &&f)
    {
        Guard guard(*this);
        for (const auto &instrument : instruments)
            f(*instrument);
    }

    // Bytes from the master. lineBaud > 0 is the line's baud rate: an
    // instrument set to another rate hears only noise and stays silent.
    QVector<Reply> feed(const QByteArray &bytes, qint32 lineBaud = 0);
    // The line went idle: a partial frame will never be completed.
    void flush();
    void tick();

private:
    class Guard
    {
    public:
        explicit Guard(const VirtualBus &bus) : bus(bus) { bus.lock(); }
        ~Guard() { bus.unlock(); }
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;

    private:
        const VirtualBus &bus;
    };

    void lock() const;
    void unlock() const;
    VirtualInstrument *find(quint8 address) const; // lock held
    void dispatch(const QByteArray &frame, qint32 lineBaud, QVector<Reply> &replies);
    static int frameLength(const QByteArray &pending); // 0: not known yet
    static Reply collide(const QVector<Reply> &replies, const QVector<int> &parityCodes);

    mutable QMutex mutex;
    std::vector<std::unique_ptr<VirtualInstrument>> instruments;
    QByteArray pending;
};
