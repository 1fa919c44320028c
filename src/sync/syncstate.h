#pragma once

#include "synccard.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// One card as both sides had it after the last sync.
struct SyncItem {
    QString href; // as the server spells it
    QString etag; // empty when the server gave none: the card is fetched again next time
    QByteArray card; // the server's text, patched for every change sent
    SyncCard::Fields fields; // the fields both sides agreed on
    QString localName; // the record's name: the card's name, or with a suffix where it collided
    bool pending = false; // created here, not yet seen in a listing of the server

    friend bool operator==(const SyncItem&, const SyncItem&) = default;
};

// What one contacts file knows of its address book between syncs. It lives in the user's data
// folder, one file per contacts file (named from its resolved path), and is written atomically.
struct SyncState {
    QString store; // the contacts file's resolved path
    QString collection; // the address book's URL
    QString syncToken;
    QString ctag;
    // A digest of the contacts file as the items agree with it, after a sync that left nothing
    // undone; empty when the file may differ from them. Same digest, same records: a sync that
    // hears of no change on the server then has nothing to plan.
    QByteArray localDigest;
    bool hasPending = false; // a card created here is not yet confirmed; set by save() and loadHeader()
    QHash<QString, SyncItem> items; // by hrefKey()

    static QString hrefKey(const QString& href);

    // The file for a contacts file; folder is the per-user data folder.
    static QString pathFor(const QString& folder, const QString& storePath);

    // A missing file is the empty state; false for one that cannot be read or makes no sense.
    bool load(const QString& path);
    // All but the items, which load() reads where they are needed. The file is still checked
    // whole: its cards must fill exactly the length it was written with.
    bool loadHeader(const QString& path);
    bool save(const QString& path) const;

    static QByteArray digest(const QByteArray& bytes);

private:
    bool read(const QString& path, bool withItems);
};
