#include "contactstore.h"

#include "storetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

// Another copy of the program holds the lock only for one read and one rewrite.
constexpr int LockTimeoutMs = 5000;
constexpr qsizetype ReadPieceSize = 256 * 1024;
static_assert(ReadPieceSize >= StoreText::LineEndProbeSize);

} // namespace

ContactStore::ContactStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString ContactStore::path() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(FileName));
}

StoreStatus ContactStore::lock(StoreLock& lock) const
{
    switch (lock.lock(lockPath(), StoreLock::Kind::LockFile, LockTimeoutMs)) {
    case StoreLock::Result::Locked:
        return StoreStatus::Ok;
    case StoreLock::Result::Busy:
    case StoreLock::Result::Failed:
        return StoreStatus::WriteError;
    case StoreLock::Result::NotPermitted:
        break;
    }
    // No lock file can be made beside the store (a folder that cannot be written). Where the
    // file itself can be written, it is the lock, and it is rewritten in place: the only way to
    // save there at all. Otherwise nothing can be saved, and waiting would not change that.
    return lock.lock(path(), StoreLock::Kind::Existing, LockTimeoutMs) == StoreLock::Result::Locked
        ? StoreStatus::Ok
        : StoreStatus::WriteError;
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

StoreStatus ContactStore::writeFile(const RecordLines& lines, StoreLock& lock) const
{
    return lock.commit(lines.toStore(), path()) ? StoreStatus::Ok : StoreStatus::WriteError;
}

template<typename Change>
StoreStatus ContactStore::modify(Change change) const
{
    StoreLock held;
    if (const StoreStatus status = lock(held); status != StoreStatus::Ok)
        return status;
    RecordLines lines;
    if (const StoreStatus status = readFile(&lines); status != StoreStatus::Ok)
        return status;
    if (!change(lines))
        return StoreStatus::Ok;
    return writeFile(lines, held);
}

StoreStatus ContactStore::ensure() const
{
    if (QFileInfo::exists(path()))
        return StoreStatus::Ok;
    StoreLock held;
    if (const StoreStatus status = lock(held); status != StoreStatus::Ok)
        return status;
    // Another copy may have created it while we waited for the lock.
    if (QFileInfo::exists(path()))
        return StoreStatus::Ok;
    return writeFile(RecordLines(), held);
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
    StoreText::EncodingProbe probe;
    QByteArray scratch;
    const auto onLine = [&](QByteArrayView raw) {
        probe.feed(raw);
        StoreText::forEachRecordLine(
            raw, scratch, [&](QByteArrayView line) { names->add(line, probe.mayBeUtf8()); });
    };
    std::optional<StoreText::LineSplitter> splitter;
    bool bom = false;
    QByteArray piece(ReadPieceSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0) {
            *names = NameList(); // nothing from a partial read
            return StoreStatus::ReadError;
        }
        if (n == 0)
            break;
        QByteArrayView bytes(piece.constData(), n);
        if (!splitter) {
            bom = bytes.startsWith(StoreText::Utf8Bom);
            if (bom)
                bytes = bytes.sliced(StoreText::Utf8Bom.size());
            // A piece is far larger than the probe: the whole file decides as RecordLines does.
            splitter.emplace(StoreText::endsLinesWithCrLf(bytes));
        }
        splitter->feed(bytes, onLine);
    }
    if (splitter)
        splitter->finish(onLine);
    names->setUtf8(bom ? probe.mayBeUtf8() : probe.isUtf8());
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

StoreStatus ContactStore::appendNew(const QStringList& recordLines, int* added, int* taken) const
{
    int count = 0;
    const StoreStatus status = modify([&](RecordLines& lines) {
        count = 0;
        QSet<QString> keys;
        for (qsizetype i = 0; i < lines.size(); ++i)
            keys.insert(nameKey(lines.name(i)));
        for (const QString& line : recordLines) {
            const qsizetype before = keys.size();
            keys.insert(nameKey(recordName(line).toString()));
            if (keys.size() == before)
                continue;
            lines.append(line);
            ++count;
        }
        return count > 0;
    });
    if (added)
        *added = status == StoreStatus::Ok ? count : 0;
    if (taken)
        *taken = status == StoreStatus::Ok ? int(recordLines.size()) - count : 0;
    return status;
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

StoreStatus ContactStore::applyChanges(const QList<RecordChange>& changes, QList<bool>* applied) const
{
    QList<bool> done;
    const StoreStatus status = modify([&](RecordLines& lines) {
        done.fill(false, changes.size());
        QHash<QString, int> keys; // name key -> records holding it
        QHash<QString, qsizetype> byName; // exact name -> its only record, -1 when several
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString name = lines.name(i);
            ++keys[nameKey(name)];
            byName[name] = byName.contains(name) ? -1 : i;
        }
        bool any = false;
        // Removals come last, so that the indexes above hold while the others are made.
        QSet<QString> removed;
        for (qsizetype c = 0; c < changes.size(); ++c) {
            const RecordChange& change = changes[c];
            const QString oldName = recordName(change.oldLine).toString();
            const QString newName = recordName(change.newLine).toString();
            if (!change.oldLine.isEmpty()) {
                const qsizetype at = byName.value(oldName, -1);
                if (at < 0 || lines.text(at) != change.oldLine)
                    continue;
            }
            const QString oldKey = change.oldLine.isEmpty() ? QString() : nameKey(oldName);
            const QString newKey = change.newLine.isEmpty() ? QString() : nameKey(newName);
            if (!newKey.isEmpty()
                && ((newKey != oldKey && keys.value(newKey) > 0) || removed.contains(newName)))
                continue;
            if (change.oldLine.isEmpty()) {
                lines.append(change.newLine);
                byName[newName] = lines.size() - 1;
            } else if (change.newLine.isEmpty()) {
                removed.insert(oldName);
                byName.remove(oldName);
            } else {
                lines.replaceNamed(oldName, change.newLine);
                const qsizetype at = byName.take(oldName);
                byName[newName] = at;
            }
            if (!oldKey.isEmpty())
                --keys[oldKey];
            if (!newKey.isEmpty())
                ++keys[newKey];
            done[c] = true;
            any = true;
        }
        for (const QString& name : std::as_const(removed))
            lines.removeNamed(name);
        return any;
    });
    if (status != StoreStatus::Ok)
        done.fill(false, changes.size());
    if (applied)
        *applied = done;
    return status;
}
