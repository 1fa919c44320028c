#include "storelock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

bool flockUnsupported = false;

// A lock file that names no running holder is taken over once it is this old: its holder may be
// on another machine, or its process id taken by another process since.
constexpr int StaleSeconds = 60;
// An empty one was left between its making and its holder's name going in, which takes no time.
constexpr int EmptyStaleSeconds = 2;

enum class Flocked { Yes, Busy, Unsupported, Failed };

Flocked tryFlock(int fd)
{
    if (flockUnsupported)
        return Flocked::Unsupported;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return Flocked::Yes;
        switch (errno) {
        case EINTR:
            continue;
        case EWOULDBLOCK:
            return Flocked::Busy;
        case ENOLCK:
        case EOPNOTSUPP:
        case EINVAL:
            return Flocked::Unsupported;
        default:
            return Flocked::Failed;
        }
    }
}

// Whether fd is still the file at name: another copy may have removed or replaced it while we
// waited, and a lock on a file no longer there guards nothing.
bool stillAt(int fd, const QByteArray& name)
{
    struct stat held { };
    struct stat current { };
    return ::fstat(fd, &held) == 0 && ::stat(name.constData(), &current) == 0 && held.st_dev == current.st_dev
        && held.st_ino == current.st_ino;
}

// Sleeps before the next try; false once the deadline has passed.
bool waitMore(const QDeadlineTimer& deadline)
{
    if (deadline.hasExpired())
        return false;
    QThread::msleep(5);
    return true;
}

