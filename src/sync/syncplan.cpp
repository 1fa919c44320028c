#include "syncplan.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;
using SyncCard::Fields;

namespace {

constexpr QString Fields::*AllFields[]
    = { &Fields::nome, &Fields::fone, &Fields::mail, &Fields::endereco, &Fields::complemento };

// Deleting more than this many of a side's contacts at once asks the user first.
int deleteLimit(qsizetype count)
{
    return std::max<int>(5, int(count / 5));
}

struct Merge {
    Fields result; // each field from the side that changed it; the server's where both did
    bool conflict = false;
};

Merge merge(const Fields& base, const Fields& local, const Fields& server)
{
    Merge m { server, false };
    for (const auto field : AllFields) {
        if (local.*field == server.*field || local.*field == base.*field)
            continue;
        if (server.*field == base.*field)
            m.result.*field = local.*field;
        else
            m.conflict = true;
    }
    return m;
}

class Planner {
public:
    explicit Planner(const SyncPlan::Input& in)
        : m_in(in)
        , m_date(formatRecordDate(in.today))
    {
    }

    SyncPlan::Plan run();

private:
    struct Local {
        QString line;
        ContactRecord record;
    };

    QString claimName(const QString& wanted, const QString& releasing);
    void pushUpdate(const QString& key, const SyncItem& item, const QString& etag, const QByteArray& card,
        const Fields& from, const Fields& to, const QString& localName);
    void pushCreate(const QString& key, const QString& href, const QByteArray& card, const Fields& fields,
        const QString& localName);
    void createNew(const Fields& fields);
    // Both sides changed the card (or, with an empty base, both had it before any sync).
    void mergeBoth(const QString& key, const SyncItem& before, const Fields& base, int localIndex,
        const Fields& local, const SyncItem& server);
    void checkSafety();

