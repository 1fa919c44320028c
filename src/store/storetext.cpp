#include "storetext.h"

#include "cp1252.h"

namespace {

constexpr char16_t Quote = u'"';

// Length of the well-formed UTF-8 sequence at p, or 0 when it is not one.
int utf8SequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char b0 = p[0];
    int len;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (end - p < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF)
        return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF)
        return 0;
    return len;
}

} // namespace

namespace StoreText {

bool isUtf8WithMultibyte(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    bool multibyte = false;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int len = utf8SequenceLength(p, end);
        if (len == 0)
            return false;
        multibyte = true;
        p += len;
    }
    return multibyte;
}

QString decodeFile(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    if (isUtf8WithMultibyte(bytes))
        return QString::fromUtf8(bytes);
    return Cp1252::decode(bytes);
}

QStringList splitLines(QStringView text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.sliced(start).toString());
    return lines;
}

bool isBlank(QStringView line)
{
    for (const QChar c : line) {
        if (c != u' ')
            return false;
    }
    return true;
}

QStringList recordLines(QStringView text)
{
    QStringList lines = splitLines(text);
    QStringList records;
    records.reserve(lines.size());
    for (QString& line : lines) {
        if (line.contains(Quote))
            line.remove(Quote);
        if (!isBlank(line))
            records.append(std::move(line));
    }
    return records;
}

QByteArray encodeStore(const QStringList& lines)
{
    qsizetype size = 6;
    for (const QString& line : lines)
        size += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    bytes.append('"');
    for (const QString& line : lines) {
        Cp1252::appendEncoded(line, bytes);
        bytes.append("\r\n");
    }
    bytes.append("\r\n\"\r\n");
    return bytes;
}

} // namespace StoreText
