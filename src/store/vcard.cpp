#include "vcard.h"

#include "cp1252.h"
#include "storetext.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cctype>
#include <climits>

using namespace Qt::StringLiterals;

namespace {

// ---- Reading ----

bool isFoldSpace(char c)
{
    return c == ' ' || c == '\t';
}

// Longest content line, unfolded, that a card may hold: far more than any contact's field. An
// inline photo, logo, sound or key gets megabytes. A longer line is damage, or a file made to
// exhaust memory: its card is refused, and the line is never copied.
constexpr qsizetype LineLimit = 64 * 1024;
constexpr qsizetype BinaryLineLimit = 8 * 1024 * 1024;
// What a card's name, phones, e-mails, addresses and notes may take together.
constexpr qsizetype CardLimit = 1024 * 1024;

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A parameter's key, value or list item, spaces and the double quotes around it left out.
QByteArrayView bare(QByteArrayView part)
{
    part = part.trimmed();
    if (part.startsWith('"'))
        part = part.sliced(1);
    if (part.endsWith('"'))
        part.chop(1);
    return part.trimmed();
}

// What a content line begins with up to its first ';' or ':': the property, and its group.
QByteArrayView propertyName(QByteArrayView line)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    const QByteArrayView name = line.first(end).trimmed();
    return name.sliced(name.lastIndexOf('.') + 1);
}

qsizetype lineLimit(QByteArrayView line)
{
    const QByteArrayView name = propertyName(line);
    for (const char* binary : { "PHOTO", "LOGO", "SOUND", "KEY" })
        if (equalsIgnoringCase(name, binary))
            return BinaryLineLimit;
    return LineLimit;
}

// Whether a physical line begins a property: a known name or an X- one, with an optional group,
// then ';' or ':'. A quoted-printable value's next line may begin with anything else.
bool beginsProperty(QByteArrayView line)
{
    static const QByteArrayList names { "BEGIN", "END", "VERSION", "FN", "N", "NICKNAME", "PHOTO", "BDAY",
        "ANNIVERSARY", "GENDER", "ADR", "LABEL", "TEL", "EMAIL", "MAILER", "IMPP", "LANG", "TZ", "GEO",
        "TITLE", "ROLE", "LOGO", "AGENT", "ORG", "MEMBER", "RELATED", "CATEGORIES", "NOTE", "PRODID", "REV",
        "SORT-STRING", "SOUND", "UID", "CLIENTPIDMAP", "URL", "KEY", "FBURL", "CALADRURI", "CALURI", "XML",
        "CLASS", "NAME", "PROFILE", "SOURCE", "KIND" };
    qsizetype end = 0;
    while (end < line.size() && (std::isalnum(uchar(line[end])) || line[end] == '-' || line[end] == '.'))
        ++end;
    if (end == line.size() || (line[end] != ';' && line[end] != ':'))
        return false;
    const QByteArrayView name = propertyName(line);
    return (name.size() > 2 && equalsIgnoringCase(name.first(2), "X-"))
        || std::any_of(
            names.cbegin(), names.cend(), [&](const QByteArray& n) { return equalsIgnoringCase(name, n); });
}

enum class Encoding { None, QuotedPrintable, Base64 };

// One content line's name and parameters, as far as the five fields need them; views into the line.
struct Header {
    QByteArrayView name; // without its group ("item1.")
    Encoding encoding = Encoding::None;
    QByteArrayView charset;
    int pref = INT_MAX; // lower is more preferred; TYPE=pref and 2.1's bare PREF count as 1
};

