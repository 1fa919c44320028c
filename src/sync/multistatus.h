#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One <response> of a WebDAV multistatus, with the properties the sync reads. Only properties
// in a propstat whose status is 200 count.
struct DavResource {
    QString href;
    int status = 0; // the response's own status (a sync-collection's 404 for a removed card); 0 when none
    QString etag;
    QString ctag;
    QString displayName;
    QByteArray addressData;
    bool hasAddressData = false;
    bool isCollection = false;
    bool isAddressBook = false;
    QStringList principal; // current-user-principal
    QStringList homeSet; // addressbook-home-set
};

struct Multistatus {
    QList<DavResource> responses;
    QString syncToken;
};

// nullopt when the body is not a well-formed DAV:multistatus: an HTML page, a cut-off body or
// anything else is an error, never an empty list.
std::optional<Multistatus> parseMultistatus(const QByteArray& body);

// Whether an error body names the given DAV precondition (valid-sync-token, say).
bool hasPrecondition(const QByteArray& body, const QString& name);

// The HTTP status in a "HTTP/1.1 404 Not Found" line; 0 when it has none.
int statusOfLine(const QString& line);
