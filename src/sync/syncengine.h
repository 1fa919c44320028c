#pragma once

#include "davclient.h"
#include "multistatus.h"
#include "syncaccount.h"
#include "synclock.h"
#include "syncplan.h"
#include "syncstate.h"

#include <QDate>
#include <QObject>
#include <QSet>

#include <optional>

// What one sync did, for the command line and the window alike.
struct SyncResult {
    int received = 0; // changes made to the contacts file
    int sent = 0; // changes the server took
    int merged = 0; // contacts both sides changed, merged field by field
    int conflicts = 0; // contacts both sides changed in the same field: kept twice
    int skipped = 0; // cards that could not be read, and records changed while the sync ran
    QString error; // empty on success
    QString fingerprint; // an untrusted certificate's SHA-256, where that was the error
    bool stopped = false; // a safety stop: nothing was changed, --force-delete lets it go on
    bool offline = false;
    bool busy = false; // another sync of the same file was running: nothing was done
    int status = 0; // the HTTP status of the answer that failed the run, where one did
    int retryAfter = 0; // seconds the server asked to be left alone (Retry-After); 0 for none
    QStringList conflictNames; // the second contacts made for conflicts
    QStringList removedNames; // the contacts removed from the file, kept in the day's backup

    bool ok() const { return error.isEmpty(); }
    // One line in Portuguese.
    QString summary() const;
};

struct SyncOptions {
    QString storeFolder; // where LBcontatos.txt is
    QString dataFolder; // the user's data folder: the state and the deleted contacts' backups
    SyncAccount account;
    QString password;
    bool forceDelete = false;
    QDate today = QDate::currentDate();
    // Records the sync must not change in this run (by nameKey()): the window's contact being
    // edited. Their cards wait for the next sync, counted as skipped.
    QSet<QString> leaveAlone;
};

// One sync of a contacts file with its address book, run on Qt's event loop: every request is
// asynchronous, and the contacts file is touched only through the store, under its lock, in one
// short rewrite. Being offline is an error that changes nothing: the changes wait for the next
// sync. Start it once; it emits finished() once.
class SyncEngine : public QObject {
    Q_OBJECT
public:
    explicit SyncEngine(SyncOptions options, QObject* parent = nullptr);

    void start();
    DavClient* client() { return m_client; }
    QString statePath() const;

    // Where the contacts a sync deletes from the file are kept: one vCard file per day.
    static QString backupPath(const QString& dataFolder, const QDate& day);

Q_SIGNALS:
    void progress(const QString& text);
    void finished(const SyncResult& result);

private:
    void list();
    // page counts the parts of a change list the server sent in several.
    void syncCollection(const QString& token, int page);
    void fallbackListing();
    void listEtags();
    void fetch();
    void fetchBatch(qsizetype from);
    void apply();
    void sendNext();
    void send(qsizetype index, bool retried);
    void endAttempt();
    void fail(const QString& error, const DavResponse* response = nullptr);
    void noteFailedAnswer(const DavResponse& response);
    // The multistatus a request answered; nullopt, with the run failed, for an error or a body
    // that is not one.
    std::optional<Multistatus> multistatusOf(const DavResponse& r);
    void done();
    bool isCollection(const QString& href) const;
    // Reads the state's cards where only its header was read; false, with the run failed, where
    // they cannot be read.
    bool loadItems();
    bool readLocal(QByteArray* bytes) const;
    // Whether the contacts file is as the last sync left it, with nothing of it waiting.
    bool nothingToDo() const;
    // The digest of the contacts file where the state agrees with it as it now stands; empty
    // where it does not (a record changed since the sync read it).
    QByteArray agreedDigest() const;

    SyncOptions m_options;
    DavClient* m_client;
    SyncLock m_lock;
    SyncState m_state;
    bool m_itemsLoaded = false;
    SyncResult m_result;
    int m_attempt = 0;
    bool m_finished = false;

    // One attempt's listing and plan.
    QHash<QString, QString> m_etags;
    QHash<QString, QString> m_hrefs;
    bool m_full = false;
    QString m_newToken;
    struct Change {
        QString href;
        QString etag;
        bool removed = false;
    };
    QList<Change> m_changes; // a change list as it comes, in parts
    QByteArray m_readDigest; // of the contacts file as the last plan read it
    bool m_localChanged = false; // the last plan changed records
    QString m_newCtag;
    QStringList m_toFetch;
    QHash<QString, QByteArray> m_fetched;
    SyncPlan::Plan m_plan;
    QList<SyncPlan::ServerAction> m_server;
    bool m_allDone = true;
    bool m_replan = false;
    bool m_changed = false; // the state differs from its file
    bool m_wrote = false; // the server took a change in this pass
    int m_followUps = 0;
    qsizetype m_next = 0; // the next server action to send
    int m_inFlight = 0;
    bool m_stopSending = false;
    QString m_serverError;
};
