#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <cstring>
#include <functional>

// The byte layer of the contacts file: how its bytes become lines, and which encoding they are in.
namespace StoreText {

inline const QByteArrayView Utf8Bom("\xEF\xBB\xBF");

// Decides, line by line, whether a file is UTF-8: it is when every byte forms well-formed
// UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) and at least one multi-byte
// sequence occurs. Plain ASCII is not "UTF-8" here: it reads the same either way. Files are
// Windows-1252, but people edit them with today's editors.
class EncodingProbe {
public:
    // Bytes that hold no partial sequence at either end: whole lines, or a whole file.
    void feed(QByteArrayView bytes);
    bool isUtf8() const { return m_wellFormed && m_multibyte; }
    bool mayBeUtf8() const { return m_wellFormed; }

private:
    bool m_wellFormed = true;
    bool m_multibyte = false;
};

// UTF-8 as it stands: a byte-order mark inside the file is a character like any other, not
// something to drop (QString::fromUtf8 would drop one at the start of each line).
QString decodeUtf8(QByteArrayView bytes);
// The same into out, reusing its buffer.
void decodeUtf8(QByteArrayView bytes, QString& out);

// The record lines of one raw line, as the reader sees them: every double quote removed (the
// whole file is one quoted string), and what is then empty or holds only spaces skipped. A
// quote removed from between a CR and a LF joins them into a line break, as reading the whole
// file as one string would. quoted tells whether the line holds a quote (see QuoteFinder);
// scratch holds the cleaned copy when there was one to remove.
template<typename OnRecord>
void forEachRecordLine(QByteArrayView rawLine, bool quoted, QByteArray& scratch, OnRecord&& onRecord);
bool isBlank(QByteArrayView line);

// Whether the lines of one buffer, taken in their order, hold a double quote. A file holds its
// quotes at its two ends, as a rule: one search through the buffer finds them, where a search of
// each line would start anew a hundred thousand times.
class QuoteFinder {
public:
    explicit QuoteFinder(QByteArrayView buffer)
        : m_begin(buffer.data())
        , m_end(buffer.data() + buffer.size())
        , m_next(find(m_begin))
    {
    }
    // Lines from outside the buffer (one begun in an earlier piece) are searched themselves.
    bool inLine(QByteArrayView line)
    {
        const std::less<const char*> before;
        if (line.isEmpty() || before(line.data(), m_begin) || before(m_end, line.data() + line.size()))
            return line.contains('"');
        if (before(m_next, line.data()))
            m_next = find(line.data());
        return before(m_next, line.data() + line.size());
    }

private:
    // The first quote from at on, or the buffer's end.
    const char* find(const char* at) const
    {
        const void* quote = at == m_end ? nullptr : std::memchr(at, '"', size_t(m_end - at));
        return quote ? static_cast<const char*>(quote) : m_end;
    }

    const char* m_begin;
    const char* m_end;
    const char* m_next; // the first quote not before the last line asked about
};
bool isBlank(QByteArrayView line);

// Whether a file ends its lines with CR LF only: it does when a CR LF stands anywhere in it.
// Every file the program writes does, and a lone LF or CR inside a record (pasted into the
// address or the complement) must not end that record there, however long the records before
// it; files an editor saved with LF or CR line ends hold no CR LF at all, and keep ending lines
// at either. Fed in pieces of any size, a CR LF torn in two included, it decides as on the
// whole file, so every reader of the file splits it alike.
class LineEndProbe {
public:
    void feed(QByteArrayView piece);
    bool crLfOnly() const { return m_crLf; }

private:
    bool m_crLf = false;
    bool m_afterCr = false;
};
bool endsLinesWithCrLf(QByteArrayView file);

// Splits a file, fed in pieces of any size, into raw lines. With crLfOnly a line ends only at
// CR LF, and a lone LF or CR is part of its line; otherwise CR LF, a lone LF and a lone CR each
// end a line. A last line without terminator is still a line (handed over by finish()).
// A view handed to onLine lives until the call returns.
class LineSplitter {
public:
    explicit LineSplitter(bool crLfOnly = false)
        : m_crLfOnly(crLfOnly)
    {
    }
    template<typename OnLine>
    void feed(QByteArrayView piece, OnLine&& onLine);
    template<typename OnLine>
    void finish(OnLine&& onLine);

private:
    template<typename OnLine>
    void feedCrLfOnly(QByteArrayView piece, OnLine&& onLine);

