#include "model/registermirror.h"

#include "model/tsanlock.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

quint32 joinHalves(quint16 low, quint16 high)
{
    return quint32(low) | (quint32(high) << 16);
}

} // namespace

float RegisterMirror::float32(int reg) const
{
    const quint32 bits = uint32(reg);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void RegisterMirror::setFloat32(int reg, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    setUint32(reg, bits);
}

quint32 RegisterMirror::uint32(int reg) const
{
    Q_ASSERT(reg >= 0 && reg + 1 < Size);
    return joinHalves(words[reg], words[reg + 1]);
}

void RegisterMirror::setUint32(int reg, quint32 value)
{
    Q_ASSERT(reg >= 0 && reg + 1 < Size);
    words[reg] = quint16(value & 0xFFFF);
    words[reg + 1] = quint16(value >> 16);
}

void RegisterMirror::hold(const RegisterBlock &block)
{
    for (int reg = qMax(0, block.first); reg <= block.last() && reg < Size; ++reg)
        held[reg] = true;
}

void RegisterMirror::release(const RegisterBlock &block)
{
    for (int reg = qMax(0, block.first); reg <= block.last() && reg < Size; ++reg)
        held[reg] = false;
}

void RegisterMirror::storeRead(const RegisterBlock &block, const quint16 *values)
{
    for (int i = 0; i < block.count; ++i) {
        const int reg = block.first + i;
        if (reg >= 0 && reg < Size && !held[reg])
            words[reg] = values[i];
    }
    confirm(block, values);
}

void RegisterMirror::confirm(const RegisterBlock &block, const quint16 *values)
{
    for (int i = 0; i < block.count; ++i) {
        const int reg = block.first + i;
        if (reg >= 0 && reg < Size) {
            confirmed[reg] = values[i];
            known[reg] = true;
        }
    }
}

void RegisterMirror::forgetConfirmed()
{
    std::fill(std::begin(known), std::end(known), false);
}

void RegisterMirror::storeSnapshot(const RegisterBlock &block, const quint16 *values)
{
    for (int i = 0; i < block.count; ++i) {
        const int reg = block.first + i;
        if (reg >= 0 && reg < Size)
            snapshotWords[reg] = values[i];
    }
    confirm(block, values);
}

void RegisterMirror::storeRaw(int first, int count, const quint16 *values)
{
    rawRead.first = first;
    rawRead.count = qBound(0, count, RawCapacity);
    std::memcpy(rawRead.words, values, size_t(rawRead.count) * sizeof(quint16));
}

MirrorLock::MirrorLock(QMutex &mutex, RegisterMirror &mirror) : mutex(mutex), mirror(mirror)
{
    tsan::lock(mutex);
}

MirrorLock::~MirrorLock()
{
    tsan::unlock(mutex);
}
