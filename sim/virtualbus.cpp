#include "virtualbus.h"

#include "model/tsanlock.h"

VirtualBus::VirtualBus() = default;

VirtualBus::~VirtualBus()
{
    // Pairs with the last unlock of a serving thread, so the teardown is
    // ordered after everything that thread did.
    lock();
    unlock();
}

void VirtualBus::lock() const
{
    tsan::lock(mutex);
}

void VirtualBus::unlock() const
{
    tsan::unlock(mutex);
}

VirtualInstrument *VirtualBus::find(quint8 address) const
{
    for (const auto &instrument : instruments) {
        if (instrument->address() == address)
            return instrument.get();
    }
    return nullptr;
}

VirtualInstrument &VirtualBus::add(quint8 address)
{
    Guard guard(*this);
    if (VirtualInstrument *existing = find(address))
        return *existing;
    instruments.push_back(std::make_unique<VirtualInstrument>(address));
    return *instruments.back();
}

void VirtualBus::remove(quint8 address)
{
    Guard guard(*this);
    for (auto it = instruments.begin(); it != instruments.end(); ++it) {
        if ((*it)->address() == address) {
            instruments.erase(it);
            return;
        }
    }
}

bool VirtualBus::has(quint8 address) const
{
    Guard guard(*this);
    return find(address) != nullptr;
}

QList<quint8> VirtualBus::addresses() const
{
    Guard guard(*this);
    QList<quint8> result;
    for (const auto &instrument : instruments)
        result.append(instrument->address());
    return result;
}

int VirtualBus::frameLength(const QByteArray &pending)
{
    if (pending.size() < 2)
        return 0;
    if (quint8(pending.at(1)) == VirtualInstrument::FuncWriteMultiple)
        return pending.size() >= 7 ? 9 + quint8(pending.at(6)) : 0;
    // Reads, single writes and anything unknown are eight bytes long.
    return 8;
}

QVector<VirtualBus::Reply> VirtualBus::feed(const QByteArray &bytes, qint32 lineBaud)
{
    Guard guard(*this);
    QVector<Reply> replies;
    pending.append(bytes);
    for (;;) {
        const int length = frameLength(pending);
        if (length == 0 || pending.size() < length)
            break;
        const int body = length - 2;
        const quint16 crc = quint16(quint8(pending.at(body)) | quint8(pending.at(body + 1)) << 8);
        if (crc == VirtualInstrument::crc16(pending.constData(), body)) {
            dispatch(pending.left(length), lineBaud, replies);
            pending.remove(0, length);
        } else {
            // Not a frame boundary: look for one a byte later.
            pending.remove(0, 1);
        }
    }
    if (pending.size() > MaxPending)
        pending.clear();
    return replies;
}

void VirtualBus::dispatch(const QByteArray &frame, qint32 lineBaud, QVector<Reply> &replies)
{
    const quint8 address = quint8(frame.at(0));
    for (const auto &instrument : instruments) {
        if (address != 0 && instrument->address() != address)
            continue;
        if (lineBaud > 0 && instrument->baudRate() != lineBaud)
            continue;
        const QByteArray reply = instrument->handleRequest(frame);
        // Broadcast writes are carried out but never answered.
        if (address != 0 && !reply.isEmpty())
            replies.append(
                Reply{reply, instrument->faults.delayMs, instrument->bitsPerCharacter()});
    }
}

void VirtualBus::flush()
{
    Guard guard(*this);
    pending.clear();
}

void VirtualBus::tick()
{
    Guard guard(*this);
    for (const auto &instrument : instruments)
        instrument->tick();
}
