#include "contactstore.h"

#include "storetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Another copy of the program holds the lock only for one read and one rewrite.
constexpr int LockTimeoutMs = 5000;
constexpr qsizetype ReadPieceSize = 256 * 1024;

// What a change reports, where the caller asked for it: nothing of a change that was not saved.
template<typename T>
void report(T* out, StoreStatus status, T value)
{
    if (out)
        *out = status == StoreStatus::Ok ? value : T();
}

} // namespace

ContactStore::ContactStore(QString folder, QString keepFolder)
    : m_folder(std::move(folder))
    , m_keepFolder(std::move(keepFolder))
{
}

QString ContactStore::defaultKeepFolder()
{
    // The installed program's data folder, whatever the running program calls itself.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + u"/Lurvane Brevicard/anteriores"_s;
}

QString ContactStore::path() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(FileName));
}

StoreStatus ContactStore::target(QString* target) const
{
    // As QSaveFile resolves it: the link's target, even where that does not exist yet.
    QFileInfo file(path());
    for (int depth = 0; depth < 128 && file.isSymLink(); ++depth)
        file.setFile(file.symLinkTarget());
    *target = file.filePath();
    return file.isSymLink() || (QFileInfo(path()).isSymLink() && !file.exists()) ? StoreStatus::ReadError
                                                                                 : StoreStatus::Ok;
}

StoreStatus ContactStore::lock(StoreLock& lock, bool* restored) const
{
    QString file;
    if (const StoreStatus status = target(&file); status != StoreStatus::Ok)
        return status;
    if (lock.lock(file, m_keepFolder, LockTimeoutMs) != StoreLock::Result::Locked)
        return StoreStatus::WriteError;
    switch (lock.restoreCutSave()) {
    case KeptCopy::Restored::Nothing:
        return StoreStatus::Ok;
    case KeptCopy::Restored::Old:
    case KeptCopy::Restored::New:
        if (restored)
            *restored = true;
        return StoreStatus::Ok;
    case KeptCopy::Restored::Failed:
        break;
    }
    // Nothing is read from a file still cut short, nor written over its kept copy.
    return StoreStatus::WriteError;
}

StoreStatus ContactStore::restoreCutSave(bool* restored) const
{
    if (restored)
        *restored = false;
    QString file;
    if (const StoreStatus status = target(&file); status != StoreStatus::Ok)
        return status;
    if (!KeptCopy(m_keepFolder, file).exists())
        return StoreStatus::Ok;
    StoreLock held;
    return lock(held, restored);
}

bool ContactStore::openForReading(QFile& file, StoreStatus* status) const
{
    file.setFileName(path());
    if (!file.exists()) {
        // A missing file is the empty store; a link to nothing is a disk not there.
        *status = QFileInfo(path()).isSymLink() ? StoreStatus::ReadError : StoreStatus::Ok;
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
    return lock.commit(lines.storePieces()) ? StoreStatus::Ok : StoreStatus::WriteError;
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
    if (QFileInfo(path()).isSymLink())
        return StoreStatus::ReadError; // its target's disk is not there: nothing is made
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
    return readNames(file, names);
}

StoreStatus ContactStore::readNames(QIODevice& file, NameList* names)
{
    *names = NameList();
    StoreText::EncodingProbe probe;
    QByteArray scratch;
    std::optional<StoreText::QuoteFinder> quotes; // in the piece being split
    const auto onLine = [&](QByteArrayView raw) {
        probe.feed(raw);
        StoreText::forEachRecordLine(raw, quotes->inLine(raw), scratch,
            [&](QByteArrayView line) { names->add(line, probe.mayBeUtf8()); });
    };
    // A small store, or one held in memory, needs no piece larger than itself.
    QByteArray piece(std::clamp<qint64>(file.size(), 1, ReadPieceSize), Qt::Uninitialized);
    // How lines end is known at the file's first CR LF, wherever it stands: read up to it (the
    // whole file where there is none), then from the start, as RecordLines splits the whole file.
    StoreText::LineEndProbe lineEnds;
    while (!lineEnds.crLfOnly()) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0)
            return StoreStatus::ReadError;
        if (n == 0)
            break;
        lineEnds.feed(QByteArrayView(piece.constData(), n));
    }
    if (!file.seek(0))
        return StoreStatus::ReadError;
    std::optional<StoreText::LineSplitter> splitter;
    bool bom = false;
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
            splitter.emplace(lineEnds.crLfOnly());
        }
        quotes.emplace(bytes);
        splitter->feed(bytes, onLine);
    }
    if (splitter) {
        quotes.emplace(QByteArrayView());
        splitter->finish(onLine);
    }
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

StoreStatus ContactStore::append(const QString& recordLine, bool* becameUtf8) const
{
    bool utf8 = false;
    const StoreStatus status = modify([&](RecordLines& lines) {
        lines.append(recordLine);
        utf8 = lines.becameUtf8();
        return true;
    });
    report(becameUtf8, status, utf8);
    return status;
}

StoreStatus ContactStore::appendNew(
    const QStringList& recordLines, int* added, int* taken, bool* becameUtf8) const
{
    int count = 0;
    bool utf8 = false;
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
        utf8 = lines.becameUtf8();
        return count > 0;
    });
    report(added, status, count);
    report(taken, status, int(recordLines.size()) - count);
    report(becameUtf8, status, utf8);
    return status;
}

StoreStatus ContactStore::replaceRecords(
    const QString& name, const QString& newLine, int* replaced, bool* becameUtf8) const
{
    int count = 0;
    bool utf8 = false;
    const StoreStatus status = modify([&](RecordLines& lines) {
        count = lines.replaceNamed(name, newLine);
        utf8 = lines.becameUtf8();
        return count > 0;
    });
    report(replaced, status, count);
    report(becameUtf8, status, utf8);
    return status;
}

StoreStatus ContactStore::removeRecords(const QString& name, int* removed, bool* becameUtf8) const
{
    int count = 0;
    bool utf8 = false;
    const StoreStatus status = modify([&](RecordLines& lines) {
        count = lines.removeNamed(name);
        utf8 = lines.becameUtf8();
        return count > 0;
    });
    report(removed, status, count);
    report(becameUtf8, status, utf8);
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
