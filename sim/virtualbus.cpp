#include "virtualbus.h"

#include "model/tsanlock.h"

namespace {

// Each further driver starts this many bit times after the one before it: no
// two boards turn round in the same microsecond.
constexpr int SkewBits = 3;

// The characters as bits on the line: start (0), 8 data bits from the lowest,
// the parity bit for odd (1) or even (2) parity, stop (1); idle bits first.
std::vector<bool> toBits(const QByteArray &bytes, int parityCode, int idleBits)
{
    std::vector<bool> bits(size_t(idleBits), true);
    for (char c : bytes) {
        const quint8 byte = quint8(c);
        bits.push_back(false);
        int ones = 0;
        for (int b = 0; b < 8; ++b) {
            const bool bit = (byte >> b) & 1;
            ones += bit;
            bits.push_back(bit);
        }
        if (parityCode == 1)
            bits.push_back(ones % 2 == 0);
        else if (parityCode == 2)
            bits.push_back(ones % 2 == 1);
        bits.push_back(true);
    }
    return bits;
}

} // namespace

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

VirtualInstrument &VirtualBus::addTwin(quint8 address)
{
    Guard guard(*this);
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
    QVector<Reply> answers;
    QVector<int> parityCodes;
    int pause = 0; // of the one instrument answering
    for (const auto &instrument : instruments) {
        if (address != 0 && instrument->address() != address)
            continue;
        if (lineBaud > 0 && instrument->baudRate() != lineBaud)
            continue;
        const QByteArray reply = instrument->handleRequest(frame);
        // Broadcast writes are carried out but never answered.
        if (address != 0 && !reply.isEmpty()) {
            const bool faulty = instrument->faultsApply(frame);
            answers.append(Reply{reply, faulty ? instrument->faults.delayMs : 0,
                                 instrument->bitsPerCharacter()});
            parityCodes.append(instrument->parityCode());
            pause = faulty ? instrument->faults.splitPauseMs : 0;
        }
    }
    if (answers.size() > 1) {
        replies.append(collide(answers, parityCodes));
    } else if (answers.size() == 1) {
        Reply whole = answers.first();
        if (pause <= 0 || whole.bytes.size() < 2) {
            replies.append(whole);
            return;
        }
        // The line goes quiet in the middle of the reply, shorter than a timeout.
        const int half = whole.bytes.size() / 2;
        replies.append(Reply{whole.bytes.left(half), whole.delayMs, whole.bitsPerCharacter});
        replies.append(Reply{whole.bytes.mid(half), whole.delayMs + pause, whole.bitsPerCharacter});
    }
}

// Drivers answering at once fight over the line: a driven 0 wins (the wired
// AND of their bit streams), and the master's receiver makes characters of
// whatever the line carries. The skew between the drivers garbles even replies
// that are byte for byte the same.
VirtualBus::Reply VirtualBus::collide(const QVector<Reply> &replies,
                                      const QVector<int> &parityCodes)
{
    std::vector<bool> line;
    int delayMs = 0;
    for (int i = 0; i < replies.size(); ++i) {
        const std::vector<bool> bits = toBits(replies[i].bytes, parityCodes[i], i * SkewBits);
        if (bits.size() > line.size())
            line.resize(bits.size(), true);
        for (size_t b = 0; b < bits.size(); ++b)
            line[b] = line[b] && bits[b];
        delayMs = qMax(delayMs, replies[i].delayMs);
    }
    const auto bitAt = [&](size_t at) { return at >= line.size() || line[at]; };
    const int bitsPerCharacter = replies.first().bitsPerCharacter;
    QByteArray received;
    for (size_t at = 0; at < line.size();) {
        if (bitAt(at)) {
            ++at; // idle: wait for a start bit
            continue;
        }
        quint8 byte = 0;
        for (int b = 0; b < 8; ++b)
            byte |= quint8(bitAt(at + 1 + size_t(b)) ? 1 << b : 0);
        received.append(char(byte));
        at += size_t(bitsPerCharacter); // framing errors do not stop the receiver
    }
    return Reply{received, delayMs, bitsPerCharacter};
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
