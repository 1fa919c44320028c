#include "syncengine.h"

#include "multistatus.h"
#include "recordlines.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTimer>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Cards fetched per addressbook-multiget.
constexpr qsizetype MultigetBatch = 250;
// A 412 means the card changed while we planned: the card is fetched again and the sync planned
// anew, this many times at most.
constexpr int MaxReplans = 2;
// Changes sent at once: the server takes in and parses one while it stores the other. More gain
// nothing where the server stores one card at a time under a lock (Radicale does, and reads
// every card of the address book for the new one's UID while it holds it); there the ones
// waiting only compete with the one being stored.
constexpr int ParallelRequests = 2;
// A 503 with a Retry-After this short is waited out once.
constexpr int MaxRetryAfterSeconds = 30;

QByteArray syncCollectionBody(const QString& token)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>"
        + token.toHtmlEscaped().toUtf8()
        + "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>\n";
}

const QByteArray CtagBody = R"(<?xml version="1.0" encoding="utf-8"?>
<d:propfind xmlns:d="DAV:" xmlns:cs="http://calendarserver.org/ns/"><d:prop><cs:getctag/></d:prop></d:propfind>
)";

const QByteArray EtagBody = R"(<?xml version="1.0" encoding="utf-8"?>
<d:propfind xmlns:d="DAV:"><d:prop><d:resourcetype/><d:getetag/></d:prop></d:propfind>
)";

QString strongEtag(const QByteArray& etag)
{
    // A weak etag cannot guard an If-Match: the card is fetched again next time instead.
    return etag.startsWith("W/") ? QString() : QString::fromUtf8(etag);
}

} // namespace

QString SyncResult::summary() const
{
    if (!ok())
        return error;
    return u"Sincronizado: %1 recebidos, %2 enviados, %3 mesclados, %4 conflitos, %5 ignorados"_s
        .arg(received)
        .arg(sent)
        .arg(merged)
        .arg(conflicts)
        .arg(skipped);
}

