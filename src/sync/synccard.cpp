#include "synccard.h"

#include "vcard.h"

#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace {

// One content line of a card: where its physical lines stand in the text (line ends included),
// and its parts once unfolded.
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray name; // upper case, without its group
    QByteArray head; // group and name as written
    QList<QByteArray> params; // as written
    QByteArray value; // unfolded, still encoded
    int pref = INT_MAX;
};

struct Card {
    QList<Line> lines; // the first card's lines between BEGIN and END
    qsizetype endLine = -1; // where its END line begins
    QByteArray version = "3.0";
    QByteArray eol = "\r\n";
    bool valid = false;
};

QList<QByteArray> splitOutsideQuotes(QByteArrayView text, char separator)
{
    QList<QByteArray> parts { QByteArray() };
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == separator && !quoted)
            parts.append(QByteArray());
        else
            parts.last().append(c);
    }
    return parts;
}

qsizetype colonOutsideQuotes(QByteArrayView text)
{
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

bool isQuotedPrintable(const QList<QByteArray>& params)
{
    for (const QByteArray& p : params) {
        const QByteArray u = p.trimmed().toUpper();
        if (u == "QUOTED-PRINTABLE" || u == "ENCODING=QUOTED-PRINTABLE")
            return true;
    }
    return false;
}

// Preference as the vCard reader ranks it: PREF=n, TYPE=pref and 2.1's bare PREF.
int preference(const QList<QByteArray>& params)
{
    int pref = INT_MAX;
    for (const QByteArray& p : params) {
        const qsizetype eq = p.indexOf('=');
        const QByteArray key = eq < 0 ? QByteArray("TYPE") : p.first(eq).trimmed().toUpper();
        const QByteArray value = (eq < 0 ? p : p.sliced(eq + 1)).trimmed().toUpper();
        if (key == "PREF") {
            bool ok = false;
            const int n = value.toInt(&ok);
            pref = std::min(pref, ok ? n : 1);
        } else if (key == "TYPE") {
            for (const QByteArray& type : value.split(','))
                if (type.trimmed() == "PREF")
                    pref = std::min(pref, 1);
        }
    }
    return pref;
}

Line parseLine(QByteArrayView logical)
{
    Line line;
    const qsizetype colon = colonOutsideQuotes(logical);
    if (colon < 0)
        return line;
    QList<QByteArray> parts = splitOutsideQuotes(logical.first(colon), ';');
    line.head = parts.takeFirst().trimmed();
    line.name = line.head.sliced(line.head.lastIndexOf('.') + 1).toUpper();
    line.params = parts;
    line.value = logical.sliced(colon + 1).toByteArray();
    line.pref = preference(parts);
    return line;
}

Card parse(QByteArrayView text)
{
    Card card;
    if (text.contains("\n") && !text.contains("\r\n"))
        card.eol = "\n";
    bool inside = false;
    QByteArray logical;
    qsizetype logicalBegin = 0;
    qsizetype pos = 0;
    const auto finish = [&](qsizetype end) {
        if (!inside || logical.isEmpty())
            return;
        Line line = parseLine(logical);
        line.begin = logicalBegin;
        line.end = end;
        if (!line.name.isEmpty())
            card.lines.append(line);
        if (line.name == "VERSION")
            card.version = line.value.trimmed();
    };
    while (pos < text.size() && !card.valid) {
        qsizetype nl = text.indexOf('\n', pos);
        const qsizetype next = nl < 0 ? text.size() : nl + 1;
        QByteArrayView physical = text.sliced(pos, next - pos);
        while (physical.endsWith('\n') || physical.endsWith('\r'))
            physical.chop(1);
        const bool v21 = card.version.startsWith("2.");
        const bool fold = !physical.isEmpty() && (physical.front() == ' ' || physical.front() == '\t');
        const bool softBreak = logical.endsWith('=') && isQuotedPrintable(parseLine(logical).params);
        if (inside && !logical.isEmpty() && (fold || softBreak)) {
            if (softBreak && !fold) {
                logical.chop(1);
                logical.append(physical);
            } else {
                logical.append(v21 ? physical : physical.sliced(1));
            }
        } else {
            finish(pos);
            const QByteArray upper = physical.trimmed().toByteArray().toUpper();
            if (!inside && upper == "BEGIN:VCARD") {
                inside = true;
            } else if (inside && upper == "END:VCARD") {
                card.endLine = pos;
                card.valid = true;
            }
            logical = inside && !card.valid && upper != "BEGIN:VCARD" ? physical.toByteArray() : QByteArray();
            logicalBegin = pos;
        }
        pos = next;
    }
    return card;
}

bool isBlankValue(const Line& line)
{
    return line.value.trimmed().isEmpty();
}

// The preferred line of a property with a value, else the first; -1 when none.
qsizetype preferredLine(const Card& card, QByteArrayView name)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < card.lines.size(); ++i) {
        const Line& l = card.lines[i];
        if (l.name != name || isBlankValue(l))
            continue;
        if (name == "ADR" && QByteArray(l.value).replace(';', "").trimmed().isEmpty())
            continue;
        if (best < 0 || l.pref < card.lines[best].pref)
            best = i;
    }
    return best;
}

