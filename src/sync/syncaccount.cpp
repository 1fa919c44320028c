#include "syncaccount.h"

#include "syncstate.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#ifdef LB_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

using namespace Qt::StringLiterals;

QString SyncAccount::pathFor(const QString& folder, const QString& storePath)
{
    // The same name as the sync state's, in the configuration folder.
    return QDir(folder).filePath(
        QFileInfo(SyncState::pathFor(folder, storePath)).fileName().replace(u"sync-"_s, u"conta-"_s));
}

bool SyncAccount::load(const QString& path)
{
    *this = SyncAccount();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    server = QUrl(o[u"server"_s].toString());
    user = o[u"user"_s].toString();
    addressBook = QUrl(o[u"addressBook"_s].toString());
    fingerprint = o[u"fingerprint"_s].toString();
    return isValid();
}

bool SyncAccount::save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject o { { u"server"_s, server.toString() }, { u"user"_s, user },
        { u"addressBook"_s, addressBook.toString() }, { u"fingerprint"_s, fingerprint } };
    file.write(QJsonDocument(o).toJson());
    return file.commit();
}

namespace SyncPassword {

namespace {

QHash<QString, QString>& inMemory()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

constexpr auto Service = "Lurvane Brevicard";

} // namespace

QString keyFor(const SyncAccount& account)
{
    return account.user + u'@' + account.addressBook.toString();
}

QString read(const QString& key)
{
    if (inMemory().contains(key))
        return inMemory().value(key);
#ifdef LB_HAVE_KEYCHAIN
    QKeychain::ReadPasswordJob job(QString::fromLatin1(Service));
    job.setAutoDelete(false);
    job.setKey(key);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    if (job.error() == QKeychain::NoError)
        return job.textData();
#endif
    return {};
}

void readAsync(const QString& key, QObject* context, std::function<void(const QString&)> done)
{
    if (inMemory().contains(key)) {
        QTimer::singleShot(
            0, context, [password = inMemory().value(key), done = std::move(done)] { done(password); });
        return;
    }
#ifdef LB_HAVE_KEYCHAIN
    // The job deletes itself once it has finished; its answer comes through the event loop.
    auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job* j) {
        auto* read = static_cast<QKeychain::ReadPasswordJob*>(j);
        done(read->error() == QKeychain::NoError ? read->textData() : QString());
    });
    job->start();
#else
    QTimer::singleShot(0, context, [done = std::move(done)] { done(QString()); });
#endif
}

bool write(const QString& key, const QString& password)
{
    inMemory().insert(key, password);
#ifdef LB_HAVE_KEYCHAIN
    QKeychain::WritePasswordJob job(QString::fromLatin1(Service));
    job.setAutoDelete(false);
    job.setKey(key);
    job.setTextData(password);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return job.error() == QKeychain::NoError;
#else
    return false;
#endif
}

void writeAsync(const QString& key, const QString& password, QObject* context, std::function<void(bool)> done)
{
    inMemory().insert(key, password);
#ifdef LB_HAVE_KEYCHAIN
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job* j) {
        if (done)
            done(j->error() == QKeychain::NoError);
    });
    job->start();
#else
    QTimer::singleShot(0, context, [done = std::move(done)] {
        if (done)
            done(false);
    });
#endif
}

void removeAsync(const QString& key, QObject* context, std::function<void(bool)> done)
{
    inMemory().remove(key);
#ifdef LB_HAVE_KEYCHAIN
    auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, context, [done = std::move(done)](QKeychain::Job* j) {
        if (done)
            done(j->error() == QKeychain::NoError || j->error() == QKeychain::EntryNotFound);
    });
    job->start();
#else
    QTimer::singleShot(0, context, [done = std::move(done)] {
        if (done)
            done(true);
    });
#endif
}

} // namespace SyncPassword
