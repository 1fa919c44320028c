#pragma once

#include "contactstore.h"
#include "syncstate.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Decides, without touching either side, what one sync does: a three-way merge of each contact
// between the state of the last sync, the contacts file and the server.
namespace SyncPlan {

struct Input {
    const SyncState* state = nullptr;
    QStringList localLines; // the record lines as read
    QHash<QString, QString> serverEtags; // every card the server lists, by SyncState::hrefKey
    QHash<QString, QString> serverHrefs; // the same keys, spelled as the server does
    QHash<QString, QByteArray> fetched; // the text of every card that is new or whose etag changed
    bool fullListing = false; // the listing is the server's whole collection, not a change list
    QString collectionPath; // new cards go below it
    QDate today;
    bool forceDelete = false;
    std::function<QString()> newUid;
};

struct LocalAction {
    RecordChange change;
    QString key; // the card it belongs to
    QByteArray removedCard; // for a removal: the card, kept in the day's backup
    // The card's state when this change cannot be made (the user changed the record meanwhile);
    // nullopt to forget the card.
    std::optional<SyncItem> onSkip;
};

struct ServerAction {
    enum Kind { Create, Update, Delete };
    Kind kind = Create;
    QString key;
    QString href;
    QString etag; // If-Match for Update and Delete
    QByteArray card;
    std::optional<SyncItem> onSuccess; // its etag filled in from the answer; nullopt: forgotten
    std::optional<SyncItem> onFailure;
};

struct Plan {
    QList<LocalAction> local;
    QList<ServerAction> server;
    QHash<QString, SyncItem> items; // the state once every action succeeded
    int merged = 0;
    int conflicts = 0;
    int skipped = 0; // cards that could not be read
    QString stop; // why nothing may be done without the user's word; empty when nothing stops it
};

Plan plan(const Input& input);

} // namespace SyncPlan