// The pieces one after another from the file's start, as few calls as the system allows.
bool writeAll(int fd, QList<QByteArrayView> pieces)
{
    std::vector<iovec> batch;
    off_t at = 0;
    for (qsizetype next = 0;;) {
        while (next < pieces.size() && pieces[next].isEmpty())
            ++next;
        if (next == pieces.size())
            return true;
        batch.clear();
        for (qsizetype i = next; i < pieces.size() && batch.size() < size_t(IOV_MAX); ++i)
            batch.push_back(iovec { const_cast<char*>(pieces[i].data()), size_t(pieces[i].size()) });
        ssize_t n = ::pwritev(fd, batch.data(), int(batch.size()), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        // A short write leaves the rest of a piece for the next call.
        for (; n > 0; ++next) {
            if (n < pieces[next].size()) {
                pieces[next] = pieces[next].sliced(n);
                break;
            }
            n -= pieces[next].size();
        }
    }
}

QByteArray joined(const QList<QByteArrayView>& pieces)
{
    QByteArray out;
    for (QByteArrayView piece : pieces)
        out.append(piece);
    return out;
}

QByteArray hostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// What an O_EXCL lock file holds: its holder's process id and machine.
QByteArray holderText()
{
    return QByteArray::number(qint64(::getpid())) + ' ' + hostName() + '\n';
}

bool isStale(int fd)
{
    struct stat st { };
    char text[300];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    timespec now {};
    if (::fstat(fd, &st) != 0 || n < 0 || ::clock_gettime(CLOCK_REALTIME, &now) != 0)
        return false;
    const qint64 age = qint64(now.tv_sec) - qint64(st.st_mtim.tv_sec);
    if (n == 0)
        return age >= EmptyStaleSeconds;
    const QList<QByteArray> holder = QByteArray(text, n).trimmed().split(' ');
    bool isPid = false;
    const qint64 pid = holder.value(0).toLongLong(&isPid);
    const bool deadHere
        = isPid && pid > 0 && holder.value(1) == hostName() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    return deadHere || age >= StaleSeconds;
}

mode_t currentUmask()
{
    // Read, not set and set back: another thread may be making a file meanwhile.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

// The extended attributes (a synced folder's marks, ACLs, a desktop's tags) where the file
// system keeps them; one it refuses is left behind rather than failing the save.
void copyAttributes(int from, int to)
{
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return;
    QByteArray names(size, '\0');
    const ssize_t got = ::flistxattr(from, names.data(), size_t(names.size()));
    if (got <= 0)
        return;
    for (const QByteArray& name : names.left(got).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (length < 0)
            continue;
        QByteArray value(length, '\0');
        const ssize_t read = ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (read >= 0)
            ::fsetxattr(to, name.constData(), value.constData(), size_t(read), 0);
    }
}

// A rename is only on disk once its folder is.
bool syncFolderOf(const QString& path)
{
    const int fd
        = ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL; // a file system that cannot
    ::close(fd);
    return synced;
}

} // namespace

void StoreLock::setFlockUnsupported(bool unsupported)
{
    flockUnsupported = unsupported;
}

StoreLock::~StoreLock()
{
    unlock();
}

StoreLock::Result StoreLock::lock(const QString& target, const QString& keepFolder, int timeoutMs)
{
    unlock();
    m_target = target;
    m_keepFolder = keepFolder;
    const QDeadlineTimer deadline(timeoutMs);
    Result result = lockLockFile(deadline);
    if (result == Result::Locked || result == Result::NotPermitted)
        result = lockStore(deadline);
    if (result != Result::Locked)
        unlock();
    return result;
}

StoreLock::Result StoreLock::lockLockFile(const QDeadlineTimer& deadline)
{
    const QByteArray name = QFile::encodeName(m_target + u".lock"_s);
    for (;;) {
        bool made = true;
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno == EEXIST) {
            // One left by a crash, or by another user (a copy run with sudo), is honoured all
            // the same: flock works on a descriptor opened for reading. Not made here, it may
            // not take our mode, so the content goes into a temporary file of its own.
            made = false;
            fd = ::open(name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0 && (errno == EACCES || errno == EPERM))
                fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0 && errno == ENOENT)
                continue; // its holder removed it meanwhile: make it anew
        }
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            // A folder that cannot be written: the store itself is all there is to lock.
            return errno == EACCES || errno == EPERM || errno == EROFS ? Result::NotPermitted
                                                                       : Result::Failed;
        }
        switch (tryFlock(fd)) {
        case Flocked::Yes:
            // The copy that held it before may have removed the file after we opened it: a lock
            // on that file guards nothing, since the next copy makes a new one.
            if (stillAt(fd, name)) {
                m_lockFd = fd;
                m_lockWritable = made;
                return Result::Locked;
            }
            break;
        case Flocked::Busy:
            break;
        case Flocked::Unsupported:
            if (made) {
                // Made with O_EXCL, it is ours alone; it names its holder for the stale rule.
                if (!writeAll(fd, holderText())) {
                    ::unlink(name.constData());
                    ::close(fd);
                    return Result::Failed;
                }
                m_lockFd = fd;
                m_exclusive = true;
                return Result::Locked;
            }
            if (isStale(fd) && stillAt(fd, name)) {
                ::unlink(name.constData());
                ::close(fd);
                continue;
            }
            break;
        case Flocked::Failed:
            ::close(fd);
            return Result::Failed;
        }
        ::close(fd);
        if (!waitMore(deadline))
            return Result::Busy;
    }
}

StoreLock::Result StoreLock::lockStore(const QDeadlineTimer& deadline)
{
    const QByteArray name = QFile::encodeName(m_target);
    for (;;) {
        // Opened for writing, so that a store whose own mode forbids writing is refused here:
        // a rename over it would need only the folder's permission.
        const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOENT) // a new store, which only a lock file's folder can take
                return m_lockFd >= 0 ? Result::Locked : Result::NotPermitted;
            return errno == EACCES || errno == EPERM || errno == EROFS ? Result::NotPermitted
                                                                       : Result::Failed;
        }
        struct stat st { };
        Flocked flocked = Flocked::Failed;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            flocked = tryFlock(fd);
        switch (flocked) {
        case Flocked::Yes:
            if (stillAt(fd, name)) {
                m_storeFd = fd;
                return Result::Locked;
            }
            break;
        case Flocked::Busy:
            break;
        case Flocked::Unsupported:
            // The lock file's O_EXCL excludes the other copies where there is one; in a folder
            // that cannot be written, on such a file system, nothing can.
            m_storeFd = fd;
            return Result::Locked;
        case Flocked::Failed:
            ::close(fd);
            return Result::Failed;
        }
        ::close(fd);
        if (!waitMore(deadline))
            return Result::Busy;
    }
}