    bool m_crLfOnly;
    QByteArray m_pending; // a line begun in an earlier piece
    bool m_afterCr = false; // the last piece ended in CR: a LF opening the next one belongs to it
};

// The canonical bytes of a store holding these record lines (see RecordLines::toStore()).
QByteArray encodeStore(const QStringList& lines);

template<typename OnRecord>
void forEachRecordLine(QByteArrayView rawLine, bool quoted, QByteArray& scratch, OnRecord&& onRecord)
{
    if (!quoted) {
        if (!isBlank(rawLine))
            onRecord(rawLine);
        return;
    }
    scratch = rawLine.toByteArray();
    scratch.removeIf([](char c) { return c == '"'; });
    for (QByteArrayView rest(scratch);;) {
        const qsizetype crLf = rest.indexOf(QByteArrayView("\r\n"));
        const QByteArrayView line = crLf < 0 ? rest : rest.first(crLf);
        if (!isBlank(line))
            onRecord(line);
        if (crLf < 0)
            return;
        rest = rest.sliced(crLf + 2);
    }
}

template<typename OnLine>
void LineSplitter::feed(QByteArrayView piece, OnLine&& onLine)
{
    if (piece.isEmpty())
        return;
    if (m_crLfOnly) {
        feedCrLfOnly(piece, onLine);
        return;
    }
    const char* p = piece.data();
    const char* const end = p + piece.size();
    if (m_afterCr && p < end && *p == '\n')
        ++p;
    m_afterCr = false;
    // The next LF is looked up once and kept, so a file of lone CRs is still read in one pass.
    const char* lf = nullptr;
    while (p < end) {
        if (!lf || lf < p) {
            lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (!lf)
                lf = end;
        }
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', lf - p));
        const char* const eol = cr ? cr : lf;
        if (eol == end) {
            m_pending.append(p, end - p);
            return;
        }
        if (m_pending.isEmpty()) {
            onLine(QByteArrayView(p, eol - p));
        } else {
            m_pending.append(p, eol - p);
            onLine(QByteArrayView(m_pending));
            m_pending.truncate(0);
        }
        p = eol + 1;
        if (*eol == '\r') {
            if (p == end)
                m_afterCr = true;
            else if (*p == '\n')
                ++p;
        }
    }
}

template<typename OnLine>
void LineSplitter::feedCrLfOnly(QByteArrayView piece, OnLine&& onLine)
{
    const char* p = piece.data();
    const char* const end = p + piece.size();
    for (const char* scan = p;;) {
        const char* lf = static_cast<const char*>(std::memchr(scan, '\n', end - scan));
        if (!lf) {
            m_pending.append(p, end - p);
            return;
        }
        scan = lf + 1;
        // The CR may stand at the end of the line begun in an earlier piece.
        const bool afterCr = lf > p ? lf[-1] == '\r' : m_pending.endsWith('\r');
        if (!afterCr)
            continue; // a lone LF inside the line
        if (m_pending.isEmpty()) {
            onLine(QByteArrayView(p, lf - 1 - p));
        } else {
            m_pending.append(p, lf - p);
            m_pending.chop(1);
            onLine(QByteArrayView(m_pending));
            m_pending.truncate(0);
        }
        p = scan;
    }
}

template<typename OnLine>
void LineSplitter::finish(OnLine&& onLine)
{
    if (!m_pending.isEmpty()) {
        onLine(QByteArrayView(m_pending));
        m_pending.truncate(0);
    }
    m_afterCr = false;
}

} // namespace StoreText