QString multiline(const QString& stored)
{
    return QString(stored).replace(QChar(MarcaQuebra), u"\r\n"_s);
}

bool isVersion4(const Card& card)
{
    return card.version.startsWith('4');
}

// A text value escaped for 3.0 and 4.0: backslash, line breaks, and ';' (and ',' where asked).
QString escapeText(const QString& value, bool commas)
{
    QString out;
    for (const QChar c : value) {
        if (c == QChar(MarcaQuebra))
            out.append(u"\\n"_s);
        else if (c == u'\\' || c == u';' || (commas && c == u','))
            out.append(u'\\').append(c);
        else
            out.append(c);
    }
    return out;
}

QByteArray quotedPrintable(const QByteArray& bytes)
{
    QByteArray out;
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        if (c >= 33 && c <= 126 && c != '=')
            out.append(ch);
        else if (c == ' ')
            out.append(' ');
        else
            out.append('=').append(QByteArray::number(c, 16).rightJustified(2, '0').toUpper());
    }
    if (out.endsWith(' '))
        out.replace(out.size() - 1, 1, "=20");
    return out;
}

// Folded at 75 octets, never inside a character.
QByteArray folded(const QByteArray& line, const QByteArray& eol)
{
    QByteArray out;
    qsizetype pos = 0;
    qsizetype room = 75;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos + 1 && (uchar(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.constData() + pos, cut - pos).append(eol).append(' ');
        pos = cut;
        room = 74;
    }
    return out.append(line.constData() + pos, line.size() - pos).append(eol);
}

enum class Kind { Text, Phone, Structured };

// A whole content line for a value: the old line's group, name and parameters (without those
// that described the old value's encoding), the value written as the card's version wants it.
QByteArray contentLine(
    const Card& card, const Line* old, const QByteArray& head, const QString& text, Kind kind)
{
    QByteArray line = old ? old->head : head;
    bool uri = false;
    if (old) {
        for (const QByteArray& p : old->params) {
            const QByteArray u = p.trimmed().toUpper();
            if (u.startsWith("ENCODING=") || u.startsWith("CHARSET=") || u == "QUOTED-PRINTABLE"
                || u == "BASE64" || u == "8BIT")
                continue;
            uri = uri || u == "VALUE=URI";
            line.append(';').append(p);
        }
    } else if (kind == Kind::Phone && isVersion4(card)) {
        line.append(";VALUE=text");
    }
    if (card.version.startsWith("2.")) {
        // 2.1 has no escapes for line breaks: a value that holds one, or more than ASCII, goes
        // quoted-printable in UTF-8.
        const QString value
            = kind == Kind::Structured ? QString(text).replace(u"\\n"_s, u"\r\n"_s) : multiline(text);
        const QByteArray bytes = value.toUtf8();
        const bool plain = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 32 && c < 127; });
        if (plain)
            return line.append(':').append(bytes).append(card.eol);
        return line.append(";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:")
            .append(quotedPrintable(bytes))
            .append(card.eol);
    }
    QString value;
    if (kind == Kind::Phone && uri) {
        value = u"tel:"_s + text;
    } else if (kind == Kind::Phone) {
        value = escapeText(text, false);
        // A phone that reads "tel:..." would lose that as a URI's scheme: its colon is escaped.
        if (value.startsWith(u"tel:"_s, Qt::CaseInsensitive))
            value.insert(3, u'\\');
    } else if (kind == Kind::Structured) {
        value = text; // the caller escaped its components
    } else {
        value = escapeText(text, true);
    }
    return folded(line.append(':').append(value.toUtf8()), card.eol);
}

struct Edit {
    qsizetype begin;
    qsizetype end;
    QByteArray text;
};

} // namespace