SyncEngine::SyncEngine(SyncOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_client(new DavClient(this))
{
    m_client->setCredentials(m_options.account.user, m_options.password);
    m_client->setTrustedFingerprint(m_options.account.fingerprint);
}

QString SyncEngine::statePath() const
{
    return SyncState::pathFor(m_options.dataFolder, ContactStore(m_options.storeFolder).path());
}

QString SyncEngine::backupPath(const QString& dataFolder, const QDate& day)
{
    return QDir(dataFolder).filePath(u"contatos-excluidos-"_s + day.toString(u"yyyy-MM-dd"_s) + u".vcf"_s);
}

void SyncEngine::noteFailedAnswer(const DavResponse& response)
{
    m_result.status = response.status;
    m_result.offline = response.offline;
    // Seconds, or an HTTP date.
    const QByteArray retry = response.header("retry-after").trimmed();
    bool numeric = false;
    const int seconds = retry.toInt(&numeric);
    if (numeric) {
        m_result.retryAfter = std::max(0, seconds);
    } else if (!retry.isEmpty()) {
        const QDateTime at
            = QLocale::c().toDateTime(QString::fromLatin1(retry).chopped(4), u"ddd, dd MMM yyyy HH:mm:ss"_s);
        if (at.isValid())
            m_result.retryAfter = int(std::max<qint64>(
                0, QDateTime::currentDateTimeUtc().secsTo(QDateTime(at.date(), at.time(), Qt::UTC))));
    }
}

void SyncEngine::fail(const QString& error, const DavResponse* response)
{
    m_result.error = error;
    if (response) {
        m_result.fingerprint = response->fingerprint;
        noteFailedAnswer(*response);
    }
    done();
}

void SyncEngine::done()
{
    if (std::exchange(m_finished, true))
        return;
    m_lock.unlock();
    Q_EMIT finished(m_result);
}

void SyncEngine::start()
{
    QDir().mkpath(m_options.dataFolder);
    // The window and the command line never sync one contacts file at the same time.
    switch (m_lock.tryLock(statePath() + u".lock"_s)) {
    case SyncLock::Result::Locked:
        break;
    case SyncLock::Result::Busy:
        m_result.busy = true;
        return fail(u"Outra sincronização deste arquivo já está em andamento"_s);
    case SyncLock::Result::Failed:
        return fail(u"Não foi possível gravar em %1"_s.arg(m_options.dataFolder));
    }
    // The cards are read only where the sync needs them: a sync with nothing to do needs none.
    if (!m_state.loadHeader(statePath()))
        return fail(u"Estado da sincronização ilegível: %1"_s.arg(statePath()));
    m_itemsLoaded = !m_state.items.isEmpty(); // an older layout is read whole
    const QString collection = m_options.account.addressBook.toString();
    if (m_state.collection != collection) {
        // Another address book: its cards are met as new, and matched to records by name.
        m_state = SyncState();
        m_state.collection = collection;
        m_itemsLoaded = true;
    }
    m_state.store = QFileInfo(ContactStore(m_options.storeFolder).path()).absoluteFilePath();
    list();
}

bool SyncEngine::loadItems()
{
    if (m_itemsLoaded)
        return true;
    SyncState full;
    if (!full.load(statePath())) {
        fail(u"Estado da sincronização ilegível: %1"_s.arg(statePath()));
        return false;
    }
    full.store = m_state.store;
    m_state = full;
    m_itemsLoaded = true;
    return true;
}

bool SyncEngine::readLocal(QByteArray* bytes) const
{
    // As the store reads it: a missing file is the empty store, a link to nothing a disk not there.
    const QString path = ContactStore(m_options.storeFolder).path();
    QFile file(path);
    bytes->clear();
    if (!file.exists())
        return !QFileInfo(path).isSymLink();
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool SyncEngine::nothingToDo() const
{
    // Nothing changed on the server since the last sync (the caller knows), no create waits for
    // its confirmation, and the contacts file holds exactly the records the last sync left.
    if (m_state.hasPending || m_state.localDigest.isEmpty())
        return false;
    QByteArray bytes;
    return readLocal(&bytes) && SyncState::digest(bytes) == m_state.localDigest;
}

QByteArray SyncEngine::agreedDigest() const
{
    QByteArray bytes;
    if (!readLocal(&bytes))
        return {};
    const QByteArray digest = SyncState::digest(bytes);
    // Planned as the next sync would plan it if the server changed nothing meanwhile.
    SyncPlan::Input in;
    in.localLines = RecordLines(std::move(bytes)).texts();
    in.state = &m_state;
    for (auto it = m_state.items.cbegin(); it != m_state.items.cend(); ++it) {
        in.serverEtags.insert(it.key(), it->etag);
        in.serverHrefs.insert(it.key(), it->href);
    }
    in.today = m_options.today;
    in.newUid = [] { return QString(); };
    const SyncPlan::Plan plan = SyncPlan::plan(in);
    const bool nothing = plan.local.isEmpty() && plan.server.isEmpty() && plan.stop.isEmpty()
        && plan.skipped == 0 && plan.items == m_state.items;
    return nothing ? digest : QByteArray();
}

bool SyncEngine::isCollection(const QString& href) const
{
    const auto norm = [](QString p) { return p.endsWith(u'/') ? p : p + u'/'; };
    return norm(SyncState::hrefKey(href)) == norm(SyncState::hrefKey(m_options.account.addressBook.path()));
}

void SyncEngine::list()
{
    Q_EMIT progress(u"Consultando o servidor"_s);
    m_etags.clear();
    m_hrefs.clear();
    m_fetched.clear();
    m_newToken.clear();
    m_newCtag = m_state.ctag;
    syncCollection(m_state.syncToken, 0);
}

void SyncEngine::syncCollection(const QString& token, int page)
{
    m_client->request("REPORT", m_options.account.addressBook, syncCollectionBody(token),
        { { "Depth", "0" } }, [this, token, page](const DavResponse& r) {
            if (!r.error.isEmpty())
                return fail(r.error, &r);
            if (r.status >= 500)
                return fail(u"O servidor respondeu %1"_s.arg(r.status), &r);
            if (!r.ok())
                return fallbackListing(); // no sync-collection, or a token it no longer takes
            const std::optional<Multistatus> m = parseMultistatus(r.body);
            if (!m)
                return fail(u"Resposta inesperada do servidor"_s, &r);
            if (page == 0) {
                m_full = token.isEmpty();
                m_changes.clear();
            }
            // A server may send the changes in parts: the collection itself answered 507 says
            // more follow from the token given with this part.
            bool truncated = false;
            const qsizetype before = m_changes.size();
            for (const DavResource& res : m->responses) {
                if (isCollection(res.href))
                    truncated = truncated || res.status == 507;
                else
                    m_changes.append(
                        { res.href, res.status == 404 ? QString() : res.etag, res.status == 404 });
            }
            m_newToken = m->syncToken;
            if (truncated) {
                // A part that moves nothing forward would be asked for again for ever.
                if (m->syncToken.isEmpty() || (m->syncToken == token && m_changes.size() == before))
                    return fail(u"Resposta inesperada do servidor"_s, &r);
                return syncCollection(m->syncToken, page + 1);
            }
            if (!m_full && m_changes.isEmpty() && m_newToken == m_state.syncToken && m_followUps == 0
                && m_attempt == 0 && nothingToDo())
                return done();
            if (!loadItems())
                return;
            if (!m_full) {
                for (auto it = m_state.items.cbegin(); it != m_state.items.cend(); ++it) {
                    if (it->pending)
                        continue;
                    m_etags.insert(it.key(), it->etag);
                    m_hrefs.insert(it.key(), it->href);
                }
            }
            for (const Change& c : std::as_const(m_changes)) {
                const QString key = SyncState::hrefKey(c.href);
                if (c.removed) {
                    m_etags.remove(key);
                } else {
                    m_etags.insert(key, c.etag);
                    m_hrefs.insert(key, c.href);
                }
            }
            m_changes.clear();
            fetch();
        });
}

std::optional<Multistatus> SyncEngine::multistatusOf(const DavResponse& r)
{
    if (!r.error.isEmpty()) {
        fail(r.error, &r);
        return std::nullopt;
    }
    std::optional<Multistatus> m = r.ok() ? parseMultistatus(r.body) : std::nullopt;
    if (!m)
        fail(r.ok() ? u"Resposta inesperada do servidor"_s : u"O servidor respondeu %1"_s.arg(r.status), &r);
    return m;
}

void SyncEngine::fallbackListing()
{
    // Whatever a change list brought before it was refused is no part of a full listing.
    m_etags.clear();
    m_hrefs.clear();
    m_client->request("PROPFIND", m_options.account.addressBook, CtagBody, { { "Depth", "0" } },
        [this](const DavResponse& r) {
            const std::optional<Multistatus> m = multistatusOf(r);
            if (!m)
                return;
            const QString ctag = m->responses.isEmpty() ? QString() : m->responses.first().ctag;
            m_newCtag = ctag;
            if (!ctag.isEmpty() && ctag == m_state.ctag) {
                // Nothing changed on the server since the last sync.
                if (m_followUps == 0 && m_attempt == 0 && nothingToDo())
                    return done();
                if (!loadItems())
                    return;
                m_full = false;
                for (const SyncItem& item : std::as_const(m_state.items)) {
                    if (!item.pending) {
                        m_etags.insert(SyncState::hrefKey(item.href), item.etag);
                        m_hrefs.insert(SyncState::hrefKey(item.href), item.href);
                    }
                }
                return fetch();
            }
            listEtags();
        });
}

void SyncEngine::listEtags()
{
    m_client->request("PROPFIND", m_options.account.addressBook, EtagBody, { { "Depth", "1" } },
        [this](const DavResponse& r) {
            const std::optional<Multistatus> m = multistatusOf(r);
            if (!m)
                return;
            if (!loadItems())
                return;
            m_full = true;
            for (const DavResource& res : m->responses) {
                if (isCollection(res.href) || res.isCollection || res.href.isEmpty())
                    continue;
                m_etags.insert(SyncState::hrefKey(res.href), res.etag);
                m_hrefs.insert(SyncState::hrefKey(res.href), res.href);
            }
            fetch();
        });
}

void SyncEngine::fetch()
{
    m_toFetch.clear();
    for (auto it = m_etags.cbegin(); it != m_etags.cend(); ++it) {
        const auto known = m_state.items.constFind(it.key());
        // A card made here is known by the etag its PUT was answered with.
        if (known == m_state.items.cend() || known->etag != it.value() || known->etag.isEmpty())
            m_toFetch.append(it.key());
    }
    if (!m_toFetch.isEmpty())
        Q_EMIT progress(u"Recebendo %1 contatos"_s.arg(m_toFetch.size()));
    fetchBatch(0);
}

void SyncEngine::fetchBatch(qsizetype from)
{
    if (from >= m_toFetch.size())
        return apply();
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<c:addressbook-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
                      "<d:prop><d:getetag/><c:address-data/></d:prop>";
    const qsizetype to = std::min(from + MultigetBatch, m_toFetch.size());
    for (qsizetype i = from; i < to; ++i)
        body += "<d:href>" + m_hrefs.value(m_toFetch[i]).toHtmlEscaped().toUtf8() + "</d:href>";
    body += "</c:addressbook-multiget>\n";
    m_client->request("REPORT", m_options.account.addressBook, body, { { "Depth", "1" } },
        [this, to](const DavResponse& r) {
            const std::optional<Multistatus> m = multistatusOf(r);
            if (!m)
                return;
            for (const DavResource& res : m->responses) {
                if (!res.hasAddressData)
                    continue;
                const QString key = SyncState::hrefKey(res.href);
                m_fetched.insert(key, res.addressData);
                if (!res.etag.isEmpty() && m_etags.contains(key))
                    m_etags[key] = res.etag;
            }
            fetchBatch(to);
        });
}

void SyncEngine::apply()
{
    const ContactStore store(m_options.storeFolder);
    SyncPlan::Input in;
    // The records are planned from, and the digest taken of, the same bytes.
    QByteArray bytes;
    if (!readLocal(&bytes))
        return fail(u"Não foi possível ler o arquivo de contatos"_s);
    m_readDigest = SyncState::digest(bytes);
    in.localLines = RecordLines(std::move(bytes)).texts();
    in.state = &m_state;
    in.serverEtags = m_etags;
    in.serverHrefs = m_hrefs;
    in.fetched = m_fetched;
    in.fullListing = m_full;
    in.collectionPath = m_options.account.addressBook.path(QUrl::FullyEncoded);
    if (!in.collectionPath.endsWith(u'/'))
        in.collectionPath.append(u'/');
    in.today = m_options.today;
    in.forceDelete = m_options.forceDelete;
    in.newUid = [] { return QUuid::createUuid().toString(QUuid::WithoutBraces); };
    m_plan = SyncPlan::plan(in);
    m_result.skipped = m_plan.skipped;
    if (!m_plan.stop.isEmpty()) {
        m_result.stopped = true;
        return fail(m_plan.stop);
    }

    // Every card about to be created is in the state before its PUT: a sync cut short after the
    // server took it finds it there, and never sends it twice.
    SyncState interim = m_state;
    for (const SyncPlan::ServerAction& a : std::as_const(m_plan.server))
        if (a.kind == SyncPlan::ServerAction::Create && a.onFailure)
            interim.items[a.key] = *a.onFailure;
    if (interim.items != m_state.items && !interim.save(statePath()))
        return fail(u"Não foi possível gravar o estado da sincronização em %1"_s.arg(statePath()));

    QHash<QString, SyncItem> items = m_plan.items;
    QSet<QString> skippedKeys;
    if (!m_plan.local.isEmpty()) {
        // The contacts the sync removes are kept before the file loses them.
        QByteArray removed;
        QList<RecordChange> changes;
        QList<qsizetype> made; // the local action of each change handed to the store
        const auto heldBack = [this](const QString& line) {
            return !line.isEmpty() && m_options.leaveAlone.contains(nameKey(recordName(line).toString()));
        };
        for (qsizetype i = 0; i < m_plan.local.size(); ++i) {
            const SyncPlan::LocalAction& a = m_plan.local[i];
            if (heldBack(a.change.oldLine) || heldBack(a.change.newLine))
                continue;
            removed += a.removedCard;
            changes.append(a.change);
            made.append(i);
        }
        if (!removed.isEmpty()) {
            QFile backup(backupPath(m_options.dataFolder, m_options.today));
            if (!backup.open(QIODevice::WriteOnly | QIODevice::Append)
                || backup.write(removed) != removed.size() || !backup.flush())
                return fail(u"Não foi possível guardar os contatos excluídos em %1"_s.arg(backup.fileName()));
        }
        QList<bool> stored;
        if (!changes.isEmpty() && store.applyChanges(changes, &stored) != StoreStatus::Ok)
            return fail(u"Não foi possível gravar o arquivo de contatos"_s);
        QList<bool> applied(m_plan.local.size(), false);
        for (qsizetype j = 0; j < made.size() && j < stored.size(); ++j)
            applied[made[j]] = stored[j];
        for (qsizetype i = 0; i < applied.size(); ++i) {
            const SyncPlan::LocalAction& a = m_plan.local[i];
            if (applied[i]) {
                ++m_result.received;
                const QString name = recordName(a.change.newLine).toString();
                if (!a.removedCard.isEmpty())
                    m_result.removedNames.append(recordName(a.change.oldLine).toString());
                else if (a.change.oldLine.isEmpty() && name.contains(u" (conflito "_s))
                    m_result.conflictNames.append(name);
                continue;
            }
            // The user changed the record meanwhile: the card waits for the next sync.
            ++m_result.skipped;
            m_allDone = false;
            skippedKeys.insert(a.key);
            if (a.onSkip)
                items[a.key] = *a.onSkip;
            else
                items.remove(a.key);
        }
    }
    m_localChanged = !m_plan.local.isEmpty();
    m_changed = m_changed || !m_plan.local.isEmpty() || !m_plan.server.isEmpty() || items != m_state.items;
    m_result.merged += m_plan.merged;
    m_result.conflicts += m_plan.conflicts;
    m_state.items = items;
    m_server.clear();
    for (const SyncPlan::ServerAction& a : std::as_const(m_plan.server))
        if (!skippedKeys.contains(a.key))
            m_server.append(a);
    if (!m_server.isEmpty())
        Q_EMIT progress(u"Enviando %1 alterações"_s.arg(m_server.size()));
    m_next = 0;
    m_inFlight = 0;
    m_stopSending = false;
    sendNext();
}

void SyncEngine::sendNext()
{
    while (!m_stopSending && m_inFlight < ParallelRequests && m_next < m_server.size()) {
        ++m_inFlight;
        send(m_next++, false);
    }
    if (m_inFlight > 0 || (m_next < m_server.size() && !m_stopSending))
        return;
    // Offline, or the password refused: what was not sent waits for the next sync.
    for (; m_next < m_server.size(); ++m_next) {
        const SyncPlan::ServerAction& rest = m_server[m_next];
        if (rest.onFailure)
            m_state.items[rest.key] = *rest.onFailure;
        else
            m_state.items.remove(rest.key);
    }
    endAttempt();
}

void SyncEngine::send(qsizetype index, bool retried)
{
    const SyncPlan::ServerAction& a = m_server[index];
    const QUrl url = m_options.account.addressBook.resolved(QUrl(a.href));
    DavClient::Headers headers;
    QByteArray method = "PUT";
    if (a.kind == SyncPlan::ServerAction::Create)
        headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
    else
        headers.append(qMakePair(QByteArray("If-Match"), a.etag.toUtf8()));
    if (a.kind == SyncPlan::ServerAction::Delete)
        method = "DELETE";
    else
        headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/vcard; charset=utf-8")));
    m_client->request(method, url, a.kind == SyncPlan::ServerAction::Delete ? QByteArray() : a.card, headers,
        [this, index, retried](const DavResponse& r) {
            const SyncPlan::ServerAction& a = m_server[index];
            const auto setItem = [this, &a](const std::optional<SyncItem>& item, const QString& etag) {
                if (!item) {
                    m_state.items.remove(a.key);
                    return;
                }
                SyncItem i = *item;
                if (!etag.isNull())
                    i.etag = etag;
                m_state.items[a.key] = i;
            };
            if (r.status == 503 && !retried && r.error.isEmpty()) {
                bool numeric = false;
                const int wait = r.header("retry-after").trimmed().toInt(&numeric);
                if (numeric && wait >= 0 && wait <= MaxRetryAfterSeconds) {
                    QTimer::singleShot(wait * 1000, this, [this, index] { send(index, true); });
                    return;
                }
            }
            --m_inFlight;
            if (r.ok()
                || (a.kind == SyncPlan::ServerAction::Delete && r.status == 404 && r.error.isEmpty())) {
                ++m_result.sent;
                m_wrote = true;
                setItem(a.onSuccess, strongEtag(r.header("etag")));
                return sendNext();
            }
            setItem(a.onFailure, QString());
            m_allDone = false;
            noteFailedAnswer(r);
            if (!r.error.isEmpty()) {
                m_stopSending = true;
                m_serverError = r.error;
                m_result.offline = r.offline;
            } else if (r.status == 412) {
                m_replan = true;
            } else {
                m_serverError = u"O servidor respondeu %1"_s.arg(r.status);
            }
            sendNext();
        });
}

void SyncEngine::endAttempt()
{
    // A token or ctag is kept only with everything it covers: anything left undone is listed again.
    const bool settled = m_allDone && !m_replan && m_serverError.isEmpty();
    if (settled && (m_state.syncToken != m_newToken || m_state.ctag != m_newCtag)) {
        m_state.syncToken = m_newToken;
        m_state.ctag = m_newCtag;
        m_changed = true;
    }
    const bool followUp = m_wrote && settled && !m_state.syncToken.isEmpty() && m_followUps < MaxReplans;
    // This pass is over: what it listed, fetched and planned is let go before anything is planned
    // again, so that a large first sync never holds two plans.
    m_plan = SyncPlan::Plan();
    m_server.clear();
    m_fetched.clear();
    m_etags.clear();
    m_hrefs.clear();
    m_toFetch.clear();
    // The items now agree with the records this pass planned from, where it changed none of
    // them and left nothing undone; where it changed some, with the file as it now stands if a
    // plan from it finds nothing to do. Else the next sync plans from the file again.
    const bool known = std::none_of(m_state.items.cbegin(), m_state.items.cend(),
        [](const SyncItem& item) { return item.pending || item.etag.isEmpty(); });
    QByteArray digest;
    if (settled && known && !m_localChanged)
        digest = m_readDigest;
    else if (settled && known && !followUp)
        digest = agreedDigest();
    if (digest != m_state.localDigest) {
        m_state.localDigest = digest;
        m_changed = true;
    }
    // A sync that found nothing to do writes nothing.
    if (m_changed && !m_state.save(statePath()))
        return fail(u"Não foi possível gravar o estado da sincronização em %1"_s.arg(statePath()));
    if (!m_serverError.isEmpty())
        return fail(m_serverError);
    if (followUp) {
        // The token predates what was just written: the changes since it are listed once more,
        // which shows the cards made here and gives a token that covers them.
        ++m_followUps;
        m_wrote = false;
        return list();
    }
    if (m_replan) {
        if (m_attempt++ >= MaxReplans)
            return fail(u"Os contatos mudaram no servidor durante a sincronização; sincronize de novo"_s);
        m_replan = false;
        m_wrote = false;
        m_allDone = true;
        return list();
    }
    done();
}
