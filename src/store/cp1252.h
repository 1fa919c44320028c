#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1252, the single-byte code page of every contacts file people already have.
// Our own table: Qt's codec for it is not in every build, and it would turn an unmappable
// character into 0x1A without a word. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) map to the C1 characters of the same number and back, so a round
// trip never loses a byte of an existing file.
namespace Cp1252 {

QString decode(QByteArrayView bytes);

// The character of one byte.
char16_t decodeByte(char byte);

// Characters the code page cannot hold become '?' (one per character, surrogate pairs included).
QByteArray encode(QStringView text);

// The same, appended to out, so a whole file is built without a buffer per line.
void appendEncoded(QStringView text, QByteArray& out);

// The byte for a character, or -1 when the code page cannot hold it.
int byteFor(char16_t c);

// Whether the code page holds every character of text.
bool canEncode(QStringView text);

} // namespace Cp1252