namespace SyncCard {

Fields fromRecord(const ContactRecord& r)
{
    return { r.nome, r.fone, r.mail, r.endereco, r.complemento };
}

QString toRecordLine(const Fields& f, const QString& date)
{
    return formatRecord(f.nome, f.fone, f.mail, multiline(f.endereco), multiline(f.complemento), date);
}

std::optional<Fields> read(QByteArrayView text)
{
    const Card card = parse(text);
    if (!card.valid)
        return std::nullopt;
    // Only the mapped properties go to the reader: the others (a second phone, say) would land in
    // the complement and come back to the server as a note.
    QByteArray mapped = "BEGIN:VCARD\r\nVERSION:" + card.version + "\r\n";
    const auto add = [&](qsizetype i) {
        if (i >= 0)
            mapped.append(text.sliced(card.lines[i].begin, card.lines[i].end - card.lines[i].begin))
                .append("\r\n");
    };
    bool n = false;
    for (qsizetype i = 0; i < card.lines.size(); ++i) {
        const QByteArray& name = card.lines[i].name;
        if (name == "FN" || name == "NOTE" || (name == "N" && !std::exchange(n, true)))
            add(i);
    }
    add(preferredLine(card, "TEL"));
    add(preferredLine(card, "EMAIL"));
    add(preferredLine(card, "ADR"));
    mapped.append("END:VCARD\r\n");
    const QList<VCard::Contact> contacts = VCard::read(mapped);
    if (contacts.isEmpty())
        return std::nullopt;
    const VCard::Contact& c = contacts.first();
    const ContactRecord r
        = ContactRecord::fromLine(formatRecord(c.nome, c.fone, c.mail, c.endereco, c.complemento, {}));
    if (r.nome.isEmpty())
        return std::nullopt;
    return fromRecord(r);
}

QString uid(QByteArrayView text)
{
    for (const Line& l : parse(text).lines)
        if (l.name == "UID")
            return QString::fromUtf8(l.value.trimmed());
    return {};
}

QByteArray create(const Fields& f, const QString& uid)
{
    QByteArray card = VCard::write(ContactRecord::fromLine(toRecordLine(f, {})));
    const qsizetype afterVersion = card.indexOf("VERSION:3.0\r\n") + 13;
    card.insert(afterVersion, "UID:" + uid.toUtf8() + "\r\n");
    return card;
}

QByteArray patch(QByteArrayView text, const Fields& from, const Fields& to)
{
    const Card card = parse(text);
    if (!card.valid)
        return text.toByteArray();
    QList<Edit> edits;
    const auto lineAt = [&](qsizetype i) -> const Line* { return i >= 0 ? &card.lines[i] : nullptr; };
    // The line at i (or a new one before END) set to value, or removed where value is empty.
    const auto set = [&](qsizetype i, const QByteArray& head, const QString& value, Kind kind) {
        const Line* old = lineAt(i);
        if (value.isEmpty() && !old)
            return;
        const QByteArray line = value.isEmpty() ? QByteArray() : contentLine(card, old, head, value, kind);
        if (old)
            edits.append({ old->begin, old->end, line });
        else
            edits.append({ card.endLine, card.endLine, line });
    };
    const auto firstOf = [&](QByteArrayView name) -> qsizetype {
        for (qsizetype i = 0; i < card.lines.size(); ++i)
            if (card.lines[i].name == name)
                return i;
        return -1;
    };

    if (from.nome != to.nome) {
        qsizetype fn = preferredLine(card, "FN");
        set(fn < 0 ? firstOf("FN") : fn, "FN", to.nome, Kind::Text);
        if (const qsizetype n = firstOf("N"); n >= 0)
            set(n, "N", u";"_s + escapeText(to.nome, true) + u";;;"_s, Kind::Structured);
    }
    if (from.fone != to.fone)
        set(preferredLine(card, "TEL"), "TEL", to.fone, Kind::Phone);
    if (from.mail != to.mail)
        set(preferredLine(card, "EMAIL"), "EMAIL", to.mail, Kind::Text);
    if (from.endereco != to.endereco) {
        const QString adr
            = to.endereco.isEmpty() ? QString() : u";;"_s + escapeText(to.endereco, true) + u";;;;"_s;
        set(preferredLine(card, "ADR"), "ADR", adr, Kind::Structured);
    }
    if (from.complemento != to.complemento) {
        bool first = true;
        for (qsizetype i = 0; i < card.lines.size(); ++i) {
            if (card.lines[i].name != "NOTE")
                continue;
            if (std::exchange(first, false))
                set(i, "NOTE", to.complemento, Kind::Text);
            else
                edits.append({ card.lines[i].begin, card.lines[i].end, QByteArray() });
        }
        if (first)
            set(-1, "NOTE", to.complemento, Kind::Text);
    }

    std::stable_sort(
        edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    QByteArray out;
    qsizetype pos = 0;
    for (const Edit& e : edits) {
        out.append(text.sliced(pos, e.begin - pos)).append(e.text);
        pos = e.end;
    }
    return out.append(text.sliced(pos));
}

} // namespace SyncCard
