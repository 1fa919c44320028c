#include "contactrecord.h"

#include "cp1252.h"

namespace {

bool isDroppedControl(char16_t c)
{
    if (c == u'\t')
        return false;
    if (c < 0x20 || c == 0x7F)
        return true;
    // C1 controls, except the five bytes Windows-1252 leaves undefined: those are the file's
    // own bytes, read back as these characters, and must survive an update.
    if (c >= 0x80 && c <= 0x9F)
        return Cp1252::byteFor(c) < 0;
    return false;
}

QString cleanField(const QString& text, bool multiline)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            out.append(multiline ? QChar(MarcaQuebra) : QChar(u' '));
        } else if (c == SeparadorCampo || c == u'"' || isDroppedControl(c)) {
            continue;
        } else if (QChar::isSurrogate(c)) {
            // Half a character no file can hold: stored as "?", "A\uD800" and "A\uDBFF" would
            // be one name. A whole pair is kept.
            if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
                out.append(QChar(c));
                out.append(text[++i]);
            }
        } else {
            out.append(QChar(c));
        }
    }
    qsizetype first = 0;
    qsizetype last = out.size();
    while (first < last && out[first] == u' ')
        ++first;
    while (last > first && out[last - 1] == u' ')
        --last;
    return out.sliced(first, last - first);
}

} // namespace

ContactRecord ContactRecord::fromLine(QStringView line)
{
    const QStringList fields = line.toString().split(SeparadorCampo);
    return ContactRecord { fields.value(0), fields.value(1), fields.value(2), fields.value(3),
        fields.value(4), fields.value(5) };
}

QStringView recordName(QStringView line)
{
    const qsizetype sep = line.indexOf(QChar(SeparadorCampo));
    return sep < 0 ? line : line.first(sep);
}

QString formatRecordDate(const QDate& date, const QLocale& locale)
{
    QChar separator = u'/';
    for (const QChar c : locale.dateFormat(QLocale::ShortFormat)) {
        if (c.isLetter())
            continue;
        if (c.isPunct() || c.isSymbol())
            separator = c;
        break;
    }
    const auto number
        = [](int value, int width) { return QString::number(value).rightJustified(width, u'0'); };
    return number(date.day(), 2) + separator + number(date.month(), 2) + separator + number(date.year(), 4);
}

QString formatRecord(const QString& nome, const QString& fone, const QString& mail, const QString& endereco,
    const QString& complemento, const QString& data)
{
    const QChar sep(SeparadorCampo);
    return cleanField(nome, false) + sep + cleanField(fone, false) + sep + cleanField(mail, false) + sep
        + cleanField(endereco, true) + sep + cleanField(complemento, true) + sep + data;
}

QString storedName(const QString& name)
{
    return cleanField(name, false);
}

QString nameKey(const QString& name)
{
    return QLocale().toUpper(storedName(name));
}
