#include "recordlines.h"

#include "contactrecord.h"
#include "cp1252.h"
#include "storetext.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char Quote = '"';
const QByteArrayView Utf8Bom("\xEF\xBB\xBF");
const QByteArrayView Utf8Separator("\xC2\xA7"); // "§" in UTF-8
constexpr char Cp1252Separator = char(0xA7);

bool isBlank(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

QString decodeLine(QByteArrayView bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : Cp1252::decode(bytes);
}

} // namespace

RecordLines::RecordLines(QByteArray fileBytes)
    : m_file(std::move(fileBytes))
{
    QByteArrayView data(m_file);
    bool utf8 = false;
    if (data.startsWith(Utf8Bom)) {
        utf8 = true;
        data = data.sliced(Utf8Bom.size());
    } else {
        utf8 = StoreText::isUtf8WithMultibyte(data);
    }
    // CR, LF and the double quote are single bytes in both encodings and never part of a
    // UTF-8 multi-byte sequence, so the lines are found on the bytes.
    const char* p = data.data();
    const char* const end = p + data.size();
    m_lines.reserve(std::count(p, end, '\n') + 1);
    while (p < end) {
        const char* eol = p;
        while (eol < end && *eol != '\r' && *eol != '\n')
            ++eol;
        QByteArrayView line(p, eol - p);
        if (line.contains(Quote)) {
            QByteArray cleaned = line.toByteArray();
            cleaned.removeIf([](char c) { return c == Quote; });
            line = keep(std::move(cleaned));
        }
        if (!isBlank(line))
            m_lines.append(Line { line, utf8 });
        p = eol;
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n' && (p == eol || p[-1] == '\r'))
            ++p;
    }
}

QByteArrayView RecordLines::keep(QByteArray bytes)
{
    m_owned.push_back(std::move(bytes));
    return QByteArrayView(m_owned.back());
}

QByteArrayView RecordLines::nameBytes(const Line& line) const
{
    const qsizetype sep = line.utf8 ? line.bytes.indexOf(Utf8Separator) : line.bytes.indexOf(Cp1252Separator);
    return sep < 0 ? line.bytes : line.bytes.first(sep);
}

QString RecordLines::text(qsizetype i) const
{
    return decodeLine(m_lines[i].bytes, m_lines[i].utf8);
}

QString RecordLines::name(qsizetype i) const
{
    return decodeLine(nameBytes(m_lines[i]), m_lines[i].utf8);
}

bool RecordLines::nameEquals(qsizetype i, QStringView name) const
{
    return nameEquals(m_lines[i], name);
}

bool RecordLines::nameEquals(const Line& line, QStringView name) const
{
    const QByteArrayView bytes = nameBytes(line);
    if (line.utf8)
        return QString::fromUtf8(bytes) == name;
    // Every Windows-1252 byte is one UTF-16 unit: compare without decoding the whole name.
    if (bytes.size() != name.size())
        return false;
    for (qsizetype k = 0; k < bytes.size(); ++k) {
        if (Cp1252::decodeByte(bytes[k]) != name[k].unicode())
            return false;
    }
    return true;
}

QStringList RecordLines::texts() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(text(i));
    return out;
}

QStringList RecordLines::names() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(name(i));
    return out;
}

void RecordLines::append(const QString& line)
{
    m_lines.append(Line { keep(Cp1252::encode(line)), false });
}

int RecordLines::replaceNamed(QStringView name, const QString& line)
{
    int count = 0;
    QByteArrayView encoded;
    for (qsizetype i = 0; i < size(); ++i) {
        if (!nameEquals(i, name))
            continue;
        if (count++ == 0)
            encoded = keep(Cp1252::encode(line));
        m_lines[i] = Line { encoded, false };
    }
    return count;
}

int RecordLines::removeNamed(QStringView name)
{
    return int(m_lines.removeIf([&](const Line& line) { return nameEquals(line, name); }));
}

QByteArray RecordLines::toStore() const
{
    qsizetype size = 6;
    for (const Line& line : m_lines)
        size += line.bytes.size() + 2;
    QByteArray out;
    out.reserve(size);
    out.append(Quote);
    for (const Line& line : m_lines) {
        if (line.utf8)
            Cp1252::appendEncoded(QString::fromUtf8(line.bytes), out);
        else
            out.append(line.bytes);
        out.append("\r\n");
    }
    out.append("\r\n\"\r\n");
    return out;
}
