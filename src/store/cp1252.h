#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>

// Windows-1252, the single-byte code page of every contacts file people already have.
// Our own table: Qt's codec for it is not in every build, and it would turn an unmappable
// character into 0x1A without a word. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) map to the C1 characters of the same number and back, so a round
// trip never loses a byte of an existing file.
namespace Cp1252 {

QString decode(QByteArrayView bytes);

namespace Detail {
// Bytes 0x80 to 0x9F: the only block where Windows-1252 differs from Latin-1.
inline constexpr std::array<char16_t, 32> HighBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};
} // namespace Detail

// The character of one byte; inline, as a list of names decodes millions of them.
inline char16_t decodeByte(char byte)
{
    const auto u = static_cast<unsigned char>(byte);
    return (u >= 0x80 && u < 0xA0) ? Detail::HighBlock[u - 0x80] : char16_t(u);
}

// Characters the code page cannot hold become '?' (one per character, surrogate pairs included).
QByteArray encode(QStringView text);

// The same, appended to out, so a whole file is built without a buffer per line.
void appendEncoded(QStringView text, QByteArray& out);

// The byte for a character, or -1 when the code page cannot hold it.
int byteFor(char16_t c);

// Whether the code page holds every character of text.
bool canEncode(QStringView text);

} // namespace Cp1252
