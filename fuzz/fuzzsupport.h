#pragma once

// What the fuzz targets share: a reader that takes fields from libFuzzer's
// bytes (zeros once they run out, so any input is a whole case), the check
// that turns a broken property into a finding, and a CRC of their own.

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Names the property and aborts; libFuzzer keeps the input as a finding.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : data(data), size(size) {}

    bool atEnd() const { return pos >= size; }
    quint8 byte() { return pos < size ? data[pos++] : 0; }
    // High byte first.
    quint16 word()
    {
        const quint16 high = byte();
        return quint16(high << 8 | byte());
    }
    quint32 dword()
    {
        const quint32 high = word();
        return high << 16 | word();
    }
    float float32()
    {
        const quint32 bits = dword();
        float value;
        static_assert(sizeof value == sizeof bits, "float is 32 bits");
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Up to n bytes, fewer at the end of the input.
    QByteArray bytes(size_t n)
    {
        const size_t take = qMin(n, size - qMin(pos, size));
        const QByteArray out(reinterpret_cast<const char *>(data + pos), int(take));
        pos += take;
        return out;
    }
    QByteArray rest() { return bytes(size); }

private:
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
};

// CRC-16/MODBUS from a 16-bit table made bit by bit, apart from the program's
// split tables.
inline quint16 referenceCrc(const char *bytes, int length)
{
    static const std::array<quint16, 256> table = [] {
        std::array<quint16, 256> t{};
        for (int i = 0; i < 256; ++i) {
            quint16 crc = quint16(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
            t[size_t(i)] = crc;
        }
        return t;
    }();
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i)
        crc = quint16(crc >> 8 ^ table[(crc ^ quint8(bytes[i])) & 0xFF]);
    return crc;
}
