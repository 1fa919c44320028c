#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// One answer of the server, or why there is none.
struct DavResponse {
    int status = 0; // HTTP status; 0 when no answer came
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QUrl url; // where it came from, after redirects
    QString error; // non-empty: the request failed (no answer, refused password, untrusted certificate)
    QString fingerprint; // an untrusted certificate's SHA-256, "AB:CD:..."
    bool offline = false; // no connection could be made or it was lost

    bool ok() const { return error.isEmpty() && status >= 200 && status < 300; }
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

// An asynchronous WebDAV client on Qt's event loop. It follows redirects itself, with the same
// method and body (Qt turns a PROPFIND that met a 301 into a bodiless GET that seems to succeed),
// at most five and only to the same origin or from http to https of the same host. It speaks
// only HTTPS, except to a loopback address; a certificate the system does not trust is refused
// unless its SHA-256 fingerprint is the one trusted for this account. A refused password fails
// the request at once: the same password is never sent again.
class DavClient : public QObject {
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    using Callback = std::function<void(const DavResponse&)>;

    explicit DavClient(QObject* parent = nullptr);

    void setCredentials(const QString& user, const QString& password);
    // "AB:CD:..." or plain hex, either case.
    void setTrustedFingerprint(const QString& sha256);

    // Whether a request may go to url at all: HTTPS, or HTTP to a loopback address.
    static bool isAllowed(const QUrl& url);

    void request(const QByteArray& method, const QUrl& url, const QByteArray& body, const Headers& headers,
        Callback done);

    // Counts the requests sent, for the benchmark's figures.
    int requestCount() const { return m_requests; }
    // The SHA-256 of the last certificate refused, "AB:CD:..."; empty when none was.
    QString lastFingerprint() const { return m_lastFingerprint; }

    static constexpr int MaxRedirects = 5;

private:
    void send(const QByteArray& method, const QUrl& url, const QByteArray& body, const Headers& headers,
        Callback done, int redirects);

    QNetworkAccessManager* m_network;
    QByteArray m_authorization;
    QByteArray m_trusted; // hex, upper case
    int m_requests = 0;
    QString m_lastFingerprint;
};
