#pragma once

#include "contactrecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// A contact as a card on the server: the five fields the program keeps, read from and written
// into the server's own vCard text. Only those properties are ever touched: a photo, a birthday,
// a second phone, groups and X- properties stay as the server had them.
namespace SyncCard {

// The five fields as a record stores them (cleaned as formatRecord() cleans, line breaks "¤"),
// so that a card and a record compare field by field whatever the server did to the text.
struct Fields {
    QString nome;
    QString fone;
    QString mail;
    QString endereco;
    QString complemento;

    friend bool operator==(const Fields&, const Fields&) = default;
};

Fields fromRecord(const ContactRecord& record);
// The record line for the fields, dated as any update is.
QString toRecordLine(const Fields& fields, const QString& date);

// The fields of a card: FN (or N), the preferred or first TEL and EMAIL, the preferred or first
// address, the NOTEs as the complement. nullopt when the text is no card or has no name.
std::optional<Fields> read(QByteArrayView card);

// The UID a card gives, empty where none.
QString uid(QByteArrayView card);

// A new card for the fields: vCard 3.0 in UTF-8 with the given UID.
QByteArray create(const Fields& fields, const QString& uid);

// The card with the properties of each field that differs between from and to rewritten to the
// value in to (removed where it is empty, added where the card had none). Every other line is
// kept byte for byte.
QByteArray patch(QByteArrayView card, const Fields& from, const Fields& to);

} // namespace SyncCard
