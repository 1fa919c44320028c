#pragma once

#include <QString>
#include <QtGlobal>

// The characters a field accepts from the keyboard: digits, Latin letters, the accented
// letters of Portuguese and its neighbours, a few marks, space, CR and LF. The double quote,
// "§" and "¤" stay out because the contacts file gives them roles of their own.
extern const QString CharsPermitidos;

// Longest text of each field, in characters, a line break counting as its CR and its LF.
namespace LimiteCampo {
inline constexpr qint16 Nome = 50;
inline constexpr qint16 Fone = 35;
inline constexpr qint16 Mail = 50;
inline constexpr qint16 End = 100;
inline constexpr qint16 Comp = 200;
} // namespace LimiteCampo

// The key filter: the decimal text of Key when the key may reach a field (backspace, or a
// character of CharsPermitidos), "0" when it is swallowed.
QString LimitaChars(const qint16& Key);

// Limite minus the number of characters of Texto that belong to CharsPermitidos.
qint16 CharsRestantes(QString Texto, qint16 Limite);
