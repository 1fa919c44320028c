#include "syncstate.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// The state is read at every sync, so it is binary (a JSON of 10,000 cards takes longer to parse
// than the rest of an idle sync), and says what it is and in which layout.
constexpr quint32 Magic = 0x4C425359; // "LBSY"
constexpr quint32 Version = 1;

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
    return QDir(folder).filePath(u"sync-"_s + QString::fromLatin1(hash) + u".state"_s);
}

bool SyncState::load(const QString& path)
{
    *this = SyncState();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 version = 0;
    qint64 count = 0;
    in >> magic >> version;
    if (magic != Magic || version != Version)
        return false;
    in >> store >> collection >> syncToken >> ctag >> count;
    for (qint64 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        SyncItem item;
        in >> item.href >> item.etag >> item.card >> item.fields.nome >> item.fields.fone >> item.fields.mail
            >> item.fields.endereco >> item.fields.complemento >> item.localName >> item.pending;
        items.insert(hrefKey(item.href), item);
    }
    // A file cut short or not this one's is no state: nothing may be planned from half of it.
    return in.status() == QDataStream::Ok && items.size() == count && in.atEnd();
}

bool SyncState::save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << Version << store << collection << syncToken << ctag << qint64(items.size());
    for (const SyncItem& item : items)
        out << item.href << item.etag << item.card << item.fields.nome << item.fields.fone << item.fields.mail
            << item.fields.endereco << item.fields.complemento << item.localName << item.pending;
    return out.status() == QDataStream::Ok && file.commit();
}