void parameter(Header& h, QByteArrayView part)
{
    const qsizetype eq = part.indexOf('=');
    // vCard 2.1 writes types and the encoding bare: TEL;PREF;CELL;QUOTED-PRINTABLE.
    const QByteArrayView key = eq < 0 ? QByteArrayView("TYPE") : bare(part.first(eq));
    const QByteArrayView value = bare(eq < 0 ? part : part.sliced(eq + 1));
    const bool qp = equalsIgnoringCase(value, "QUOTED-PRINTABLE");
    const bool base64 = equalsIgnoringCase(value, "BASE64") || (eq >= 0 && equalsIgnoringCase(value, "B"));
    if (equalsIgnoringCase(key, "ENCODING") || (eq < 0 && (qp || base64))) {
        if (qp || base64)
            h.encoding = qp ? Encoding::QuotedPrintable : Encoding::Base64;
    } else if (equalsIgnoringCase(key, "CHARSET")) {
        h.charset = value;
    } else if (equalsIgnoringCase(key, "PREF")) {
        bool ok = false;
        const int n = value.toInt(&ok);
        h.pref = std::min(h.pref, ok ? n : 1);
    } else if (equalsIgnoringCase(key, "TYPE")) {
        for (qsizetype start = 0; start <= value.size();) {
            const qsizetype comma = value.indexOf(',', start);
            const qsizetype end = comma < 0 ? value.size() : comma;
            if (equalsIgnoringCase(bare(value.sliced(start, end - start)), "PREF"))
                h.pref = std::min(h.pref, 1);
            start = end + 1;
        }
    }
}

// Parameters split at ';' outside double quotes (4.0 quotes values that hold ';', ':' or ','), each
// looked at where it stands: a million of them cost one pass and no copy.
Header parseHeader(QByteArrayView header)
{
    Header h;
    h.name = propertyName(header);
    bool quoted = false;
    qsizetype start = -1; // the first part is the name
    for (qsizetype i = 0; i <= header.size(); ++i) {
        if (i < header.size() && (header[i] != ';' || quoted)) {
            quoted = quoted != (header[i] == '"');
            continue;
        }
        if (start >= 0)
            parameter(h, header.sliced(start, i - start));
        start = i + 1;
    }
    return h;
}

// Joins physical lines into content lines: a line that starts with a space or a tab goes on the
// one before (folding), and a quoted-printable value that ends in '=' goes on in the next line
// unless that begins a property (a soft line break; a card cut short after one must not take in
// the next card's BEGIN). A content line over its limit is passed on empty, as too long.
class Unfolder {
public:
    // vCard 2.1 unfolds a line break and the white space after it into that white space; later
    // versions drop the white space too.
    bool keepFoldSpace = false;

    template<typename OnLine>
    void feed(QByteArrayView physical, OnLine&& onLine)
    {
        if (m_open && softBreak() && !beginsProperty(physical)) {
            m_line.chop(1);
            append(physical);
            return;
        }
        if (m_open && !physical.isEmpty() && isFoldSpace(physical.front())) {
            append(keepFoldSpace ? physical : physical.sliced(1));
            return;
        }
        finish(onLine);
        m_line.clear();
        m_open = true;
        m_tooLong = false;
        m_scanned = 0;
        m_quoted = false;
        m_colon = -1;
        m_quotedPrintable = false;
        append(physical);
    }

    // onLine(line, colon, tooLong); colon is -1 for a line without one.
    template<typename OnLine>
    void finish(OnLine&& onLine)
    {
        if (!m_open)
            return;
        m_open = false;
        onLine(QByteArrayView(m_line), colon(), m_tooLong);
    }

private:
    void append(QByteArrayView part)
    {
        const qsizetype size = m_line.size() + part.size();
        if (!m_tooLong && size > LineLimit
            && size > lineLimit(m_line.isEmpty() ? part : QByteArrayView(m_line))) {
            m_tooLong = true;
            m_line = QByteArray(); // and no soft break: the card is refused whatever follows
        }
        if (!m_tooLong)
            m_line.append(part);
    }

    // Where the header ends: the first ':' outside double quotes. The scan goes on from where it
    // stopped, so a long run of folded lines without one costs one pass, not one per line.
    qsizetype colon()
    {
        for (; m_colon < 0 && m_scanned < m_line.size(); ++m_scanned) {
            const char c = m_line[m_scanned];
            if (c == '"') {
                m_quoted = !m_quoted;
            } else if (c == ':' && !m_quoted) {
                m_colon = m_scanned;
                m_quotedPrintable = parseHeader(QByteArrayView(m_line).first(m_colon)).encoding
                    == Encoding::QuotedPrintable;
            }
        }
        return m_colon;
    }

    bool softBreak()
    {
        return m_line.endsWith('=') && colon() >= 0 && m_quotedPrintable && m_line.size() > m_colon + 1;
    }

