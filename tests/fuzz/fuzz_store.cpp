// libFuzzer target for the bytes of a contacts file up to its records. The program reads the same
// bytes several ways (whole, in pieces, names only, as vCard): the checks hold those
// readers to each other and to the invariants the rest of the program relies on. A failure traps.

#include "contactrecord.h"
#include "contactstore.h"
#include "cp1252.h"
#include "recordlines.h"
#include "storetext.h"
#include "vcard.h"

#include <QBuffer>

#include <cstdint>

#define CHECK(condition) ((condition) ? void() : __builtin_trap())

namespace {

bool isUtf8(QByteArrayView bytes)
{
    StoreText::EncodingProbe probe;
    probe.feed(bytes);
    return probe.isUtf8();
}
using namespace Qt::StringLiterals;

// Choices are taken from the end of the input, so that its front stays file-like.
struct Choices {
    const uint8_t* data;
    size_t size;
    uint8_t next() { return size ? data[--size] : 0; }
};

// The store reads its file in pieces: no cut, a CR LF torn in two included, may change the lines,
// in either way of ending them. The name list reader guesses the encoding line by line, and must
// guess as the whole file does.
void checkSplitter(QByteArrayView bytes, Choices& choices)
{
    const bool crLfOnly = choices.next() & 1;
    QList<QByteArray> whole, pieces;
    StoreText::EncodingProbe probe;
    const auto onWhole = [&](QByteArrayView l) { probe.feed(whole.emplaceBack(l.toByteArray())); };
    const auto onPiece = [&](QByteArrayView l) { pieces.append(l.toByteArray()); };
    StoreText::LineSplitter once(crLfOnly), cut(crLfOnly);
    StoreText::LineEndProbe lineEnds;
    once.feed(bytes, onWhole);
    once.finish(onWhole);
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype n = std::min<qsizetype>(bytes.size() - at, 1 + choices.next() % 8);
        cut.feed(bytes.sliced(at, n), onPiece);
        lineEnds.feed(bytes.sliced(at, n));
        at += n;
    }
    cut.finish(onPiece);
    CHECK(pieces == whole && lineEnds.crLfOnly() == bytes.contains(QByteArrayView("\r\n")));
    CHECK(bytes.startsWith(StoreText::Utf8Bom) || probe.isUtf8() == isUtf8(bytes));
}

// The bytes a store of these record lines is written as, in the file's encoding.
QByteArray layout(const QStringList& texts, bool utf8, bool mark)
{
    const QString text
        = u'"' + texts.join(u"\r\n"_s) + (texts.isEmpty() ? u""_s : u"\r\n"_s) + u"\r\n\"\r\n"_s;
    if (!utf8)
        return Cp1252::encode(text);
    return (mark ? StoreText::Utf8Bom.toByteArray() : QByteArray()) + text.toUtf8();
}

void checkRecordLines(QByteArrayView bytes, const QString& newLine, Choices& choices)
{
    RecordLines records(bytes.toByteArray());
    const bool utf8 = records.isUtf8();
    const bool mark = utf8 && bytes.startsWith(StoreText::Utf8Bom);
    const QStringList texts = records.texts();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString& t = texts[i];
        // A lone CR or LF stays inside a record only where lines end at CR LF.
        CHECK(t.count(u' ') < t.size() && !t.contains(u"\r\n"_s) && !t.contains(u'"'));
        // The list shows name(); findRecord() and the changes match with nameEquals().
        CHECK(records.name(i) == recordName(t) && records.nameEquals(i, records.name(i)));
    }
    // Untouched records are copied as the file's bytes: they must be what their text is written as.
    const QByteArray stored = records.toStore();
    CHECK(stored == layout(texts, utf8, mark));
    // Read, rewritten, read again: the same records, in the same encoding. Canonical Windows-1252
    // bytes that happen to be well-formed UTF-8 read as UTF-8: a known ambiguity.
    if (utf8 || !isUtf8(stored)) {
        const RecordLines again(stored);
        CHECK(again.isUtf8() == utf8 && again.texts() == texts && again.toStore() == stored);
    }
    if (texts.isEmpty())
        return;
    const QString name = recordName(texts[choices.next() % texts.size()]).toString();
    const bool remove = choices.next() & 1;
    QStringList expected;
    int matches = 0;
    for (const QString& t : texts) {
        const bool named = recordName(t) == name;
        matches += named;
        if (!named || !remove)
            expected.append(named ? newLine : t);
    }
    CHECK((remove ? records.removeNamed(name) : records.replaceNamed(name, newLine)) == matches);
    // A change never loses a character: a Windows-1252 store that cannot hold the new line, or
    // whose bytes would read back as UTF-8, becomes UTF-8 with a mark.
    const bool widened = !utf8 && matches > 0
        && ((!remove && !Cp1252::canEncode(newLine)) || isUtf8(layout(expected, false, false)));
    CHECK(records.isUtf8() == (utf8 || widened) && records.becameUtf8() == widened);
    CHECK(records.texts() == expected
        && records.toStore() == layout(expected, utf8 || widened, mark || widened));
    CHECK(RecordLines(records.toStore()).texts() == expected);
}

