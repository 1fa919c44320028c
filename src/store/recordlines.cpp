#include "recordlines.h"

#include "contactrecord.h"
#include "cp1252.h"
#include "storetext.h"

#include <functional>

namespace {

const QByteArrayView Utf8Separator("\xC2\xA7"); // "§" in UTF-8
constexpr char Cp1252Separator = char(0xA7);

QString decodeLine(QByteArrayView bytes, bool utf8)
{
    return utf8 ? StoreText::decodeUtf8(bytes) : Cp1252::decode(bytes);
}

} // namespace

RecordLines::RecordLines(QByteArray fileBytes)
    : m_file(std::move(fileBytes))
{
    QByteArrayView data(m_file);
    StoreText::EncodingProbe probe;
    if (data.startsWith(StoreText::Utf8Bom))
        data = data.sliced(StoreText::Utf8Bom.size());
    else
        probe.feed(data);
    m_fileUtf8 = data.size() != m_file.size() || probe.isUtf8();

    QByteArray scratch;
    const auto onLine = [&](QByteArrayView raw) {
        QByteArrayView line = StoreText::recordLine(raw, scratch);
        if (line.isEmpty())
            return;
        // Lines point into the file's bytes; a line the reader had to change is kept aside.
        const std::less<const char*> before;
        if (before(line.data(), data.data()) || before(data.data() + data.size(), line.data() + line.size()))
            line = keep(line.toByteArray());
        m_lines.append(Line { line, true });
    };
    StoreText::LineSplitter splitter;
    splitter.feed(data, onLine);
    splitter.finish(onLine);
}

QByteArrayView RecordLines::keep(QByteArray bytes)
{
    m_owned.push_back(std::move(bytes));
    return QByteArrayView(m_owned.back());
}

bool RecordLines::isUtf8(const Line& line) const
{
    return line.fromFile && m_fileUtf8;
}

QByteArrayView RecordLines::nameBytes(const Line& line) const
{
    const qsizetype sep
        = isUtf8(line) ? line.bytes.indexOf(Utf8Separator) : line.bytes.indexOf(Cp1252Separator);
    return sep < 0 ? line.bytes : line.bytes.first(sep);
}

QString RecordLines::text(qsizetype i) const
{
    return decodeLine(m_lines[i].bytes, isUtf8(m_lines[i]));
}

QString RecordLines::name(qsizetype i) const
{
    return decodeLine(nameBytes(m_lines[i]), isUtf8(m_lines[i]));
}

bool RecordLines::nameEquals(qsizetype i, QStringView name) const
{
    return nameEquals(m_lines[i], name);
}

bool RecordLines::nameEquals(const Line& line, QStringView name) const
{
    const QByteArrayView bytes = nameBytes(line);
    if (isUtf8(line))
        return StoreText::decodeUtf8(bytes) == name;
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
    out.append('"');
    for (const Line& line : m_lines) {
        if (isUtf8(line))
            Cp1252::appendEncoded(StoreText::decodeUtf8(line.bytes), out);
        else
            out.append(line.bytes);
        out.append("\r\n");
    }
    out.append("\r\n\"\r\n");
    return out;
}