    QByteArray m_line;
    bool m_open = false;
    bool m_tooLong = false;
    qsizetype m_scanned = 0;
    bool m_quoted = false;
    qsizetype m_colon = -1;
    bool m_quotedPrintable = false;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const int high = value[i] == '=' && i + 2 < value.size() ? hexDigit(value[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(value[i + 2]) : -1;
        if (low >= 0) {
            out.append(char(high << 4 | low));
            i += 2;
        } else if (value[i] != '=' || i + 1 < value.size()) {
            out.append(value[i]); // not an escape: kept as it stands; a soft break at the end goes
        }
    }
    return out;
}

QString decodeUtf8OrCp1252(QByteArrayView bytes)
{
    StoreText::EncodingProbe probe;
    probe.feed(bytes);
    return probe.mayBeUtf8() ? StoreText::decodeUtf8(bytes) : Cp1252::decode(bytes);
}

QString toText(QByteArrayView bytes, QByteArrayView charset)
{
    // ISO-8859-1 is read as Windows-1252, as browsers do: exporters that say Latin-1 write the
    // Windows code page, and the two differ only where Latin-1 has control codes.
    static const QByteArrayList westernCharsets { "ISO-8859-1", "ISO8859-1", "LATIN1", "US-ASCII", "ASCII",
        "WINDOWS-1252", "CP1252" };
    const auto is = [&](QByteArrayView name) { return equalsIgnoringCase(charset, name); };
    if (std::any_of(westernCharsets.cbegin(), westernCharsets.cend(), is))
        return Cp1252::decode(bytes);
    if (!charset.isEmpty() && !is("UTF-8") && !is("UTF8")) {
        QStringDecoder decoder(charset.toByteArray().constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    // No charset, or one that says UTF-8: bytes that are not UTF-8 are the Windows code page.
    return decodeUtf8OrCp1252(bytes);
}

// \n (or \N) is a line break; \, \; \\ and \: stand for their character; any other backslash
// stays as it is.
QString unescape(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value[++i];
        if (next == u'n' || next == u'N')
            out.append(u"\r\n"_s);
        else if (next == u',' || next == u';' || next == u'\\' || next == u':')
            out.append(next);
        else
            out.append(c).append(next);
    }
    return out;
}

// The parts of a structured value (N, ADR), split at every ';' that no backslash escapes.
QStringList components(QStringView value)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\')
            ++i;
        else if (value[i] == u';') {
            parts.append(unescape(value.sliced(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(unescape(value.sliced(std::min(start, value.size()))));
    return parts;
}

// Nothing but spaces: what a contact's field would be trimmed to nothing of.
bool isBlank(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; });
}

struct Value {
    QString text; // decoded, still escaped
    int pref;
};

struct Card {
    QList<Value> fn, n, tel, email, adr, note;
};

// The most preferred value, else the first; -1 when there is none.
qsizetype preferred(const QList<Value>& values)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (best < 0 || values[i].pref < values[best].pref)
            best = i;
    return best;
}

QString readingOrder(const QString& n)
{
    const QStringList p = components(n);
    QStringList words;
    // family; given; additional; prefix; suffix
    for (const int i : { 3, 1, 2, 0, 4 }) {
        const QString word = p.value(i).trimmed();
        if (!word.isEmpty())
            words.append(word);
    }
    return words.join(u' ');
}

QString address(const QString& adr)
{
    // post office box; extended address; street; locality; region; postal code; country
    const QStringList p = components(adr);
    QStringList lines;
    for (const int i : { 2, 1, 0 })
        if (!isBlank(p.value(i)))
            lines.append(p.value(i));
    QString place = QStringList { p.value(5).trimmed(), p.value(3).trimmed() }.join(u' ').trimmed();
    const QString region = p.value(4).trimmed();
    if (!region.isEmpty())
        place = place.isEmpty() ? region : place + u" - "_s + region;
    if (!place.isEmpty())
        lines.append(place);
    if (const QString country = p.value(6).trimmed(); !country.isEmpty())
        lines.append(country);
    return lines.join(u"\r\n"_s);
}

VCard::Contact toContact(const Card& card)
{
    VCard::Contact c;
    // A name is empty by the rule the contacts file has for one.
    for (const Value& fn : card.fn) {
        c.nome = unescape(fn.text);
        if (!storedName(c.nome).isEmpty())
            break;
    }
    if (storedName(c.nome).isEmpty())
        c.nome = card.n.isEmpty() ? QString() : readingOrder(card.n.first().text);

    // The preferred value goes to its field, the others to the complement.
    const auto pick = [](const QList<Value>& values, QString* chosen) {
        QStringList others;
        const qsizetype best = preferred(values);
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i == best)
                *chosen = unescape(values[i].text);
            else
                others.append(unescape(values[i].text));
        }
        return others;
    };
    const QStringList phones = pick(card.tel, &c.fone);
    const QStringList mails = pick(card.email, &c.mail);

