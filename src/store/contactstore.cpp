#include "contactstore.h"

#include "storetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace {

// Another copy of the program holds the lock only for one read and one rewrite.
constexpr int LockTimeoutMs = 5000;

} // namespace

ContactStore::ContactStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString ContactStore::path() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(FileName));
}

QString ContactStore::lockPath() const
{
    return path() + QStringLiteral(".lock");
}

StoreStatus ContactStore::readFile(QStringList* lines) const
{
    lines->clear();
    QFile file(path());
    if (!file.exists())
        return StoreStatus::Ok;
    if (!file.open(QIODevice::ReadOnly))
        return StoreStatus::ReadError;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return StoreStatus::ReadError;
    *lines = StoreText::recordLines(StoreText::decodeFile(bytes));
    return StoreStatus::Ok;
}

StoreStatus ContactStore::writeFile(const QStringList& lines) const
{
    // No direct-write fallback: a rewrite that cannot be atomic is refused, never done in place.
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return StoreStatus::WriteError;
    const QByteArray bytes = StoreText::encodeStore(lines);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return StoreStatus::WriteError;
    }
    return file.commit() ? StoreStatus::Ok : StoreStatus::WriteError;
}

template <typename Change>
StoreStatus ContactStore::modify(Change change) const
{
    QLockFile lock(lockPath());
    if (!lock.tryLock(LockTimeoutMs))
        return StoreStatus::WriteError;
    QStringList lines;
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
    QLockFile lock(lockPath());
    if (!lock.tryLock(LockTimeoutMs))
        return StoreStatus::WriteError;
    // Another copy may have created it while we waited for the lock.
    if (QFileInfo::exists(path()))
        return StoreStatus::Ok;
    return writeFile({});
}

StoreStatus ContactStore::readRecordLines(QStringList* lines) const
{
    return readFile(lines);
}

StoreStatus ContactStore::readRecords(QList<QStringList>* records) const
{
    QStringList lines;
    const StoreStatus status = readFile(&lines);
    records->clear();
    records->reserve(lines.size());
    for (const QString& line : std::as_const(lines))
        records->append(line.split(SeparadorCampo));
    return status;
}

StoreStatus ContactStore::findRecord(const QString& name, std::optional<ContactRecord>* record) const
{
    record->reset();
    QStringList lines;
    const StoreStatus status = readFile(&lines);
    // The last record with the name wins, as when several carry it.
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (recordName(*it) == name) {
            *record = ContactRecord::fromLine(*it);
            break;
        }
    }
    return status;
}

StoreStatus ContactStore::append(const QString& recordLine) const
{
    return modify([&](QStringList& lines) {
        lines.append(recordLine);
        return true;
    });
}

StoreStatus ContactStore::replaceRecords(const QString& name, const QString& newLine, int* replaced) const
{
    int count = 0;
    const StoreStatus status = modify([&](QStringList& lines) {
        for (QString& line : lines) {
            if (recordName(line) == name) {
                line = newLine;
                ++count;
            }
        }
        return count > 0;
    });
    if (replaced)
        *replaced = status == StoreStatus::Ok ? count : 0;
    return status;
}

StoreStatus ContactStore::removeRecords(const QString& name, int* removed) const
{
    int count = 0;
    const StoreStatus status = modify([&](QStringList& lines) {
        count = int(lines.removeIf([&](const QString& line) { return recordName(line) == name; }));
        return count > 0;
    });
    if (removed)
        *removed = status == StoreStatus::Ok ? count : 0;
    return status;
}
