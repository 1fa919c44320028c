#pragma once

#include "storetext.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <deque>
#include <optional>

// The record lines of one read of the contacts file, kept as the file's own bytes. A change
// copies every record it does not touch byte for byte, so a large store is rewritten without
// decoding and encoding all of it, and nothing of an untouched record can change.
//
// Reading: the file is UTF-8 when its bytes (after a byte-order mark, if any) are well-formed
// UTF-8 and either the mark is there or a multi-byte sequence occurs; otherwise it is
// Windows-1252, and a mark before it is dropped. Lines end as StoreText::LineSplitter says;
// double quotes are removed (the whole file is one quoted string); lines that are then empty
// or hold only spaces are dropped. Writing is the canonical layout in the file's own encoding:
// a UTF-8 file stays UTF-8 (with its mark if it had one), every other file is Windows-1252 for as
// long as it can be. A change that brings a character Windows-1252 cannot hold, or that would
// leave bytes the reader takes for UTF-8, makes the whole store UTF-8 with a mark: written as
// Windows-1252 the first would become "?", and two names could turn into one; the second would
// read back as other characters.
class RecordLines {
public:
    RecordLines() = default;
    explicit RecordLines(QByteArray fileBytes);
    RecordLines(RecordLines&&) = default;
    RecordLines& operator=(RecordLines&&) = default;
    RecordLines(const RecordLines&) = delete;
    RecordLines& operator=(const RecordLines&) = delete;

    qsizetype size() const { return m_lines.size(); }
    QString text(qsizetype i) const;
    QString name(qsizetype i) const;
    bool nameEquals(qsizetype i, QStringView name) const;

    QStringList texts() const;

    // New record lines are given as text and stored in the file's encoding (see above).
    void append(const QString& line);
    // Every record whose name equals name exactly: replaced in place, or dropped. Returns how many.
    int replaceNamed(QStringView name, const QString& line);
    int removeNamed(QStringView name);

    bool isUtf8() const { return m_utf8; }
    // A change made this Windows-1252 store UTF-8.
    bool becameUtf8() const { return m_becameUtf8; }

    // '"', every line followed by CR LF, one more CR LF, '"', CR LF, in the file's encoding.
    QByteArray toStore() const;
    // The same bytes in pieces, each taken from where it already stands: a run of untouched
    // records is one piece of the file as read, so a change writes it without copying it first.
    // The pieces point into these lines (or into static storage), and live as long as they do.
    QList<QByteArrayView> storePieces() const;

private:
    QByteArrayView nameBytes(QByteArrayView line) const;
    bool nameEquals(QByteArrayView line, QStringView name) const;
    // name as these lines hold it, to find the lines that carry it without decoding a line; no
    // value where no line can (a character the encoding cannot hold, or the separator itself).
    std::optional<QByteArray> storedName(QStringView name) const;
    bool carriesName(QByteArrayView line, QByteArrayView stored) const;
    QString decode(QByteArrayView bytes) const;
    QByteArrayView keep(QByteArray bytes);
    QByteArrayView encodeAndKeep(const QString& line);
    void keepReadable();
    void probeLines();
    void becomeUtf8();

    QByteArray m_file;
    bool m_utf8 = false;
    bool m_bom = false; // a UTF-8 file that began with a byte-order mark keeps it
    bool m_crLfOnly = false; // its lines end at CR LF only (see StoreText::LineSplitter)
    bool m_becameUtf8 = false;
    StoreText::EncodingProbe m_probe; // whether a Windows-1252 store's bytes would read as UTF-8
    QList<QByteArrayView> m_lines;
    // Bytes the lines point into besides the file: lines cleaned of quotes, and new lines.
    std::deque<QByteArray> m_owned;
};