    const SyncPlan::Input& m_in;
    const QString m_date;
    SyncPlan::Plan m_plan;
    QList<Local> m_local;
    QHash<QString, int> m_usedKeys; // nameKey -> how many records will hold it
};

QString Planner::claimName(const QString& wanted, const QString& releasing)
{
    if (!releasing.isEmpty())
        --m_usedKeys[nameKey(releasing)];
    QString name = wanted;
    for (int n = 2; m_usedKeys.value(nameKey(name)) > 0; ++n)
        name = wanted + u" ("_s + QString::number(n) + u')';
    ++m_usedKeys[nameKey(name)];
    return name;
}

void Planner::pushUpdate(const QString& key, const SyncItem& item, const QString& etag,
    const QByteArray& card, const Fields& from, const Fields& to, const QString& localName)
{
    SyncItem success { item.href, QString(), SyncCard::patch(card, from, to), to, localName, false };
    // Not sent: the old agreement stands, and the record's change is found again next time.
    SyncItem failure = item;
    failure.localName = localName;
    m_plan.server.append(
        { SyncPlan::ServerAction::Update, key, item.href, etag, success.card, success, failure });
    m_plan.items[key] = success;
}

void Planner::pushCreate(const QString& key, const QString& href, const QByteArray& card,
    const Fields& fields, const QString& localName)
{
    // Recorded before it is sent: a sync cut short after the PUT finds the card under this
    // href and never sends it twice. It stays pending until a listing shows it: a change list
    // from a token older than the card could never tell that it was deleted.
    const SyncItem pending { href, QString(), card, fields, localName, true };
    m_plan.server.append({ SyncPlan::ServerAction::Create, key, href, QString(), card, pending, pending });
    m_plan.items[key] = pending;
}

void Planner::createNew(const Fields& fields)
{
    const QString uid = m_in.newUid();
    const QString href = m_in.collectionPath + uid + u".vcf"_s;
    pushCreate(SyncState::hrefKey(href), href, SyncCard::create(fields, uid), fields, fields.nome);
}

void Planner::mergeBoth(const QString& key, const SyncItem& before, const Fields& base, int localIndex,
    const Fields& local, const SyncItem& server)
{
    const Merge m = merge(base, local, server.fields);
    Fields kept = m.result;
    const QString oldName = m_local[localIndex].record.nome;
    // The name the record gets: its own where the result is the local name, else the server's,
    // suffixed where another record holds it.
    const QString localName = kept.nome == local.nome
        ? (kept.nome == base.nome && !before.localName.isEmpty() ? before.localName : oldName)
        : claimName(kept.nome, oldName);
    Fields asRecord = kept;
    asRecord.nome = localName;
    SyncItem agreed { server.href, server.etag, server.card, server.fields, localName, false };
    m_plan.items[key] = agreed;
    if (asRecord != SyncCard::fromRecord(m_local[localIndex].record)) {
        SyncItem skip = before;
        m_plan.local.append({ { m_local[localIndex].line, SyncCard::toRecordLine(asRecord, m_date) }, key, {},
            before.href.isEmpty() ? std::nullopt : std::optional(skip) });
    }
    if (kept != server.fields)
        pushUpdate(key, agreed, server.etag, server.card, server.fields, kept, localName);
    if (!m.conflict) {
        ++m_plan.merged;
        return;
    }
    // The local version is kept as a contact of its own, on both sides.
    ++m_plan.conflicts;
    Fields copy = local;
    copy.nome = local.nome + u" (conflito "_s + m_in.today.toString(u"dd/MM/yyyy"_s) + u')';
    copy.nome = claimName(copy.nome, {});
    const QString uid = m_in.newUid();
    const QString href = m_in.collectionPath + uid + u".vcf"_s;
    const QString copyKey = SyncState::hrefKey(href);
    m_plan.local.append({ { QString(), SyncCard::toRecordLine(copy, m_date) }, copyKey, {}, std::nullopt });
    pushCreate(copyKey, href, SyncCard::create(copy, uid), copy, copy.nome);
}

SyncPlan::Plan Planner::run()
{
    const SyncState& state = *m_in.state;
    QHash<QString, int> byName;
    QList<bool> linked;
    for (const QString& line : m_in.localLines) {
        const ContactRecord r = ContactRecord::fromLine(line);
        // A name held twice (an old file may have that) is synced once, by its first record.
        if (byName.contains(r.nome))
            continue;
        byName.insert(r.nome, int(m_local.size()));
        m_local.append({ line, r });
        ++m_usedKeys[nameKey(r.nome)];
    }
    linked.fill(false, m_local.size());

    // The local side of each known card: its record, found by the name it was given.
    QHash<QString, int> localOf;
    QStringList deleted;
    QList<QString> keys = state.items.keys();
    std::sort(keys.begin(), keys.end());
    int found = 0;
    for (const QString& key : keys) {
        const int i = byName.value(state.items[key].localName, -1);
        if (i >= 0 && !linked[i]) {
            localOf.insert(key, i);
            linked[i] = true;
            ++found;
        } else {
            deleted.append(key);
        }
    }
    // A rename here is a deleted and an added record: the two are one contact when exactly one
    // of each shares a phone or an e-mail.
    const auto shares = [](const Fields& a, const ContactRecord& b) {
        return (!a.fone.isEmpty() && a.fone == b.fone) || (!a.mail.isEmpty() && a.mail == b.mail);
    };
    QHash<QString, int> renamed;
    for (const QString& key : deleted) {
        int match = -1;
        int count = 0;
        for (int i = 0; i < m_local.size(); ++i)
            if (!linked[i] && shares(state.items[key].fields, m_local[i].record)) {
                match = i;
                ++count;
            }
        if (count != 1)
            continue;
        int back = 0;
        for (const QString& other : deleted)
            back += shares(state.items[other].fields, m_local[match].record) ? 1 : 0;
        if (back == 1)
            renamed.insert(key, match);
    }
    for (auto it = renamed.cbegin(); it != renamed.cend(); ++it) {
        localOf.insert(it.key(), it.value());
        linked[it.value()] = true;
        deleted.removeOne(it.key());
    }

    for (const QString& key : keys) {
        SyncItem item = state.items[key];
        const int li = localOf.value(key, -1);
        std::optional<Fields> local;
        if (li >= 0) {
            local = SyncCard::fromRecord(m_local[li].record);
            // The record's name is the card's, perhaps with the suffix it was given here.
            if (m_local[li].record.nome == item.localName)
                local->nome = item.fields.nome;
        }
        const bool listed = m_in.serverEtags.contains(key);
        const QString etag = m_in.serverEtags.value(key);
        // A card made here, listed with the strong etag its PUT was answered with, is the card
        // sent: seen on the server, and not fetched again.
        if (listed && item.pending && !item.etag.isEmpty() && etag == item.etag)
            item.pending = false;
        std::optional<SyncItem> server; // set where the server's card changed
        if (listed && (item.pending || etag != item.etag || item.etag.isEmpty())) {
            const QByteArray card = m_in.fetched.value(key);
            const std::optional<Fields> fields = SyncCard::read(card);
            if (!fields) {
                ++m_plan.skipped;
                m_plan.items[key] = item;
                continue;
            }
            server = SyncItem { m_in.serverHrefs.value(key, item.href), etag, card, *fields, item.localName,
                false };
        }
        const Fields& base = item.fields;
        m_plan.items[key] = item;
        if (!listed && item.pending) {
            // Its PUT never arrived: sent again, with what the record holds now.
            if (local) {
                const Fields now = *local;
                pushCreate(key, item.href, SyncCard::patch(item.card, base, now), now,
                    li >= 0 ? m_local[li].record.nome : item.localName);
            } else {
                m_plan.items.remove(key);
            }
            continue;
        }
        if (!listed) { // gone from the server
            if (local && *local != base) { // an edit wins over a delete
                pushCreate(key, item.href, SyncCard::patch(item.card, base, *local), *local,
                    m_local[li].record.nome);
            } else {
                m_plan.items.remove(key);
                if (local) {
                    --m_usedKeys[nameKey(m_local[li].record.nome)];
                    m_plan.local.append({ { m_local[li].line, QString() }, key, item.card, item });
                }
            }
            continue;
        }
        if (!local) { // gone from the contacts file
            if (server && server->fields != base) { // an edit wins over a delete
                server->localName = claimName(server->fields.nome, {});
                Fields asRecord = server->fields;
                asRecord.nome = server->localName;
                m_plan.local.append(
                    { { QString(), SyncCard::toRecordLine(asRecord, m_date) }, key, {}, item });
                m_plan.items[key] = *server;
            } else {
                const SyncItem& current = server ? *server : item;
                m_plan.items.remove(key);
                m_plan.server.append({ SyncPlan::ServerAction::Delete, key, current.href, current.etag, {},
                    std::nullopt, current });
            }
            continue;
        }
        const QString recordName = m_local[li].record.nome;
        if (!server) {
            if (*local != base)
                pushUpdate(key, item, item.etag, item.card, base, *local, recordName);
            else if (recordName != item.localName)
                m_plan.items[key].localName = recordName;
            continue;
        }
        if (*local == base || server->fields == *local) {
            // Only the server changed (or both alike): the record follows.
            const QString name = server->fields.nome == base.nome ? item.localName
                : server->fields.nome == local->nome              ? recordName
                                                     : claimName(server->fields.nome, recordName);
            server->localName = name;
            Fields asRecord = server->fields;
            asRecord.nome = name;
            m_plan.items[key] = *server;
            if (asRecord != SyncCard::fromRecord(m_local[li].record))
                m_plan.local.append(
                    { { m_local[li].line, SyncCard::toRecordLine(asRecord, m_date) }, key, {}, item });
            continue;
        }
        mergeBoth(key, item, base, li, *local, *server);
    }

    // Cards new on the server.
    QHash<QString, int> unlinkedByKey;
    for (int i = 0; i < m_local.size(); ++i)
        if (!linked[i])
            unlinkedByKey.insert(nameKey(m_local[i].record.nome), i);
    QList<QString> added;
    for (auto it = m_in.serverEtags.cbegin(); it != m_in.serverEtags.cend(); ++it)
        if (!state.items.contains(it.key()))
            added.append(it.key());
    std::sort(added.begin(), added.end());
    for (const QString& key : added) {
        const QByteArray card = m_in.fetched.value(key);
        const std::optional<Fields> fields = SyncCard::read(card);
        if (!fields) {
            ++m_plan.skipped;
            continue;
        }
        const SyncItem server { m_in.serverHrefs.value(key), m_in.serverEtags.value(key), card, *fields, {},
            false };
        // The same contact on both sides before they ever met: one contact, merged.
        const int li = unlinkedByKey.value(nameKey(fields->nome), -1);
        if (li >= 0 && !linked[li]) {
            linked[li] = true;
            // The names differ at most in case: the server's spelling is taken, as any change of its.
            Fields base;
            base.nome = m_local[li].record.nome;
            mergeBoth(key, SyncItem(), base, li, SyncCard::fromRecord(m_local[li].record), server);
            continue;
        }
        SyncItem item = server;
        item.localName = claimName(fields->nome, {});
        Fields asRecord = *fields;
        asRecord.nome = item.localName;
        m_plan.items[key] = item;
        m_plan.local.append(
            { { QString(), SyncCard::toRecordLine(asRecord, m_date) }, key, {}, std::nullopt });
    }

    for (int i = 0; i < m_local.size(); ++i)
        if (!linked[i])
            createNew(SyncCard::fromRecord(m_local[i].record));

    const int known = int(std::count_if(
        state.items.cbegin(), state.items.cend(), [](const SyncItem& item) { return !item.pending; }));
    if (!m_in.forceDelete) {
        int serverDeletes = 0;
        for (const auto& a : m_plan.server)
            serverDeletes += a.kind == SyncPlan::ServerAction::Delete ? 1 : 0;
        int localRemovals = 0;
        for (const auto& a : m_plan.local)
            localRemovals += a.change.newLine.isEmpty() ? 1 : 0;
        if (m_in.fullListing && m_in.serverEtags.isEmpty() && known > 0)
            m_plan.stop = u"O servidor não listou nenhum contato, mas tinha %1"_s.arg(known);
        else if (known > 0 && (m_local.isEmpty() || (known >= 3 && found == 0 && renamed.isEmpty())))
            m_plan.stop = u"O arquivo de contatos não é o da última sincronização"_s;
        else if (serverDeletes > deleteLimit(m_in.serverEtags.size()))
            m_plan.stop = u"A sincronização apagaria %1 contatos no servidor"_s.arg(serverDeletes);
        else if (localRemovals > deleteLimit(m_local.size()))
            m_plan.stop = u"A sincronização apagaria %1 contatos deste arquivo"_s.arg(localRemovals);
    }
    return m_plan;
}

} // namespace

namespace SyncPlan {

Plan plan(const Input& input)
{
    return Planner(input).run();
}

} // namespace SyncPlan
