#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// The byte layer of the contacts file: how its bytes become text and lines, and how the
// record lines become bytes again.
namespace StoreText {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF) and hold at least one multi-byte sequence. Plain ASCII is not "UTF-8" here: it
// reads the same either way.
bool isUtf8WithMultibyte(QByteArrayView bytes);

// Files are Windows-1252, but people edit them with today's editors: a UTF-8 byte-order mark,
// or well-formed UTF-8 with at least one multi-byte sequence, reads as UTF-8.
QString decodeFile(QByteArrayView bytes);

// Lines as the file holds them: CR LF, a lone LF and a lone CR each end a line; the
// terminator is not part of the line, and a last line without one is still a line.
QStringList splitLines(QStringView text);

// The record lines of a file's text: double quotes removed (the whole file is one quoted
// string), lines that are empty or hold only spaces dropped, file order kept.
QStringList recordLines(QStringView text);

// The canonical bytes of a store holding these record lines, in Windows-1252:
// '"', every line followed by CR LF, one more CR LF, '"', CR LF.
// No lines gives the empty store, 22 0D 0A 22 0D 0A.
QByteArray encodeStore(const QStringList& lines);

bool isBlank(QStringView line);

} // namespace StoreText
