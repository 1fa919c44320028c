#include "recordlines.h"

#include "contactrecord.h"
#include "cp1252.h"
#include "storetext.h"

#include <functional>
#include <vector>

namespace {

const QByteArrayView Utf8Separator("\xC2\xA7"); // "§" in UTF-8
constexpr char Cp1252Separator = char(0xA7);

} // namespace

RecordLines::RecordLines(QByteArray fileBytes)
    : m_file(std::move(fileBytes))
{
    QByteArrayView data(m_file);
    const bool bom = data.startsWith(StoreText::Utf8Bom);
    if (bom)
        data = data.sliced(StoreText::Utf8Bom.size());
    m_probe.feed(data);
    // A mark before bytes that are not UTF-8 is a Windows-1252 file an editor marked wrongly.
    m_utf8 = bom ? m_probe.mayBeUtf8() : m_probe.isUtf8();
    m_bom = bom && m_utf8;

    QByteArray scratch;
    StoreText::QuoteFinder quotes(data);
    const auto onLine = [&](QByteArrayView raw) {
        StoreText::forEachRecordLine(raw, quotes.inLine(raw), scratch, [&](QByteArrayView line) {
            // Lines point into the file's bytes; a line the reader had to change is kept aside.
            const std::less<const char*> before;
            if (before(line.data(), data.data())
                || before(data.data() + data.size(), line.data() + line.size()))
                line = keep(line.toByteArray());
            m_lines.append(line);
        });
    };
    m_crLfOnly = StoreText::endsLinesWithCrLf(data);
    StoreText::LineSplitter splitter(m_crLfOnly);
    splitter.feed(data, onLine);
    splitter.finish(onLine);
    // A quote removed from inside a character can leave lines that are UTF-8 where the file was not.
    if (!m_utf8 && !m_owned.empty())
        probeLines();
}

QByteArrayView RecordLines::keep(QByteArray bytes)
{
    m_owned.push_back(std::move(bytes));
    return QByteArrayView(m_owned.back());
}

QByteArrayView RecordLines::encodeAndKeep(const QString& line)
{
    if (!m_utf8 && !Cp1252::canEncode(line))
        becomeUtf8();
    const QByteArrayView bytes = keep(m_utf8 ? line.toUtf8() : Cp1252::encode(line));
    m_probe.feed(bytes);
    return bytes;
}

void RecordLines::keepReadable()
{
    if (!m_utf8 && m_probe.isUtf8())
        becomeUtf8();
}

void RecordLines::becomeUtf8()
{
    // Every line again, in one buffer that holds them all.
    QByteArray utf8;
    std::vector<qsizetype> ends;
    ends.reserve(m_lines.size());
    for (QByteArrayView line : m_lines) {
        utf8 += Cp1252::decode(line).toUtf8();
        ends.push_back(utf8.size());
    }
    const QByteArrayView all = keep(std::move(utf8));
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        m_lines[i] = all.sliced(start, ends[i] - start);
        start = ends[i];
    }
    // The mark makes the file UTF-8 to every reader, whatever its lines hold later.
    m_utf8 = m_bom = m_becameUtf8 = true;
}

QString RecordLines::decode(QByteArrayView bytes) const
{
    return m_utf8 ? StoreText::decodeUtf8(bytes) : Cp1252::decode(bytes);
}

QByteArrayView RecordLines::nameBytes(QByteArrayView line) const
{
    const qsizetype sep = m_utf8 ? line.indexOf(Utf8Separator) : line.indexOf(Cp1252Separator);
    return sep < 0 ? line : line.first(sep);
}

QString RecordLines::text(qsizetype i) const
{
    return decode(m_lines[i]);
}

QString RecordLines::name(qsizetype i) const
{
    return decode(nameBytes(m_lines[i]));
}

bool RecordLines::nameEquals(qsizetype i, QStringView name) const
{
    return nameEquals(m_lines[i], name);
}

bool RecordLines::nameEquals(QByteArrayView line, QStringView name) const
{
    const QByteArrayView bytes = nameBytes(line);
    if (m_utf8)
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
    m_lines.append(encodeAndKeep(line));
    // What the lines were before, and the new one: no need to look at them all again.
    keepReadable();
}

