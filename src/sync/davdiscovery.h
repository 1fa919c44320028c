#pragma once

#include "davclient.h"

#include <QObject>
#include <QSet>
#include <QUrl>

// Finds the address book behind the address a user typed: the server's /.well-known/carddav, the
// user's principal, its address book home, and the address books in it. An address book's own
// address is taken as it is.
class DavDiscovery : public QObject {
    Q_OBJECT
public:
    explicit DavDiscovery(DavClient* client, QObject* parent = nullptr);

    void start(const QUrl& url);

Q_SIGNALS:
    // addressBook is empty on failure, and error says why.
    void finished(const QUrl& addressBook, const QString& error);

private:
    void examine(const QUrl& url, bool wellKnownTried);
    void listHome(const QUrl& home);
    void fail(const QString& error);

    DavClient* m_client;
    QUrl m_start;
    QSet<QUrl> m_seen;
};
