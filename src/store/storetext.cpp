#include "storetext.h"

#include "recordlines.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

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

void EncodingProbe::feed(QByteArrayView bytes)
{
    if (!m_wellFormed)
        return;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // Plain ASCII, the bulk of any file, eight bytes at a time.
        for (uint64_t word; end - p >= 8; p += 8) {
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080u)
                break;
        }
        if (p == end)
            break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int len = utf8SequenceLength(p, end);
        if (len == 0) {
            m_wellFormed = false;
            return;
        }
        m_multibyte = true;
        p += len;
    }
}

void decodeUtf8(QByteArrayView bytes, QString& out)
{
    QStringDecoder decoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    out.resize(decoder.requiredSpace(bytes.size()));
    out.truncate(decoder.appendToBuffer(out.data(), bytes) - out.constData());
}

QString decodeUtf8(QByteArrayView bytes)
{
    QString out;
    decodeUtf8(bytes, out);
    return out;
}

void LineEndProbe::feed(QByteArrayView piece)
{
    if (m_crLf || piece.isEmpty())
        return;
    m_crLf = (m_afterCr && piece.front() == '\n') || piece.contains(QByteArrayView("\r\n"));
    m_afterCr = piece.back() == '\r';
}

bool endsLinesWithCrLf(QByteArrayView file)
{
    LineEndProbe probe;
    probe.feed(file);
    return probe.crLfOnly();
}

bool isBlank(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

QByteArray encodeStore(const QStringList& lines)
{
    RecordLines records;
    for (const QString& line : lines)
        records.append(line);
    return records.toStore();
}

} // namespace StoreText
