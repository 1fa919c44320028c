#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The same file reached through a link or a relative path is the same store.
QString caminhoCanonico(const QString& contactsPath)
{
    const QFileInfo file(contactsPath);
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? file.absoluteFilePath() : QDir(folder).filePath(file.fileName());
}

} // namespace

SingleInstance::SingleInstance(const QString& contactsPath, QObject* parent)
    : QObject(parent)
{
    const QByteArray chave
        = QCryptographicHash::hash(caminhoCanonico(contactsPath).toUtf8(), QCryptographicHash::Sha256)
              .toHex()
              .left(16);
    // The user's runtime folder is private to them; a socket address has room for about 100
    // bytes, so the name is a short hash rather than the path itself.
    QString pasta = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QString prefixo = u"lurvane-brevicard-"_s;
    if (pasta.isEmpty()) {
        pasta = QDir::tempPath();
        prefixo += QString::number(geteuid()) + u'-';
    }
    m_nome = QDir(pasta).filePath(prefixo + QString::fromLatin1(chave));
}

bool SingleInstance::avisaOutraCopia() const
{
    QLocalSocket socket;
    socket.connectToServer(m_nome);
    // A socket left by a killed copy refuses at once; a live copy accepts at once.
    if (!socket.waitForConnected(1000))
        return false;
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::registra()
{
    // Held while looking and listening, so that of two copies started together one listens and
    // the other finds it (the later one would otherwise remove the earlier one's socket).
    // One left by a killed copy is taken over, its process being gone; should it still fail,
    // go on without it.
    QLockFile guarda(m_nome + u".lock"_s);
    guarda.tryLock(2000);
    if (avisaOutraCopia())
        return false;

    // What is there is a socket left by a copy that was killed: nothing listens on it.
    QLocalServer::removeServer(m_nome);
    m_servidor = new QLocalServer(this);
    m_servidor->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_servidor, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* outra = m_servidor->nextPendingConnection())
            outra->deleteLater();
        Q_EMIT reaberto();
    });
    // Should listening fail, this copy still runs, only unguarded: the store's lock remains.
    m_servidor->listen(m_nome);
    return true;
}
