#pragma once

#include "contactrecord.h"
#include "namelist.h"
#include "recordlines.h"
#include "storelock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QFile;
class QIODevice;

// One change to a record, as a sync applies it: oldLine must still be the record's whole line
// (one record with that name) for the change to apply. An empty oldLine adds newLine, an empty
// newLine removes the record.
struct RecordChange {
    QString oldLine;
    QString newLine;
};

enum class StoreStatus {
    Ok,
    ReadError, // the file exists but could not be read: nothing was written
    WriteError, // the file could not be created or written: it is as it was
};

// The contacts file, LBcontatos.txt, in the folder it is given. Nothing is kept in memory:
// every operation reads the file again, and every change rewrites it whole, atomically (a crash
// or a full disk leaves the old file or the new one, never a cut-off one) and under a lock beside
// it, so two running copies never lose each other's changes: see StoreLock.
// A missing file reads as the empty store; only ensure() and the writing operations create it.
// A change that makes a Windows-1252 store UTF-8 (see RecordLines) sets *becameUtf8, where
// asked: the user is told once, as older copies of the program read such a file wrongly.
// A symbolic link at the file's path is followed and stays a link; one whose target is missing
// (a disk not mounted) is a read error, and nothing is made in its place.
class ContactStore {
public:
    static constexpr auto FileName = "LBcontatos.txt";

    // keepFolder holds the old content while the file is rewritten in place (where its folder
    // cannot be written); by default the user's data folder.
    explicit ContactStore(QString folder, QString keepFolder = defaultKeepFolder());

    static QString defaultKeepFolder();

    QString path() const;

    // Puts back a file whose save in place was cut short (by a crash, a kill, a power cut):
    // its old content, or the new one where that was written whole. *restored tells whether
    // the file was changed. Each change does it too, first; start-up calls it to tell the user.
    StoreStatus restoreCutSave(bool* restored = nullptr) const;

    // Creates the empty store when no file exists; an existing file is left alone.
    StoreStatus ensure() const;

    // The record lines in file order (quotes removed, blank lines dropped).
    StoreStatus readRecordLines(QStringList* lines) const;

    // The name of every record, in file order: what the name list shows. The file is read in
    // pieces, so a large store costs no more memory than its names.
    StoreStatus readNames(NameList* names) const;
    // The same from a device open for reading: the store's bytes held in memory, say.
    static StoreStatus readNames(QIODevice& device, NameList* names);

    // The last record whose name equals name exactly (case-sensitive); nullopt when none does.
    StoreStatus findRecord(const QString& name, std::optional<ContactRecord>* record) const;

    // Appends a record line (as formatRecord() builds it) after the last record.
    StoreStatus append(const QString& recordLine, bool* becameUtf8 = nullptr) const;

    // Appends, in their order and in one rewrite, the record lines whose name is neither a
    // record's nor a line's before them by nameKey(): what adding one by one would let through.
    // Nothing is written when every name is taken. *added and *taken count the lines.
    StoreStatus appendNew(const QStringList& recordLines, int* added = nullptr, int* taken = nullptr,
        bool* becameUtf8 = nullptr) const;

    // Replaces every record whose name equals name exactly by newLine, in its place. When no
    // record carries the name nothing is written and *replaced is 0.
    StoreStatus replaceRecords(const QString& name, const QString& newLine, int* replaced = nullptr,
        bool* becameUtf8 = nullptr) const;

    // Drops every record whose name equals name exactly. When none does nothing is written
    // and *removed is 0.
    StoreStatus removeRecords(const QString& name, int* removed = nullptr, bool* becameUtf8 = nullptr) const;

    // Applies, in one rewrite, each change whose record is still as it was read (a change made
    // meanwhile by the user is never overwritten) and whose new name no other record holds by
    // nameKey(). applied[i] tells whether changes[i] was made.
    StoreStatus applyChanges(const QList<RecordChange>& changes, QList<bool>* applied) const;

private:
    // False when there is nothing to read, with *status Ok for a missing file (the empty
    // store) or ReadError for one that cannot be opened.
    bool openForReading(QFile& file, StoreStatus* status) const;
    StoreStatus readFile(RecordLines* lines) const;
    StoreStatus writeFile(const RecordLines& lines, StoreLock& lock) const;
    // The file the path leads to, links followed; ReadError for a link to nothing.
    StoreStatus target(QString* target) const;
    // Waits for the lock that another running copy holds; fails at once where none can be made.
    // A save in place cut short is put back first.
    StoreStatus lock(StoreLock& lock, bool* restored = nullptr) const;

    template<typename Change>
    StoreStatus modify(Change change) const;

    QString m_folder;
    QString m_keepFolder;
};
