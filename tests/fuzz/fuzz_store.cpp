// libFuzzer target for everything between the bytes of a contacts file and its records: the
// code page, the UTF-8 guess, the line splitter fed in pieces, the byte-keeping reader
// (RecordLines) and its changes, the store's own read operations on a real file, and the
// record line builder. The readers are held to a plain reference reading written here; every
// check is something the program relies on, and a failed one traps.

#include "contactrecord.h"
#include "contactstore.h"
#include "cp1252.h"
#include "recordlines.h"
#include "storetext.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (false)

const QByteArrayView Bom("\xEF\xBB\xBF");

// Fuzz bytes as a little queue of choices, taken from the end so the front stays file-like.
struct Choices {
    const uint8_t* data;
    size_t size;
    uint8_t next()
    {
        if (size == 0)
            return 0;
        return data[--size];
    }
};

bool representable(QStringView text)
{
    for (const QChar c : text) {
        if (Cp1252::byteFor(c.unicode()) < 0)
            return false;
    }
    return true;
}

bool holdsLineBreakOrQuote(QStringView text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(u'"');
}

bool isBlank(QStringView line)
{
    for (const QChar c : line) {
        if (c != u' ')
            return false;
    }
    return true;
}

// What a line becomes once written in Windows-1252 and read back: '?' for what the code page
// cannot hold.
QString throughCodePage(const QString& line)
{
    return Cp1252::decode(Cp1252::encode(line));
}

// '"', every line and CR LF, one more CR LF, '"', CR LF, in Windows-1252.
QByteArray canonical(const QStringList& lines)
{
    QByteArray bytes("\"");
    for (const QString& line : lines)
        bytes += Cp1252::encode(line) + "\r\n";
    return bytes + "\r\n\"\r\n";
}

// Raw lines by the plain rule: CR LF, lone CR and lone LF end a line; a last line without one
// is still a line.
QList<QByteArray> splitBytes(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.append(bytes.sliced(start, i - start).toByteArray());
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start).toByteArray());
    return lines;
}

// The reference reading of a contacts file. UTF-8 is decided on Qt's own decoder: the bytes
// are well-formed exactly when they survive a round trip through it.
struct Reading {
    bool bom = false;
    bool utf8 = false;
    bool wellFormed = true; // false only for a file with a BOM whose bytes are not UTF-8
    QStringList lines;
};

