#pragma once

#include "davclient.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

// One address book discovery found: its address and the name the server gives it.
struct DavAddressBook {
    QUrl url;
    QString displayName; // may be empty
};

// What discovery found, or why it found nothing, told apart so that a window can say it plainly.
struct DavDiscoveryResult {
    enum class Failure { None, BadAddress, Offline, PasswordRefused, Untrusted, NoAddressBook, Unexpected };
    QList<DavAddressBook> books; // every address book found, in the server's order
    Failure failure = Failure::None;
    QString error; // the reason, in the engine's words; empty when books were found
    QString fingerprint; // the refused certificate's SHA-256, "AB:CD:...", for Untrusted
};

// Finds the address book behind the address a user typed: the server's /.well-known/carddav, the
// user's principal, its address book home, and the address books in it. An address book's own
// address is taken as it is.
class DavDiscovery : public QObject {
    Q_OBJECT
public:
    explicit DavDiscovery(DavClient* client, QObject* parent = nullptr);

    void start(const QUrl& url);

Q_SIGNALS:
    // Every address book found, for the user to pick one; emitted once, before finished().
    void discovered(const DavDiscoveryResult& result);
    // The one address book the address leads to. addressBook is empty on failure, and error says
    // why: also where several address books were found and the address names none of them.
    void finished(const QUrl& addressBook, const QString& error);

private:
    void examine(const QUrl& url, bool wellKnownTried);
    void listHome(const QUrl& home);
    void fail(
        const QString& error, DavDiscoveryResult::Failure failure = DavDiscoveryResult::Failure::Unexpected);
    void failOn(const DavResponse& response);
    void found(const QList<DavAddressBook>& books);

    DavClient* m_client;
    QUrl m_start;
    QSet<QUrl> m_seen;
};