void StoreLock::unlock()
{
    if (m_lockFd >= 0) {
        // Removed while still held, so that a copy waiting on this file sees it gone and makes
        // anew. Once renamed, the name may already be another copy's new lock file.
        if (!m_renamed)
            ::unlink(QFile::encodeName(m_target + u".lock"_s).constData());
        ::close(m_lockFd);
    }
    if (m_storeFd >= 0)
        ::close(m_storeFd);
    m_lockFd = m_storeFd = -1;
    m_lockWritable = m_exclusive = m_renamed = false;
}

KeptCopy::Restored StoreLock::restoreCutSave()
{
    KeptCopy kept(m_keepFolder, m_target);
    if (m_storeFd < 0 || !kept.exists())
        return KeptCopy::Restored::Nothing;
    return kept.restore(m_storeFd);
}

bool StoreLock::commit(QByteArrayView bytes)
{
    return commit(QList<QByteArrayView> { bytes });
}

bool StoreLock::commit(const QList<QByteArrayView>& bytes)
{
    if ((m_lockFd < 0 && m_storeFd < 0) || m_renamed)
        return false;
    // A temporary file of a fixed name, so that one a crash left is removed by the next save.
    const QString temporary = m_target + u".tmp"_s;
    const QByteArray name = QFile::encodeName(temporary);
    ::unlink(name.constData());
    if (m_lockWritable) {
        const bool done = commitRenamed(m_lockFd, m_target + u".lock"_s, bytes);
        m_renamed = done;
        return done && syncFolderOf(m_target);
    }
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        // Only a folder that really cannot be written makes a save in place.
        if ((errno == EACCES || errno == EPERM || errno == EROFS) && m_storeFd >= 0)
            return commitInPlace(bytes);
        return false;
    }
    const bool done = commitRenamed(fd, temporary, bytes);
    ::close(fd);
    if (!done)
        ::unlink(name.constData());
    return done && syncFolderOf(m_target);
}

bool StoreLock::commitRenamed(int fd, const QString& from, const QList<QByteArrayView>& bytes)
{
    if (::ftruncate(fd, 0) != 0)
        return false;
    // Before any content goes in, the new file is what the store is: a private store is never
    // copied anywhere readable, even for a moment.
    if (struct stat store {}; m_storeFd >= 0 && ::fstat(m_storeFd, &store) == 0) {
        // Owner and group first (only root may give a file away; anyone may keep a group of
        // theirs): a change of owner clears the set-id bits, which the mode then puts back.
        if (struct stat own {};
            ::fstat(fd, &own) == 0 && (own.st_uid != store.st_uid || own.st_gid != store.st_gid)) {
            if (::fchown(fd, store.st_uid, store.st_gid) != 0)
                (void)::fchown(fd, uid_t(-1), store.st_gid);
        }
        if (::fchmod(fd, store.st_mode & 07777) != 0)
            return false;
        copyAttributes(m_storeFd, fd);
    } else if (::fchmod(fd, 0666 & ~currentUmask()) != 0) {
        return false;
    }
    if (!writeAll(fd, bytes) || ::fdatasync(fd) != 0)
        return false; // a full disk: the store is untouched, the file is removed
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(m_target).constData()) == 0;
}

bool StoreLock::commitInPlace(const QList<QByteArrayView>& pieces)
{
    // Rare enough (a folder that cannot be written) to be written from one buffer.
    const QByteArray bytes = joined(pieces);
    // Before the store is touched, its old content is kept whole where the next lock finds it.
    KeptCopy kept(m_keepFolder, m_target);
    if (!kept.keep(m_storeFd, bytes))
        return false;
    if (writeInPlace(m_storeFd, bytes)) {
        kept.remove();
        return true;
    }
    // Stopped by a full disk, say: the old content goes back now, or else at the next lock.
    kept.restore(m_storeFd);
    return false;
}
