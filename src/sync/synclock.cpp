#include "synclock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SyncLock::~SyncLock()
{
    unlock();
}

SyncLock::Result SyncLock::tryLock(const QString& path)
{
    unlock();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::Busy : Result::Failed;
    }
    m_fd = fd;
    return Result::Locked;
}

void SyncLock::unlock()
{
    // The file stays: removing it while another process waits to lock it would let two hold it.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
