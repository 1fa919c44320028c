#pragma once

#include "contactrecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// vCard files (.vcf), the format every other address book reads and writes.
//
// The reader takes what phones, web mail and desktop address books export: versions 2.1, 3.0 and
// 4.0, folded lines, QUOTED-PRINTABLE with soft line breaks, BASE64 text, CHARSET= (UTF-8,
// ISO-8859-1, Windows-1252; others as the system knows them), escapes, "item1."-style groups,
// several cards per file, CR LF or LF line ends, a UTF-8 byte-order mark, UTF-16 with its mark. A
// card is read only when its END is there: a file cut short does not bring in a half contact. A
// card with a line longer than any contact's field (64 KiB; 8 MiB for a photo, logo, sound or key)
// or more text than a contact holds is damaged, and passed over like a card without its END.
//
// The writer makes vCard 3.0 in UTF-8 with CR LF line ends, folded at 75 octets, the version
// phones and web mail all read.
namespace VCard {

// One card as the five fields of a contact, line breaks as CR LF, as the entry fields hold them.
// The name may be empty (a card without FN or N): the caller skips it.
struct Contact {
    QString nome;
    QString fone;
    QString mail;
    QString endereco;
    QString complemento;

    friend bool operator==(const Contact&, const Contact&) = default;
};

// Every complete card in the bytes, in file order. Anything that is not a card is passed over.
//   Name: FN, or N in reading order (prefix, given, additional, family, suffix) when FN is
//         missing or blank.
//   Phone, e-mail: the preferred TEL or EMAIL (PREF, PREF=n, TYPE=pref), else the first; a tel:
//         URI gives its number.
//   Address: the preferred ADR, else the first: street, extended address and post office box,
//         then "postal code locality - region", then country, one per line, empty parts left out.
//   Complement: the NOTEs, then the other phones and e-mails, one per line.
QList<Contact> read(QByteArrayView bytes);

// One card for a record: FN, N (the whole name as the given name: the file does not say which part
// is the family name), TEL, EMAIL, ADR (the address lines as street) and LABEL, NOTE, and REV from
// the record's date. An empty field gives no property.
QByteArray write(const ContactRecord& record);

} // namespace VCard