    QList<Value> addresses;
    for (const Value& adr : card.adr)
        if (!address(adr.text).isEmpty())
            addresses.append(adr);
    if (const qsizetype best = preferred(addresses); best >= 0)
        c.endereco = address(addresses[best].text);

    QStringList notes;
    for (const Value& note : card.note)
        notes.append(unescape(note.text));
    c.complemento = (notes + phones + mails).join(u"\r\n"_s);
    return c;
}

class Reader {
public:
    QList<VCard::Contact> contacts;
    // The file was UTF-16 and is read as UTF-8: a CHARSET no longer says what plain values are.
    bool transcoded = false;

    void physical(QByteArrayView line)
    {
        m_unfolder.feed(
            line, [this](QByteArrayView l, qsizetype colon, bool tooLong) { content(l, colon, tooLong); });
    }
    void finish()
    {
        m_unfolder.finish(
            [this](QByteArrayView l, qsizetype colon, bool tooLong) { content(l, colon, tooLong); });
    }

private:
    void content(QByteArrayView line, qsizetype colon, bool tooLong)
    {
        if (tooLong)
            m_damaged = true;
        if (colon < 0)
            return; // not a content line
        const Header h = parseHeader(line.first(colon));
        const QByteArray name = h.name.toByteArray().toUpper();
        const QByteArrayView raw = line.sliced(colon + 1);
        const bool agentOpen = std::exchange(m_agentOpen, false);
        if (name == "BEGIN" && raw.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0) {
            // A 2.1 AGENT holds a whole card of its own; any other BEGIN inside a card means that
            // card never ended (a file cut short, then another appended): it is dropped.
            if (m_depth > 0 && agentOpen) {
                ++m_depth;
                return;
            }
            m_depth = 1;
            m_card = Card();
            m_damaged = false;
            m_cardSize = 0;
            m_unfolder.keepFoldSpace = false;
            return;
        }
        if (name == "END" && raw.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0) {
            if (m_depth > 0 && --m_depth == 0 && !m_damaged)
                contacts.append(toContact(m_card));
            return;
        }
        if (m_depth != 1)
            return;
        if (name == "VERSION") {
            m_unfolder.keepFoldSpace = raw.trimmed().startsWith("2.");
            return;
        }
        if (name == "AGENT") {
            m_agentOpen = raw.trimmed().isEmpty();
            return;
        }
        QList<Value>* values = name == "FN" ? &m_card.fn
            : name == "N"                   ? &m_card.n
            : name == "TEL"                 ? &m_card.tel
            : name == "EMAIL"               ? &m_card.email
            : name == "ADR"                 ? &m_card.adr
            : name == "NOTE"                ? &m_card.note
                                            : nullptr;
        if (!values)
            return;
        m_cardSize += raw.size();
        m_damaged = m_damaged || m_cardSize > CardLimit;
        if (m_damaged)
            return;
        QString text = h.encoding == Encoding::QuotedPrintable ? toText(decodeQuotedPrintable(raw), h.charset)
            : h.encoding == Encoding::Base64 ? toText(QByteArray::fromBase64(raw.toByteArray()), h.charset)
                                             : toText(raw, transcoded ? QByteArrayView() : h.charset);
        // vCard 4.0 gives a phone as a tel: URI (VALUE=uri): the number is what follows the scheme.
        if (name == "TEL" && text.startsWith(u"tel:"_s, Qt::CaseInsensitive))
            text.remove(0, 4);
        // A property present but empty is no value (TEL;CELL: on a card that has no mobile).
        if (!isBlank(text))
            values->append({ text, h.pref });
    }

