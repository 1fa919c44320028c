#pragma once

#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// The old content of a store rewritten in place (where its folder cannot be written), kept whole
// in a folder of the user's until the new content stands complete. A save cut short by a crash
// or a kill is put back from it by the next copy that locks the store. It names the new content
// too (its size and digest), so that a store whose new content was written whole, but not yet
// cut to its length, is finished rather than undone.
class KeptCopy {
public:
    enum class Restored { Nothing, Old, New, Failed };

    // folder holds the copies of every store, each named after its store's path.
    KeptCopy(const QString& folder, const QString& target);

    QString path() const { return m_path; }
    bool exists() const;

    // Keeps the content the store at storeFd holds now, with what names newBytes, flushed.
    bool keep(int storeFd, QByteArrayView newBytes);
    // Puts the store at storeFd back as the kept copy says and removes the copy.
    Restored restore(int storeFd);
    void remove();

private:
    QString m_folder;
    QString m_path;
};

// Writes all of bytes into the file at fd from offset at, going on after short writes.
bool writeAll(int fd, QByteArrayView bytes, off_t at = 0);

// Rewrites the file at fd with bytes in place, so that a full disk or quota stops it before the
// old content is touched: the space is taken first, the part past the old end written first,
// the file cut to its new length last, and flushed.
bool writeInPlace(int fd, QByteArrayView bytes);
