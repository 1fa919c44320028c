#include "davclient.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>

using namespace Qt::StringLiterals;

namespace {

// A server that stops answering fails the request instead of holding the sync for good; a large
// address book's first listing can keep a slow server silent for minutes.
constexpr int TransferTimeoutMs = 300000;

QString fingerprintText(const QByteArray& hex)
{
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        pairs.append(QString::fromLatin1(hex.mid(i, 2)));
    return pairs.join(u':');
}

bool sameOrigin(const QUrl& from, const QUrl& to)
{
    if (from.host().compare(to.host(), Qt::CaseInsensitive) != 0)
        return false;
    const auto port = [](const QUrl& u) { return u.port(u.scheme() == u"https"_s ? 443 : 80); };
    if (from.scheme() == to.scheme())
        return port(from) == port(to);
    // Up from http to https is the one change of scheme allowed: never down.
    return from.scheme() == u"http"_s && to.scheme() == u"https"_s;
}

} // namespace

DavClient::DavClient(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    // Redirects are followed here, where their method and body are kept.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void DavClient::setCredentials(const QString& user, const QString& password)
{
    // Sent with every request: a server that answers 401 to one without it would otherwise make
    // Qt ask for the password again, in a loop, where the password is already known to be wrong.
    m_authorization = user.isEmpty() ? QByteArray() : "Basic " + (user + u':' + password).toUtf8().toBase64();
}

void DavClient::setTrustedFingerprint(const QString& sha256)
{
    m_trusted = sha256.toLatin1().toUpper().replace(":", "").replace(" ", "");
}

bool DavClient::isAllowed(const QUrl& url)
{
    if (url.scheme() == u"https"_s)
        return true;
    if (url.scheme() != u"http"_s)
        return false;
    const QString host = url.host();
    return host == u"localhost"_s || QHostAddress(host).isLoopback();
}

void DavClient::request(
    const QByteArray& method, const QUrl& url, const QByteArray& body, const Headers& headers, Callback done)
{
    send(method, url, body, headers, std::move(done), 0);
}

void DavClient::send(const QByteArray& method, const QUrl& url, const QByteArray& body,
    const Headers& headers, Callback done, int redirects)
{
    if (!isAllowed(url)) {
        DavResponse r;
        r.url = url;
        r.error = u"O servidor precisa de HTTPS: %1"_s.arg(url.toDisplayString());
        done(r);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(TransferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (!m_authorization.isEmpty())
        request.setRawHeader("Authorization", m_authorization);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    ++m_requests;
    QNetworkReply* reply = m_network->sendCustomRequest(request, method, body);
    auto fingerprint = std::make_shared<QByteArray>();
    connect(
        reply, &QNetworkReply::sslErrors, reply, [this, reply, fingerprint](const QList<QSslError>& errors) {
            const QSslCertificate cert = reply->sslConfiguration().peerCertificate();
            *fingerprint = cert.digest(QCryptographicHash::Sha256).toHex().toUpper();
            // Only the certificate the user trusted by its fingerprint is taken; anything else fails.
            if (!m_trusted.isEmpty() && *fingerprint == m_trusted)
                reply->ignoreSslErrors(errors);
        });
    connect(reply, &QNetworkReply::finished, this,
        [this, reply, method, url, body, headers, done = std::move(done), redirects, fingerprint]() {
            reply->deleteLater();
            DavResponse r;
            r.url = url;
            r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            r.body = reply->readAll();
            for (const auto& [name, value] : reply->rawHeaderPairs())
                r.headers.insert(name.toLower(), value);
            const QNetworkReply::NetworkError error = reply->error();
            if (r.status == 401) {
                r.error = u"Senha recusada"_s;
            } else if (error == QNetworkReply::SslHandshakeFailedError) {
                r.fingerprint = fingerprintText(*fingerprint);
                m_lastFingerprint = r.fingerprint;
                r.error = u"Certificado do servidor não confiável (SHA-256 %1)"_s.arg(r.fingerprint);
            } else if (r.status == 0
                || (error != QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError)) {
                // No answer, or one cut off mid-body: nothing of it counts.
                r.offline = true;
                r.error = u"Sem conexão com o servidor: %1"_s.arg(reply->errorString());
            } else if (r.status >= 300 && r.status < 400 && r.status != 304) {
                const QUrl target = url.resolved(QUrl::fromEncoded(r.header("location")));
                if (redirects >= MaxRedirects)
                    r.error = u"Redirecionamentos demais a partir de %1"_s.arg(url.toDisplayString());
                else if (!target.isValid() || !sameOrigin(url, target))
                    r.error = u"Redirecionamento recusado para %1"_s.arg(target.toDisplayString());
                else
                    return send(method, target, body, headers, done, redirects + 1);
            }
            done(r);
        });
}
