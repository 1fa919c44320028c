#include "syncstate.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The state is read at every sync, so it is binary (a JSON of 10,000 cards takes longer to parse
// than the rest of an idle sync), and says what it is and in which layout. Its header is read
// alone by a sync that may need no card at all.
constexpr quint32 Magic = 0x4C425359; // "LBSY"
constexpr quint32 Version = 2;
constexpr quint32 FirstVersion = 1; // no digest, no length: read whole

void readItem(QDataStream& in, SyncItem& item)
{
    in >> item.href >> item.etag >> item.card >> item.fields.nome >> item.fields.fone >> item.fields.mail
        >> item.fields.endereco >> item.fields.complemento >> item.localName >> item.pending;
}

} // namespace

QString SyncState::hrefKey(const QString& href)
{
    // The common plain path is its own key: a state of 10,000 cards is keyed at every load.
    const bool plain = href.startsWith(u'/') && !href.startsWith(u"//") && !href.contains(u"/.")
        && std::all_of(href.cbegin(), href.cend(), [](QChar c) {
               return c.unicode() > 0x20 && c.unicode() < 0x7F && c != u'%' && c != u'?' && c != u'#';
           });
    if (plain)
        return href;
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
    return QDir(folder).filePath(u"sync-"_s + QString::fromLatin1(hash) + u".state"_s);
}

QByteArray SyncState::digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

namespace {

// The header; count and length are those of the items that follow (length -1 where the layout
// does not tell it).
bool readHeader(QDataStream& in, SyncState& s, qint64* count, qint64* length)
{
    quint32 magic = 0;
    quint32 version = 0;
    in >> magic >> version;
    if (magic != Magic || (version != Version && version != FirstVersion))
        return false;
    in >> s.store >> s.collection >> s.syncToken >> s.ctag;
    *length = -1;
    if (version == Version)
        in >> s.localDigest >> s.hasPending >> *length;
    in >> *count;
    return in.status() == QDataStream::Ok && *count >= 0;
}

} // namespace

bool SyncState::loadHeader(const QString& path)
{
    return read(path, false);
}

bool SyncState::load(const QString& path)
{
    return read(path, true);
}

bool SyncState::read(const QString& path, bool withItems)
{
    *this = SyncState();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    qint64 count = 0;
    qint64 length = 0;
    if (!readHeader(in, *this, &count, &length))
        return false;
    if (length < 0) // an older layout, without the items' length: read whole
        withItems = true;
    // A file cut short, or grown, is no state: nothing may be planned from part of it.
    else if (file.size() - file.pos() != length)
        return false;
    if (!withItems)
        return (count == 0) == (length == 0);
    items.reserve(count);
    for (qint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        SyncItem item;
        readItem(in, item);
        items.insert(hrefKey(item.href), item);
    }
    // A file cut short or not this one's is no state: nothing may be planned from half of it.
    return in.status() == QDataStream::Ok && items.size() == count && in.atEnd();
}

bool SyncState::save(const QString& path) const
{
    bool pending = false;
    for (const SyncItem& item : items)
        pending = pending || item.pending;
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << Version << store << collection << syncToken << ctag << localDigest << pending;
    // The items' length, known once they are written: streamed, not held twice in memory.
    const qint64 lengthAt = file.pos();
    out << qint64(0) << qint64(items.size());
    const qint64 start = file.pos();
    for (const SyncItem& item : items)
        out << item.href << item.etag << item.card << item.fields.nome << item.fields.fone << item.fields.mail
            << item.fields.endereco << item.fields.complemento << item.localName << item.pending;
    const qint64 end = file.pos();
    if (out.status() != QDataStream::Ok || !file.seek(lengthAt))
        return false;
    out << qint64(end - start);
    return out.status() == QDataStream::Ok && file.seek(end) && file.commit();
}