Reading referenceRead(QByteArrayView bytes)
{
    Reading r;
    r.bom = bytes.startsWith(Bom);
    const QByteArrayView body = r.bom ? bytes.sliced(Bom.size()) : bytes;
    bool high = false;
    for (const char b : body)
        high = high || static_cast<unsigned char>(b) >= 0x80;
    QStringDecoder utf8(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString asUtf8 = utf8.decode(body);
    const bool roundTrips = asUtf8.toUtf8() == body;
    r.utf8 = r.bom || (high && roundTrips);
    r.wellFormed = !r.bom || roundTrips;
    const QString text = r.utf8 ? asUtf8 : Cp1252::decode(body);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\r' && text[i] != u'\n')
            continue;
        if (i == text.size() && start == i)
            break;
        QString line = text.sliced(start, i - start);
        line.remove(u'"');
        if (!isBlank(line))
            r.lines.append(line);
        if (i < text.size() && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    return r;
}

void checkCodePage(QByteArrayView bytes)
{
    // Every byte, the five undefined ones included, comes back unchanged.
    const QString text = Cp1252::decode(bytes);
    CHECK(text.size() == bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        CHECK(Cp1252::decodeByte(bytes[i]) == text[i].unicode());
    CHECK(Cp1252::encode(text) == bytes);
}

// The splitter is fed a file in pieces of any size (the store reads 256 KiB at a time): the
// cuts, a CR LF torn in two included, must not change the lines. The UTF-8 probe, fed line by
// line as the name list reader does, must agree with it fed the whole file.
void checkSplitter(QByteArrayView bytes, Choices& choices, const Reading& reference)
{
    QList<QByteArray> lines;
    StoreText::LineSplitter splitter;
    const auto onLine = [&](QByteArrayView line) { lines.append(line.toByteArray()); };
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype piece = std::min<qsizetype>(bytes.size() - at, 1 + choices.next() % 8);
        splitter.feed(bytes.sliced(at, piece), onLine);
        at += piece;
    }
    splitter.finish(onLine);
    CHECK(lines == splitBytes(bytes));

    if (reference.bom)
        return;
    StoreText::EncodingProbe probe;
    for (const QByteArray& line : std::as_const(lines))
        probe.feed(line);
    CHECK(StoreText::isUtf8WithMultibyte(bytes) == reference.utf8);
    CHECK(probe.isUtf8() == reference.utf8);
}

// RecordLines keeps each record as the file's bytes. Its records must be clean and read as the
// reference reads them, it must write back what it read, and a change must touch nothing but
// the records it names.
void checkRecordLines(QByteArrayView bytes, const Reading& reference, const QString& newLine, uint8_t pick)
{
    RecordLines records(bytes.toByteArray());
    const QStringList read = records.texts();
    for (qsizetype i = 0; i < read.size(); ++i) {
        CHECK(!isBlank(read[i]) && !holdsLineBreakOrQuote(read[i]));
        // The list shows name(); findRecord() matches with nameEquals() and returns the text.
        CHECK(records.name(i) == recordName(read[i]));
        CHECK(records.nameEquals(i, recordName(read[i])));
        CHECK(ContactRecord::fromLine(read[i]).nome == recordName(read[i]));
    }
    // A file that is not UTF-8 after all, despite its BOM, reads as whatever the decoder makes
    // of it line by line; only the checks above apply to it.
    if (reference.wellFormed)
        CHECK(read == reference.lines);
    CHECK(records.toStore() == canonical(read));

    const QString name
        = read.isEmpty() ? recordName(newLine).toString() : recordName(read[pick % read.size()]).toString();
    const bool remove = pick & 0x80;
    QStringList expected;
    int matches = 0;
    for (const QString& line : read) {
        const bool named = recordName(line) == name;
        matches += named;
        if (!named)
            expected.append(line);
        else if (!remove)
            expected.append(throughCodePage(newLine));
    }
    CHECK((remove ? records.removeNamed(name) : records.replaceNamed(name, newLine)) == matches);
    CHECK(records.texts() == expected && records.toStore() == canonical(expected));
    records.append(newLine);
    expected.append(throughCodePage(newLine));
    CHECK(records.texts() == expected && records.toStore() == canonical(expected));
}

// The canonical bytes read back as written, '?' for what the code page cannot hold, and are a
// fixed point of reading and writing. Canonical bytes that happen to be well-formed UTF-8 are
// read as UTF-8: a known ambiguity of the format, left out here.
void checkCanonical(const QStringList& lines)
{
    const QByteArray bytes = canonical(lines);
    if (StoreText::isUtf8WithMultibyte(bytes))
        return;
    RecordLines again(bytes);
    QStringList expected;
    for (const QString& line : lines)
        expected.append(throughCodePage(line));
    CHECK(again.texts() == expected);
    CHECK(again.toStore() == bytes);
}

// The store's own operations on the bytes as its file: the name list is read in pieces by a
// reader of its own, and must match the records.
void checkStore(QByteArrayView bytes, const QStringList& expected, uint8_t pick)
{
    // In the working folder: a crash leaves it behind, and there it is found with the input.
    static QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/fuzz_store-XXXXXX"));
    const ContactStore store(dir.path());
    {
        QFile file(store.path());
        CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(bytes.data(), bytes.size()) == bytes.size());
    }
    QStringList lines;
    CHECK(store.readRecordLines(&lines) == StoreStatus::Ok && lines == expected);
    NameList names;
    CHECK(store.readNames(&names) == StoreStatus::Ok);
    QStringList nameList = names.toStringList();
    CHECK(nameList.size() == lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        CHECK(nameList[i] == recordName(lines[i]));

    // The last record with a name shown in the list is the one found.
    if (lines.isEmpty())
        return;
    const QString name = nameList[pick % nameList.size()];
    std::optional<ContactRecord> found;
    CHECK(store.findRecord(name, &found) == StoreStatus::Ok && found);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (recordName(lines[i]) == name) {
            CHECK(*found == ContactRecord::fromLine(lines[i]));
            break;
        }
    }
}

// formatRecord on arbitrary fields; date is appended as given, so only the part before it is
// held to the cleaning rules, and only a date that is itself clean to the whole-line ones.
void checkFormatRecord(const QStringList& fields, const QString& date)
{
    const QString line = formatRecord(
        fields.value(0), fields.value(1), fields.value(2), fields.value(3), fields.value(4), date);
    CHECK(line.endsWith(date));
    const QStringView cleaned = QStringView(line).chopped(date.size());
    CHECK(cleaned.count(QChar(SeparadorCampo)) == 5 && cleaned.endsWith(QChar(SeparadorCampo)));
    CHECK(!holdsLineBreakOrQuote(cleaned));
    CHECK(representable(cleaned));
    for (const QChar c : cleaned)
        CHECK(c == u'\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7F));
    const bool cleanDate
        = !holdsLineBreakOrQuote(date) && representable(date) && !date.contains(SeparadorCampo);
    if (!cleanDate)
        return;
    // Cleaning is idempotent: a record read back and saved again is the same line.
    const ContactRecord record = ContactRecord::fromLine(line);
    CHECK(record.data == date);
    CHECK(
        formatRecord(record.nome, record.fone, record.mail, record.endereco, record.complemento, record.data)
        == line);
    for (const QString* field :
        { &record.nome, &record.fone, &record.mail, &record.endereco, &record.complemento })
        CHECK(!field->startsWith(u' ') && !field->endsWith(u' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Choices choices { data, size };

    checkCodePage(bytes);
    const Reading reference = referenceRead(bytes);
    for (const QString& line : reference.lines)
        CHECK(!isBlank(line) && !holdsLineBreakOrQuote(line));
    checkSplitter(bytes, choices, reference);

    // Arbitrary UTF-16, lone surrogates included, as typed or pasted fields; 0xFFFF parts them.
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < units.size(); ++i)
        units[i] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));
    const QStringList fields = units.split(QChar(0xFFFF));
    const QString today = formatRecordDate(QDate(2000, 1, 1).addDays(size % 20000), QLocale::c());
    checkFormatRecord(fields, fields.size() > 5 ? fields[5] : today);
    const QString newLine = formatRecord(
        fields.value(0), fields.value(1), fields.value(2), fields.value(3), fields.value(4), today);

    const uint8_t pick = choices.next();
    checkRecordLines(bytes, reference, newLine, pick);
    const QStringList read = RecordLines(bytes.toByteArray()).texts();
    checkCanonical(read);
    checkStore(bytes, read, pick);

    // Records from the file, saved again with a real date.
    for (qsizetype i = 0; i < read.size() && i < 16; ++i) {
        const ContactRecord r = ContactRecord::fromLine(read[i]);
        checkFormatRecord({ r.nome, r.fone, r.mail, r.endereco, r.complemento }, today);
    }
    return 0;
}
