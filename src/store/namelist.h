#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <vector>

// The names of a store's records in file order, as the file's bytes. The name list of a large
// store is read without holding the whole file, or a string per name, in memory.
class NameList {
public:
    qsizetype size() const { return qsizetype(m_names.size()); }
    QString at(qsizetype i) const;
    // At most the first maxChars UTF-16 units of name i, a surrogate pair never cut in two:
    // only those bytes are decoded, however long the name.
    QString left(qsizetype i, qsizetype maxChars) const;
    // Decodes name i into out, reusing its buffer.
    void read(qsizetype i, QString& out) const;
    QStringList toStringList() const;

    // For the reader: the name of one record line, while the file's encoding may not be known
    // yet. Once the file has shown bytes that UTF-8 cannot hold, only the Windows-1252 name is kept.
    void add(QByteArrayView recordLine, bool mayBeUtf8);
    void setUtf8(bool utf8) { m_utf8 = utf8; }
    bool isUtf8() const { return m_utf8; }

    // Whether name i reads as other's name j: the same bytes in the same encoding.
    bool sameName(qsizetype i, const NameList& other, qsizetype j) const
    {
        return m_utf8 == other.m_utf8 && bytes(i) == other.bytes(j);
    }

private:
    QByteArrayView bytes(qsizetype i) const;

    struct Entry {
        qsizetype start;
        // Where the name ends depends on the encoding: "§" is A7 in Windows-1252, C2 A7 in UTF-8.
        int cp1252Length;
        int utf8Length;
    };
    QByteArray m_bytes;
    std::vector<Entry> m_names;
    bool m_utf8 = false;
};
