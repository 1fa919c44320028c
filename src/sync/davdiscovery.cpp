#include "davdiscovery.h"

#include "multistatus.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray PropfindBody = R"(<?xml version="1.0" encoding="utf-8"?>
<d:propfind xmlns:d="DAV:" xmlns:card="urn:ietf:params:xml:ns:carddav">
  <d:prop><d:resourcetype/><d:displayname/><d:current-user-principal/><card:addressbook-home-set/></d:prop>
</d:propfind>
)";

bool samePath(const QUrl& a, const QUrl& b)
{
    const auto norm = [](const QUrl& u) {
        QString p = u.path();
        if (!p.endsWith(u'/'))
            p.append(u'/');
        return p;
    };
    return norm(a) == norm(b);
}

} // namespace

DavDiscovery::DavDiscovery(DavClient* client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
}

void DavDiscovery::fail(const QString& error, DavDiscoveryResult::Failure failure)
{
    DavDiscoveryResult result;
    result.failure = failure;
    result.error = error;
    Q_EMIT discovered(result);
    Q_EMIT finished({}, error);
}

void DavDiscovery::failOn(const DavResponse& r)
{
    DavDiscoveryResult result;
    result.error = r.error;
    result.fingerprint = r.fingerprint;
    if (r.status == 401)
        result.failure = DavDiscoveryResult::Failure::PasswordRefused;
    else if (!r.fingerprint.isEmpty())
        result.failure = DavDiscoveryResult::Failure::Untrusted;
    else if (r.offline)
        result.failure = DavDiscoveryResult::Failure::Offline;
    else
        result.failure = DavDiscoveryResult::Failure::Unexpected;
    Q_EMIT discovered(result);
    Q_EMIT finished({}, r.error);
}

void DavDiscovery::found(const QList<DavAddressBook>& books)
{
    if (books.isEmpty())
        return fail(u"Nenhum catálogo de endereços encontrado em %1"_s.arg(m_start.toDisplayString()),
            DavDiscoveryResult::Failure::NoAddressBook);
    DavDiscoveryResult result;
    result.books = books;
    Q_EMIT discovered(result);
    if (books.size() == 1)
        return Q_EMIT finished(books.first().url, QString());
    // Only the one named by its own address is taken without asking: the command line cannot ask.
    QStringList names;
    for (const DavAddressBook& b : books)
        names.append(b.url.toDisplayString());
    Q_EMIT finished({},
        u"Há vários catálogos de endereços; informe o endereço de um deles: %1"_s.arg(names.join(u", "_s)));
}

void DavDiscovery::start(const QUrl& url)
{
    m_start = url;
    if (!url.isValid() || url.host().isEmpty())
        return fail(u"Endereço inválido: %1"_s.arg(url.toString()), DavDiscoveryResult::Failure::BadAddress);
    if (!DavClient::isAllowed(url))
        return fail(u"O servidor precisa de HTTPS: %1"_s.arg(url.toDisplayString()),
            DavDiscoveryResult::Failure::BadAddress);
    // A bare server address: the server says where its address books are.
    if (url.path().isEmpty() || url.path() == u"/"_s)
        return examine(url.resolved(QUrl(u"/.well-known/carddav"_s)), false);
    examine(url, true);
}

void DavDiscovery::examine(const QUrl& url, bool wellKnownTried)
{
    if (m_seen.contains(url))
        return found({});
    m_seen.insert(url);
    m_client->request("PROPFIND", url, PropfindBody, { { "Depth", "0" } },
        [this, url, wellKnownTried](const DavResponse& r) {
            if (!r.error.isEmpty())
                return failOn(r);
            if (!r.ok()) {
                if (!wellKnownTried)
                    return examine(m_start.resolved(QUrl(u"/"_s)), true);
                return fail(u"O servidor respondeu %1 em %2"_s.arg(r.status).arg(r.url.toDisplayString()));
            }
            const std::optional<Multistatus> m = parseMultistatus(r.body);
            if (!m)
                return fail(u"Resposta inesperada do servidor em %1"_s.arg(r.url.toDisplayString()));
            const DavResource* self = nullptr;
            for (const DavResource& res : m->responses)
                if (samePath(r.url.resolved(QUrl(res.href)), r.url) || m->responses.size() == 1)
                    self = &res;
            if (!self)
                return fail(u"Resposta inesperada do servidor em %1"_s.arg(r.url.toDisplayString()));
            if (self->isAddressBook)
                return found({ { r.url, self->displayName } });
            if (!self->homeSet.isEmpty())
                return listHome(r.url.resolved(QUrl(self->homeSet.first())));
            if (!self->principal.isEmpty()) {
                const QUrl principal = r.url.resolved(QUrl(self->principal.first()));
                if (!samePath(principal, r.url))
                    return examine(principal, true);
            }
            // A plain collection: perhaps the address books are right inside it.
            listHome(r.url);
        });
}

void DavDiscovery::listHome(const QUrl& home)
{
    m_client->request(
        "PROPFIND", home, PropfindBody, { { "Depth", "1" } }, [this, home](const DavResponse& r) {
            if (!r.error.isEmpty())
                return failOn(r);
            const std::optional<Multistatus> m = r.ok() ? parseMultistatus(r.body) : std::nullopt;
            if (!m)
                return fail(u"Resposta inesperada do servidor em %1"_s.arg(home.toDisplayString()));
            QList<DavAddressBook> books;
            for (const DavResource& res : m->responses)
                if (res.isAddressBook)
                    books.append({ r.url.resolved(QUrl(res.href)), res.displayName });
            found(books);
        });
}
