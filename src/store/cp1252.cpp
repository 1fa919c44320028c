#include "cp1252.h"

#include <algorithm>
#include <array>

namespace Cp1252 {

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
    for (int i = 0; i < int(Detail::HighBlock.size()); ++i) {
        if (Detail::HighBlock[i] == c)
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
