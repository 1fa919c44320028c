#pragma once

#include "keptcopy.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

class QDeadlineTimer;

// The lock a change holds on the contacts file from its read to its rewrite, so that two running
// copies never lose each other's changes. It is a lock the system takes back when its holder
// dies (flock on Unix): a copy killed mid-save leaves at most the lock file itself, which the
// next save simply locks again; nothing can go stale, nothing needs taking over. Where the file
// system has no flock (NFS without its lock daemon, some FUSE mounts), the lock file is made
// with O_EXCL instead and names its holder, so that one left by a dead copy can be taken over.
//
// Two files are locked, always in this order: the lock file beside the store, and the store
// itself. A copy that cannot make the lock file (a folder it cannot write) still locks the
// store, so copies in every mode exclude each other.
//
// The lock file is also where the new content is written before it is renamed over the store,
// so a crash or a full disk leaves the old store or the new one, never a cut-off one, and a
// save cut short leaves nothing else behind. (A temporary file of its own, as QSaveFile makes,
// stays behind under a random name when the process dies between its link and its rename, and
// such names cannot be told from a user's own files to clean them up.) Where the lock file
// cannot hold the content (one left behind, perhaps by another user, or one that names its
// holder), a temporary file of a fixed name does, which the next save removes if left.
//
// Only where the folder cannot be written at all is the store rewritten in place, after its old
// content is kept whole in a folder of the user's (see KeptCopy), so that a save cut short is
// undone by the next lock.
class StoreLock {
public:
    enum class Result {
        Locked,
        Busy, // another copy held it for the whole wait
        NotPermitted, // neither folder nor store can be written, or the store's mode forbids it
        Failed, // anything else that stops it being made
    };
    StoreLock() = default;
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Locks the store at target (a real file's path, not a link's). keepFolder is where the old
    // content waits while the store is rewritten in place.
    Result lock(const QString& target, const QString& keepFolder, int timeoutMs);
    void unlock();

    // While locked, puts back a store whose save in place was cut short: its old content, or
    // the new one where that had been written whole.
    KeptCopy::Restored restoreCutSave();

    // While locked: makes bytes the content of the store, flushed to disk, with the store's
    // mode, owner and extended attributes. Afterwards the lock is still held until unlock().
    bool commit(QByteArrayView bytes);
    // The same with the content in pieces, written in their order.
    bool commit(const QList<QByteArrayView>& pieces);

    // For tests: behaves as on a file system without flock.
    static void setFlockUnsupported(bool unsupported);

private:
    Result lockLockFile(const QDeadlineTimer& deadline);
    Result lockStore(const QDeadlineTimer& deadline);
    bool commitRenamed(int fd, const QString& from, const QList<QByteArrayView>& pieces);
    bool commitInPlace(const QList<QByteArrayView>& pieces);

    QString m_target;
    QString m_keepFolder;
    int m_lockFd = -1;
    bool m_lockWritable = false; // the lock file is one made by this lock: it can hold the content
    bool m_exclusive = false; // the lock file is held by its O_EXCL creation, not by flock
    bool m_renamed = false; // the lock file has become the store: its name is no longer ours
    int m_storeFd = -1;
};
