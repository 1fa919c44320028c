#include "storelock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

StoreLock::~StoreLock()
{
    unlock();
}

StoreLock::Result StoreLock::lock(const QString& path, Kind kind, int timeoutMs)
{
    unlock();
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_RDWR | O_CLOEXEC | (kind == Kind::LockFile ? O_CREAT : 0);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const int fd = ::open(name.constData(), flags, 0644);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return errno == EACCES || errno == EPERM || errno == EROFS ? Result::NotPermitted
                                                                       : Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The copy that held it before may have removed the file after we opened it: a lock
            // on that file guards nothing, since the next copy makes a new one. Only the file
            // still standing at the path counts.
            struct stat held { };
            struct stat current { };
            if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &current) == 0
                && held.st_dev == current.st_dev && held.st_ino == current.st_ino) {
                m_path = path;
                m_kind = kind;
                m_fd = fd;
                m_renamed = false;
                return Result::Locked;
            }
            ::close(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK && error != EINTR)
            return Result::Failed;
        if (deadline.hasExpired())
            return Result::Busy;
        QThread::msleep(5);
    }
}

void StoreLock::unlock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that a copy waiting on this file sees it gone and makes anew.
    // Once renamed, the name may already be another copy's new lock file.
    if (m_kind == Kind::LockFile && !m_renamed)
        ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

bool StoreLock::commit(QByteArrayView bytes, const QString& target)
{
    if (m_fd < 0 || m_renamed || ::ftruncate(m_fd, 0) != 0)
        return false;
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n
            = ::pwrite(m_fd, bytes.data() + written, size_t(bytes.size() - written), off_t(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a full disk: the store is untouched, the lock file is removed on unlock
        written += n;
    }
    if (::fdatasync(m_fd) != 0)
        return false;
    if (m_kind == Kind::Existing)
        return true;
    const QByteArray name = QFile::encodeName(target);
    if (struct stat old {}; ::stat(name.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(m_fd, old.st_mode & 07777);
    if (::rename(QFile::encodeName(m_path).constData(), name.constData()) != 0)
        return false;
    m_renamed = true;
    return true;
}