std::optional<QByteArray> RecordLines::storedName(QStringView name) const
{
    if (name.contains(u'\u00A7'))
        return {};
    if (m_utf8)
        return name.isValidUtf16() ? std::optional(name.toUtf8()) : std::nullopt;
    return Cp1252::canEncode(name) ? std::optional(Cp1252::encode(name)) : std::nullopt;
}

bool RecordLines::carriesName(QByteArrayView line, QByteArrayView stored) const
{
    // The name ends at the first separator, which the stored name does not hold.
    if (line.size() < stored.size() || (!stored.isEmpty() && line.front() != stored.front())
        || !line.startsWith(stored))
        return false;
    const QByteArrayView rest = line.sliced(stored.size());
    return rest.isEmpty() || (m_utf8 ? rest.startsWith(Utf8Separator) : rest.front() == Cp1252Separator);
}

int RecordLines::replaceNamed(QStringView name, const QString& line)
{
    int count = 0;
    QByteArrayView encoded;
    std::optional<QByteArray> stored = storedName(name);
    // By index: the new line may make the whole store UTF-8, every line then in a new place.
    for (qsizetype i = 0; stored && i < m_lines.size(); ++i) {
        if (!carriesName(m_lines[i], *stored))
            continue;
        if (count++ == 0) {
            const bool utf8 = m_utf8;
            encoded = encodeAndKeep(line);
            if (m_utf8 != utf8)
                stored = storedName(name);
        }
        m_lines[i] = encoded;
    }
    if (count > 0) {
        probeLines();
        keepReadable();
    }
    return count;
}

int RecordLines::removeNamed(QStringView name)
{
    const std::optional<QByteArray> stored = storedName(name);
    if (!stored)
        return 0;
    const int count = int(m_lines.removeIf([&](QByteArrayView line) { return carriesName(line, *stored); }));
    // The lines that kept a Windows-1252 store from reading as UTF-8 may be the ones just gone.
    if (count > 0) {
        probeLines();
        keepReadable();
    }
    return count;
}

void RecordLines::probeLines()
{
    if (m_utf8)
        return;
    m_probe = StoreText::EncodingProbe();
    for (qsizetype i = 0; i < m_lines.size() && m_probe.mayBeUtf8(); ++i)
        m_probe.feed(m_lines[i]);
}

QList<QByteArrayView> RecordLines::storePieces() const
{
    QList<QByteArrayView> pieces;
    // The piece being made: bytes that follow it where they stand join it.
    const char* start = nullptr;
    qsizetype size = 0;
    const auto put = [&](QByteArrayView bytes) {
        if (size > 0 && start + size == bytes.data()) {
            size += bytes.size();
            return;
        }
        if (size > 0)
            pieces.append(QByteArrayView(start, size));
        start = bytes.data();
        size = bytes.size();
    };
    // The layout's own bytes are taken from the file where it has them at that very place.
    const QByteArrayView file(m_file);
    const char* const fileEnd = file.data() + file.size();
    const std::less_equal<const char*> notAfter;
    const auto putLayout = [&](QByteArrayView layout) {
        const char* at = size == 0 ? file.data() : start + size;
        const bool inFile
            = notAfter(file.data(), at) && notAfter(at, fileEnd) && fileEnd - at >= layout.size();
        put(inFile && QByteArrayView(at, layout.size()) == layout ? QByteArrayView(at, layout.size())
                                                                  : layout);
    };
    if (m_bom)
        putLayout(StoreText::Utf8Bom);
    putLayout("\"");
    for (QByteArrayView line : m_lines) {
        put(line);
        // In a file whose lines end at CR LF only, a line of the file that does not end it is
        // followed by one: the piece goes on over it without a look at the bytes.
        if (m_crLfOnly && notAfter(file.data(), line.data())
            && std::less<const char*>()(start + size, fileEnd))
            size += 2;
        else
            putLayout("\r\n");
    }
    putLayout("\r\n\"\r\n");
    pieces.append(QByteArrayView(start, size));
    return pieces;
}

QByteArray RecordLines::toStore() const
{
    const QList<QByteArrayView> pieces = storePieces();
    qsizetype size = 0;
    for (QByteArrayView piece : pieces)
        size += piece.size();
    QByteArray out;
    out.reserve(size);
    for (QByteArrayView piece : pieces)
        out.append(piece);
    return out;
}
