#include "keptcopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView Magic = "LBK1";
constexpr qsizetype HeaderMax = 128;

// The whole file at fd, from its start; false on a read error.
bool readAll(int fd, QByteArray* out)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return false;
    out->resize(qsizetype(st.st_size));
    qsizetype got = 0;
    for (;;) {
        if (got == out->size())
            out->resize(got + 64 * 1024); // it grew meanwhile
        const ssize_t n = ::pread(fd, out->data() + got, size_t(out->size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    out->truncate(got);
    return true;
}

QByteArray digest(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

KeptCopy::KeptCopy(const QString& folder, const QString& target)
    : m_folder(folder)
{
    const QByteArray key = QFile::encodeName(QFileInfo(target).absoluteFilePath());
    m_path = QDir(folder).filePath(u"LBcontatos-"_s
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16))
        + u".anterior"_s);
}

bool KeptCopy::exists() const
{
    // A copy cut short while it was made is found too, to be removed: the store was not touched.
    struct stat st { };
    return !m_folder.isEmpty()
        && (::stat(QFile::encodeName(m_path).constData(), &st) == 0
            || ::stat(QFile::encodeName(m_path + u".tmp"_s).constData(), &st) == 0);
}

bool KeptCopy::keep(int storeFd, QByteArrayView newBytes)
{
    QByteArray old;
    if (m_folder.isEmpty() || !readAll(storeFd, &old))
        return false;
    // The copy may hold a private store: its folder is the user's alone.
    QDir().mkpath(QFileInfo(m_folder).path());
    if (::mkdir(QFile::encodeName(m_folder).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    const QByteArray temporary = QFile::encodeName(m_path + u".tmp"_s);
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray header
        = Magic.toByteArray() + ' ' + QByteArray::number(newBytes.size()) + ' ' + digest(newBytes) + '\n';
    const bool written
        = writeAll(fd, header, 0) && writeAll(fd, old, off_t(header.size())) && ::fdatasync(fd) == 0;
    ::close(fd);
    // Whole or not at all: a copy cut short must never be taken for the old content.
    if (!written || ::rename(temporary.constData(), QFile::encodeName(m_path).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    syncFolder(m_folder);
    return true;
}

KeptCopy::Restored KeptCopy::restore(int storeFd)
{
    QByteArray kept;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT)
        return Restored::Failed;
    if (fd < 0) {
        remove();
        return Restored::Nothing;
    }
    const bool read = readAll(fd, &kept);
    ::close(fd);
    const qsizetype lineEnd = kept.indexOf('\n');
    const QList<QByteArray> header = kept.left(lineEnd).split(' ');
    bool sized = false;
    const qsizetype newSize = header.value(1).toLongLong(&sized);
    if (!read || lineEnd < 0 || lineEnd > HeaderMax || header.size() != 3 || header[0] != Magic || !sized)
        return Restored::Failed; // not a copy this program made: left alone, and nothing saved over it
    const QByteArrayView old = QByteArrayView(kept).sliced(lineEnd + 1);

    QByteArray now;
    if (!readAll(storeFd, &now))
        return Restored::Failed;
    Restored restored = Restored::Nothing;
    if (now == old || (now.size() == newSize && digest(now) == header[2])) {
        // Killed before it began, or after it ended: the store is whole.
    } else if (now.size() > newSize && digest(QByteArrayView(now).first(newSize)) == header[2]) {
        // Written whole, only not yet cut to its length.
        if (::ftruncate(storeFd, off_t(newSize)) != 0 || ::fdatasync(storeFd) != 0)
            return Restored::Failed;
        restored = Restored::New;
    } else {
        if (!writeInPlace(storeFd, old))
            return Restored::Failed;
        restored = Restored::Old;
    }
    remove();
    return restored;
}

void KeptCopy::remove()
{
    ::unlink(QFile::encodeName(m_path).constData());
    ::unlink(QFile::encodeName(m_path + u".tmp"_s).constData());
    syncFolder(m_folder);
}

bool writeAll(int fd, QByteArrayView bytes, off_t at)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, size_t(bytes.size() - written), at + written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

bool writeInPlace(int fd, QByteArrayView bytes)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return false;
    const off_t oldSize = st.st_size;
    const off_t newSize = off_t(bytes.size());
    if (newSize > oldSize) {
        // Where the file system cannot reserve, writing past the end first does the same.
        const int reserved = ::posix_fallocate(fd, 0, newSize);
        if ((reserved != 0 && reserved != EINVAL && reserved != EOPNOTSUPP)
            || !writeAll(fd, bytes.sliced(oldSize), oldSize)) {
            (void)::ftruncate(fd, oldSize);
            return false;
        }
    }
    return writeAll(fd, bytes.first(qMin(newSize, oldSize)), 0) && ::ftruncate(fd, newSize) == 0
        && ::fdatasync(fd) == 0;
}