    Unfolder m_unfolder;
    Card m_card;
    bool m_damaged = false; // a line over its limit, or more text than a contact holds
    qsizetype m_cardSize = 0;
    int m_depth = 0;
    bool m_agentOpen = false;
};

// ---- Writing ----

constexpr qsizetype FoldOctets = 75;

// Escaped as a text value: backslash, and ',' and ';' where they would separate values; every line
// break (CR LF, a lone CR or LF, and "¤" in the multi-line fields) as \n. Other control characters
// but tab are no text and are left out.
QString escaped(QStringView value, bool multiline, bool separators = true)
{
    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\r' || c == u'\n' || (multiline && c == QChar(MarcaQuebra))) {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            out.append(u"\\n"_s);
        } else if (c == u'\\' || (separators && (c == u',' || c == u';'))) {
            out.append(u'\\').append(c);
        } else if (c.unicode() >= 0x20 || c == u'\t') {
            out.append(c);
        }
    }
    return out;
}

// A content line in UTF-8, folded so that no line passes 75 octets, never inside a character.
void appendLine(QByteArray& out, const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    qsizetype pos = 0;
    qsizetype room = FoldOctets;
    while (bytes.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos + 1 && (uchar(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(bytes.constData() + pos, cut - pos).append("\r\n ");
        pos = cut;
        room = FoldOctets - 1; // the leading space counts
    }
    out.append(bytes.constData() + pos, bytes.size() - pos).append("\r\n");
}

QString revision(const QString& date)
{
    static const QRegularExpression ddmmyyyy(u"^(\\d\\d)\\D(\\d\\d)\\D(\\d\\d\\d\\d)$"_s);
    const QRegularExpressionMatch m = ddmmyyyy.match(date);
    const QDate d
        = m.hasMatch() ? QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt()) : QDate();
    return d.isValid() ? d.toString(u"yyyy-MM-dd"_s) : QString();
}

} // namespace

namespace VCard {

QList<Contact> read(QByteArrayView bytes)
{
    Reader reader;
    // Some address books save UTF-16: with its byte-order mark, either order, it is read as UTF-8.
    QByteArray utf8;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes[0] == '\xFF' ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        utf8 = QString(decoder.decode(bytes)).toUtf8();
        bytes = utf8;
        reader.transcoded = true;
    }
    if (bytes.startsWith(StoreText::Utf8Bom))
        bytes = bytes.sliced(StoreText::Utf8Bom.size());
    StoreText::LineSplitter lines; // CR LF, a lone LF and a lone CR all end a line
    const auto onLine = [&](QByteArrayView line) { reader.physical(line); };
    lines.feed(bytes, onLine);
    lines.finish(onLine);
    reader.finish();
    return reader.contacts;
}

QByteArray write(const ContactRecord& r)
{
    QByteArray out("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    appendLine(out, u"FN:"_s + escaped(r.nome, false));
    appendLine(out, u"N:;"_s + escaped(r.nome, false) + u";;;"_s);
    // A phone number is no text value: a ',' in it is a dialling pause, not a list.
    if (!r.fone.isEmpty()) {
        QString fone = escaped(r.fone, false, false);
        // A phone that reads "tel:..." would lose that as a URI's scheme: its colon is escaped.
        if (fone.startsWith(u"tel:"_s, Qt::CaseInsensitive))
            fone.insert(3, u'\\');
        appendLine(out, u"TEL:"_s + fone);
    }
    if (!r.mail.isEmpty())
        appendLine(out, u"EMAIL:"_s + escaped(r.mail, false));
    if (!r.endereco.isEmpty()) {
        appendLine(out, u"ADR:;;"_s + escaped(r.endereco, true) + u";;;;"_s);
        appendLine(out, u"LABEL:"_s + escaped(r.endereco, true));
    }
    if (!r.complemento.isEmpty())
        appendLine(out, u"NOTE:"_s + escaped(r.complemento, true));
    if (const QString rev = revision(r.data); !rev.isEmpty())
        appendLine(out, u"REV:"_s + rev);
    out.append("END:VCARD\r\n");
    return out;
}

} // namespace VCard
