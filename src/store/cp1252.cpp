#include "cp1252.h"

#include <algorithm>
#include <array>

namespace {

// Bytes 0x80 to 0x9F: the only block where Windows-1252 differs from Latin-1.
constexpr std::array<char16_t, 32> HighBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

} // namespace

namespace Cp1252 {

char16_t decodeByte(char byte)
{
    const auto u = static_cast<unsigned char>(byte);
    return (u >= 0x80 && u < 0xA0) ? HighBlock[u - 0x80] : char16_t(u);
}

QString decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char b : bytes)
        *out++ = decodeByte(b);
    return text;
}

int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(HighBlock.size()); ++i) {
        if (HighBlock[i] == c)
            return 0x80 + i;
    }
    return -1;
}

bool canEncode(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return byteFor(c.unicode()) >= 0; });
}

QByteArray encode(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    appendEncoded(text, bytes);
    return bytes;
}

void appendEncoded(QStringView text, QByteArray& bytes)
{
    // Every UTF-16 unit gives at most one byte: size the buffer once and write through it.
    const qsizetype start = bytes.size();
    bytes.resize(start + text.size());
    char* out = bytes.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            *out++ = char(c);
            continue;
        }
        const int b = byteFor(c);
        *out++ = b >= 0 ? char(b) : '?';
        // A character outside the BMP is one character: one '?', not two.
        if (b < 0 && QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    bytes.truncate(out - bytes.constData());
}

} // namespace Cp1252
