#pragma once

#include <QByteArrayView>
#include <QString>

// The lock a change holds on the contacts file from its read to its rewrite, so that two running
// copies never lose each other's changes. It is a lock the system takes back when its holder
// dies (flock on Unix): a copy killed mid-save leaves at most the lock file itself, which the
// next save simply locks again; nothing can go stale, nothing needs taking over.
//
// The lock file is also where the new content is written before it is renamed over the store,
// so a crash or a full disk leaves the old store or the new one, never a cut-off one, and a
// save cut short leaves nothing else behind. (A temporary file of its own, as QSaveFile makes,
// stays behind under a random name when the process dies between its link and its rename, and
// such names cannot be told from a user's own files to clean them up.)
class StoreLock {
public:
    enum class Result {
        Locked,
        Busy, // another copy held it for the whole wait
        NotPermitted, // the folder (or the file) cannot be written: no use waiting
        Failed, // anything else that stops it being made
    };
    // A lock file made at path and removed again on unlock; or, with existing, the file at path
    // itself, which must be there and is never removed (where no lock file can be made beside it).
    enum class Kind { LockFile, Existing };

    StoreLock() = default;
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    Result lock(const QString& path, Kind kind, int timeoutMs);
    void unlock();

    // While locked: makes bytes the content of target, flushed to disk. A lock file is filled
    // and renamed over target, which keeps its permissions; an existing file (target itself) is
    // rewritten in place. Afterwards the lock is still held until unlock().
    bool commit(QByteArrayView bytes, const QString& target);

private:
    QString m_path;
    Kind m_kind = Kind::LockFile;
    int m_fd = -1;
    bool m_renamed = false; // the lock file has become the store: its name is no longer ours
};
