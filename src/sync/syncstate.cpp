#include "syncstate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QJsonObject toJson(const SyncCard::Fields& f)
{
    return { { u"nome"_s, f.nome }, { u"fone"_s, f.fone }, { u"mail"_s, f.mail },
        { u"endereco"_s, f.endereco }, { u"complemento"_s, f.complemento } };
}

SyncCard::Fields fieldsFrom(const QJsonObject& o)
{
    return { o[u"nome"_s].toString(), o[u"fone"_s].toString(), o[u"mail"_s].toString(),
        o[u"endereco"_s].toString(), o[u"complemento"_s].toString() };
}

} // namespace

QString SyncState::hrefKey(const QString& href)
{
    // Servers spell the same path with different escapes; only the decoded path tells them apart.
    return QUrl::fromPercentEncoding(QUrl(href).path(QUrl::FullyEncoded).toUtf8());
}

QString SyncState::pathFor(const QString& folder, const QString& storePath)
{
    const QString resolved = QFileInfo(storePath).canonicalFilePath().isEmpty()
        ? QFileInfo(storePath).absoluteFilePath()
        : QFileInfo(storePath).canonicalFilePath();
    const QByteArray hash
        = QCryptographicHash::hash(resolved.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(folder).filePath(u"sync-"_s + QString::fromLatin1(hash) + u".json"_s);
}

bool SyncState::load(const QString& path)
{
    *this = SyncState();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    store = o[u"store"_s].toString();
    collection = o[u"collection"_s].toString();
    syncToken = o[u"syncToken"_s].toString();
    ctag = o[u"ctag"_s].toString();
    for (const QJsonValue& v : o[u"items"_s].toArray()) {
        const QJsonObject i = v.toObject();
        const QByteArray card = i.contains(u"cardBase64"_s)
            ? QByteArray::fromBase64(i[u"cardBase64"_s].toString().toLatin1())
            : i[u"card"_s].toString().toUtf8();
        SyncItem item { i[u"href"_s].toString(), i[u"etag"_s].toString(), card,
            fieldsFrom(i[u"fields"_s].toObject()), i[u"localName"_s].toString(), i[u"pending"_s].toBool() };
        if (item.href.isEmpty())
            return false;
        items.insert(hrefKey(item.href), item);
    }
    return true;
}

bool SyncState::save(const QString& path) const
{
    QJsonArray list;
    for (const SyncItem& item : items) {
        QJsonObject i { { u"href"_s, item.href }, { u"etag"_s, item.etag },
            { u"fields"_s, toJson(item.fields) }, { u"localName"_s, item.localName } };
        // The server's bytes are kept as they are: a card that is not UTF-8 goes in base64.
        const QString text = QString::fromUtf8(item.card);
        if (text.toUtf8() == item.card)
            i[u"card"_s] = text;
        else
            i[u"cardBase64"_s] = QString::fromLatin1(item.card.toBase64());
        if (item.pending)
            i[u"pending"_s] = true;
        list.append(i);
    }
    const QJsonObject o { { u"store"_s, store }, { u"collection"_s, collection },
        { u"syncToken"_s, syncToken }, { u"ctag"_s, ctag }, { u"items"_s, list } };
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return file.commit();
}
