#include "namelist.h"

#include "cp1252.h"
#include "storetext.h"

#include <algorithm>

void NameList::add(QByteArrayView line, bool mayBeUtf8)
{
    const qsizetype cp1252 = line.indexOf(char(0xA7));
    const int cp1252Length = int(cp1252 < 0 ? line.size() : cp1252);
    int utf8Length = cp1252Length;
    if (mayBeUtf8) {
        const qsizetype utf8 = line.indexOf(QByteArrayView("\xC2\xA7"));
        utf8Length = int(utf8 < 0 ? line.size() : utf8);
    }
    m_names.push_back(Entry { m_bytes.size(), cp1252Length, utf8Length });
    m_bytes.append(line.first(std::max(cp1252Length, utf8Length)));
}

QByteArrayView NameList::bytes(qsizetype i) const
{
    const Entry& e = m_names[i];
    return QByteArrayView(m_bytes).sliced(e.start, m_utf8 ? e.utf8Length : e.cp1252Length);
}

QString NameList::at(qsizetype i) const
{
    return m_utf8 ? StoreText::decodeUtf8(bytes(i)) : Cp1252::decode(bytes(i));
}

QString NameList::left(qsizetype i, qsizetype maxChars) const
{
    QByteArrayView b = bytes(i);
    if (!m_utf8)
        return Cp1252::decode(b.first(std::min(b.size(), maxChars)));
    // A character takes at most four bytes: these hold maxChars whole characters at least.
    QString out = StoreText::decodeUtf8(b.first(std::min(b.size(), maxChars * 4)));
    if (out.size() > maxChars)
        out.truncate(out.at(maxChars - 1).isHighSurrogate() ? maxChars - 1 : maxChars);
    return out;
}

void NameList::read(qsizetype i, QString& out) const
{
    const QByteArrayView b = bytes(i);
    if (m_utf8) {
        StoreText::decodeUtf8(b, out);
        return;
    }
    out.resize(b.size());
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    for (const char c : b)
        *p++ = Cp1252::decodeByte(c);
}

QStringList NameList::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(at(i));
    return out;
}
