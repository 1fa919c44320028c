#include "contactstore.h"

#include "storetext.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace {

// Another copy of the program holds the lock only for one read and one rewrite.
constexpr int LockTimeoutMs = 5000;
// A process killed between creating the lock file and writing its id into it leaves an empty
// lock that QLockFile would honour for half a minute; a writer fills it within milliseconds.
constexpr int AbandonedLockMs = 1000;
constexpr qsizetype ReadPieceSize = 256 * 1024;

} // namespace

ContactStore::ContactStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString ContactStore::path() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(FileName));
}

void ContactStore::removeAbandonedLock() const
{
    const auto abandoned = [this] {
        const QFileInfo info(lockPath());
        return info.exists() && info.size() == 0
            && info.lastModified().msecsTo(QDateTime::currentDateTime()) > AbandonedLockMs;
    };
    if (!abandoned())
        return;
    // Two copies may find the same abandoned lock: only one removes it, and only while it is
    // still the abandoned one, never the lock the other has just made in its place.
    QLockFile guard(lockPath() + QStringLiteral(".rmlock"));
    if (guard.tryLock(0) && abandoned())
        QFile::remove(lockPath());
}

bool ContactStore::lock(QLockFile& lockFile) const
{
    const QDeadlineTimer deadline(LockTimeoutMs);
    do {
        removeAbandonedLock();
        if (lockFile.tryLock(100))
            return true;
    } while (!deadline.hasExpired());
    return false;
}

QString ContactStore::lockPath() const
{
    return path() + QStringLiteral(".lock");
}

bool ContactStore::openForReading(QFile& file, StoreStatus* status) const
{
    file.setFileName(path());
    if (!file.exists()) {
        *status = StoreStatus::Ok; // a missing file is the empty store
        return false;
    }
    const bool opened = file.open(QIODevice::ReadOnly);
    *status = opened ? StoreStatus::Ok : StoreStatus::ReadError;
    return opened;
}

StoreStatus ContactStore::readFile(RecordLines* lines) const
{
    *lines = RecordLines();
    QFile file;
    if (StoreStatus status; !openForReading(file, &status))
        return status;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return StoreStatus::ReadError;
    *lines = RecordLines(std::move(bytes));
    return StoreStatus::Ok;
}

StoreStatus ContactStore::writeFile(const RecordLines& lines) const
{
    // No direct-write fallback: a rewrite that cannot be atomic is refused, never done in place.
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return StoreStatus::WriteError;
    const QByteArray bytes = lines.toStore();
    // A store smaller than Qt's write buffer reaches the disk only at the flush, and
    // QSaveFile::commit() renames the file over the store even when that flush was cut short
    // (a full disk): so the flush is checked here, before anything is committed.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return StoreStatus::WriteError;
    }
    return file.commit() ? StoreStatus::Ok : StoreStatus::WriteError;
}

template<typename Change>
StoreStatus ContactStore::modify(Change change) const
{
    QLockFile lockFile(lockPath());
    if (!lock(lockFile))
        return StoreStatus::WriteError;
    RecordLines lines;
    if (const StoreStatus status = readFile(&lines); status != StoreStatus::Ok)
        return status;
    if (!change(lines))
        return StoreStatus::Ok;
    return writeFile(lines);
}

StoreStatus ContactStore::ensure() const
{
    if (QFileInfo::exists(path()))
        return StoreStatus::Ok;
    QLockFile lockFile(lockPath());
    if (!lock(lockFile))
        return StoreStatus::WriteError;
    // Another copy may have created it while we waited for the lock.
    if (QFileInfo::exists(path()))
        return StoreStatus::Ok;
    return writeFile(RecordLines());
}

StoreStatus ContactStore::readRecordLines(QStringList* out) const
{
    RecordLines lines;
    const StoreStatus status = readFile(&lines);
    *out = lines.texts();
    return status;
}

StoreStatus ContactStore::readNames(NameList* names) const
{
    *names = NameList();
    QFile file;
    if (StoreStatus status; !openForReading(file, &status))
        return status;
    StoreText::LineSplitter splitter;
    StoreText::EncodingProbe probe;
    QByteArray scratch;
    bool bom = false;
    const auto onLine = [&](QByteArrayView raw) {
        probe.feed(raw);
        if (const QByteArrayView line = StoreText::recordLine(raw, scratch); !line.isEmpty())
            names->add(line, bom || probe.mayBeUtf8());
    };
    QByteArray piece(ReadPieceSize, Qt::Uninitialized);
    for (bool first = true;; first = false) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0) {
            *names = NameList(); // nothing from a partial read
            return StoreStatus::ReadError;
        }
        if (n == 0)
            break;
        QByteArrayView bytes(piece.constData(), n);
        if (first && bytes.startsWith(StoreText::Utf8Bom)) {
            bom = true;
            bytes = bytes.sliced(StoreText::Utf8Bom.size());
        }
        splitter.feed(bytes, onLine);
    }
    splitter.finish(onLine);
    names->setUtf8(bom || probe.isUtf8());
    return StoreStatus::Ok;
}

StoreStatus ContactStore::findRecord(const QString& name, std::optional<ContactRecord>* record) const
{
    record->reset();
    RecordLines lines;
    const StoreStatus status = readFile(&lines);
    // The last record with the name wins, as when several carry it.
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lines.nameEquals(i, name)) {
            *record = ContactRecord::fromLine(lines.text(i));
            break;
        }
    }
    return status;
}

StoreStatus ContactStore::append(const QString& recordLine) const
{
    return modify([&](RecordLines& lines) {
        lines.append(recordLine);
        return true;
    });
}

StoreStatus ContactStore::replaceRecords(const QString& name, const QString& newLine, int* replaced) const
{
    int count = 0;
    const StoreStatus status = modify([&](RecordLines& lines) {
        count = lines.replaceNamed(name, newLine);
        return count > 0;
    });
    if (replaced)
        *replaced = status == StoreStatus::Ok ? count : 0;
    return status;
}

StoreStatus ContactStore::removeRecords(const QString& name, int* removed) const
{
    int count = 0;
    const StoreStatus status = modify([&](RecordLines& lines) {
        count = lines.removeNamed(name);
        return count > 0;
    });
    if (removed)
        *removed = status == StoreStatus::Ok ? count : 0;
    return status;
}
