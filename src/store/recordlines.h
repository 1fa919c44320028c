#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <deque>

// The record lines of one read of the contacts file, kept as the file's own bytes. A change
// copies every record it does not touch byte for byte, so a large store is rewritten without
// decoding and encoding all of it, and nothing of an untouched record can change.
//
// Reading: a UTF-8 byte-order mark, or well-formed UTF-8 with a multi-byte sequence, makes the
// file UTF-8; otherwise it is Windows-1252. CR LF, a lone LF and a lone CR each end a line;
// double quotes are removed (the whole file is one quoted string); lines that are then empty
// or hold only spaces are dropped. Writing is always the canonical Windows-1252 layout.
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

    // New record lines are given as text and stored in Windows-1252 ('?' for what it cannot hold).
    void append(const QString& line);
    // Every record whose name equals name exactly: replaced in place, or dropped. Returns how many.
    int replaceNamed(QStringView name, const QString& line);
    int removeNamed(QStringView name);

    // '"', every line followed by CR LF, one more CR LF, '"', CR LF; Windows-1252 bytes.
    QByteArray toStore() const;

private:
    struct Line {
        QByteArrayView bytes;
        bool fromFile; // in the file's encoding; lines added since are Windows-1252
    };
    bool isUtf8(const Line& line) const;
    QByteArrayView nameBytes(const Line& line) const;
    bool nameEquals(const Line& line, QStringView name) const;
    QByteArrayView keep(QByteArray bytes);

    QByteArray m_file;
    bool m_fileUtf8 = false;
    QList<Line> m_lines;
    // Bytes the lines point into besides the file: lines cleaned of quotes, and new lines.
    std::deque<QByteArray> m_owned;
};
