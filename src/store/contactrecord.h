#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

// The two marker characters of a record line: bytes A7 and A4 in the file.
inline constexpr char16_t SeparadorCampo = u'§';
inline constexpr char16_t MarcaQuebra = u'¤';

// One contact: one line of the contacts file, six fields joined by "§". The address and
// the complement carry their line breaks as "¤".
struct ContactRecord {
    QString nome;
    QString fone;
    QString mail;
    QString endereco;
    QString complemento;
    QString data;

    // Fields by position; a line with fewer than six leaves the rest empty, and fields
    // beyond the sixth are not part of the contact.
    static ContactRecord fromLine(QStringView line);

    friend bool operator==(const ContactRecord&, const ContactRecord&) = default;
};

// A name as a record stores it, cleaned and trimmed as formatRecord() does: the one rule by
// which adding, updating and deleting tell an empty name, and the duplicate check compares.
QString storedName(const QString& name);

// Two names are one contact when these are equal: the names as stored, upper-cased by the user's
// locale (josé is JOSÉ). Adding and importing refuse a name whose key is already taken.
QString nameKey(const QString& name);

// The name of a record line: everything up to its first "§", or the whole line.
QStringView recordName(QStringView line);

// Today's date as a record stores it: dd, mm, yyyy joined by the locale's date separator,
// "/" where the locale has none.
QString formatRecordDate(const QDate& date, const QLocale& locale = QLocale());

// The record line (without line terminator) for the five fields as typed or pasted.
// Pasting can bring what the format cannot carry, so each field is cleaned first:
// "§" and double quotes go; line breaks (CR LF, lone CR, lone LF) become "¤" in the
// address and the complement and one space elsewhere; other control characters but tab
// go, and so does half a surrogate pair. Then each field is trimmed of leading and trailing
// spaces (U+0020 only). Characters a Windows-1252 file cannot hold are left to the store,
// which becomes UTF-8 to keep them.
QString formatRecord(const QString& nome, const QString& fone, const QString& mail, const QString& endereco,
    const QString& complemento, const QString& data);