// The name list has a reader of its own, in pieces and without decoding whole lines. It reads the
// bytes from memory, as every check here does: no file system call slows the run down.
void checkNames(QByteArrayView bytes)
{
    QByteArray copy = bytes.toByteArray();
    const QStringList lines = RecordLines(copy).texts();
    QBuffer buffer(&copy);
    NameList names;
    CHECK(buffer.open(QIODevice::ReadOnly) && ContactStore::readNames(buffer, &names) == StoreStatus::Ok);
    const QStringList shown = names.toStringList();
    CHECK(shown.size() == lines.size() && names.size() == lines.size());
    QString reused; // read() reuses its buffer across names of different lengths
    for (qsizetype i = 0; i < lines.size(); ++i) {
        names.read(i, reused);
        CHECK(shown[i] == recordName(lines[i]) && reused == shown[i]);
    }
}

// Pasted fields can hold anything, yet the line must be one record of six fields with no line break,
// quote or control but tab (the five C1 codes that stand for undefined Windows-1252 bytes aside);
// and a record saved unchanged stays.
QString checkFormatRecord(const QStringList& f, const QString& date)
{
    const QString line = formatRecord(f.value(0), f.value(1), f.value(2), f.value(3), f.value(4), date);
    CHECK(line.endsWith(date) && line.count(QChar(SeparadorCampo)) == 5 && QStringView(line).isValidUtf16());
    for (const QChar c : line)
        CHECK(c != u'"' && (c == u'\t' || (c >= u' ' && c != u'\x7F'))
            && (c < u'\x80' || c > u'\x9F' || Cp1252::byteFor(c.unicode()) >= 0));
    const ContactRecord r = ContactRecord::fromLine(line);
    CHECK(r.data == date && formatRecord(r.nome, r.fone, r.mail, r.endereco, r.complemento, r.data) == line);
    return line;
}

// vCard files come from anywhere: the reader must end on any bytes, and the card written for a
// contact it read, once stored, must read back to the same five fields.
void checkVCard(QByteArrayView bytes, const QString& date)
{
    for (const VCard::Contact& c : VCard::read(bytes)) {
        const QString line = formatRecord(c.nome, c.fone, c.mail, c.endereco, c.complemento, date);
        if (recordName(line).isEmpty())
            continue; // no contact: the import skips it
        const ContactRecord r = ContactRecord::fromLine(line);
        const QList<VCard::Contact> back = VCard::read(VCard::write(r));
        const auto lines = [](QString text) { return text.replace(QChar(MarcaQuebra), u"\r\n"_s); };
        CHECK(back.size() == 1
            && back[0]
                == (VCard::Contact { r.nome, r.fone, r.mail, lines(r.endereco), lines(r.complemento) }));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Choices choices { data, size };
    // Every byte, the five the code page leaves undefined included, is one character and comes back.
    const QString decoded = Cp1252::decode(bytes);
    CHECK(decoded.size() == bytes.size() && Cp1252::encode(decoded) == bytes);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        CHECK(Cp1252::decodeByte(bytes[i]) == decoded[i].unicode());
    // The same bytes as UTF-16 fields, lone surrogates included; U+FFFF parts them.
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < units.size(); ++i)
        units[i] = QChar(char16_t(data[2 * i] | data[2 * i + 1] << 8));
    const QString date = formatRecordDate(QDate(2000, 1, 1).addDays(qint64(size % 20000)), QLocale::c());
    checkSplitter(bytes, choices);
    checkRecordLines(bytes, checkFormatRecord(units.split(QChar(0xFFFF)), date), choices);
    checkNames(bytes);
    checkVCard(bytes, date);
    return 0;
}
