#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// A folder (not a link to one) of this user's that nobody else can enter: no other user can
// have put a socket there first, nor take its name later.
bool soDoUsuario(const QString& pasta)
{
    struct stat st;
    return !pasta.isEmpty() && lstat(QFile::encodeName(pasta).constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// The user's runtime folder when it is truly theirs, else a folder of their own in the
// temporary folder. Qt's own fallback for a missing runtime folder is a name another local
// user could make first; so is this one, and then it is not used.
QString pastaPrivada()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && soDoUsuario(runtime))
        return runtime;
    const QString propria
        = QDir(QDir::tempPath()).filePath(u"lurvane-brevicard-"_s + QString::number(geteuid()));
    mkdir(QFile::encodeName(propria).constData(), 0700);
    return soDoUsuario(propria) ? propria : QString();
}

// The process at the other end of a connected local socket runs as this user.
bool mesmoUsuario(int socket)
{
    struct ucred quem = {};
    socklen_t tamanho = sizeof quem;
    return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &quem, &tamanho) == 0 && quem.uid == geteuid();
}

} // namespace

SingleInstance::SingleInstance(const QString& contactsPath, QObject* parent)
    : QObject(parent)
{
    // A socket address has room for about 100 bytes, so the name is a short hash rather than
    // the path itself.
    const QByteArray chave
        = QCryptographicHash::hash(caminhoCanonico(contactsPath).toUtf8(), QCryptographicHash::Sha256)
              .toHex()
              .left(16);
    const QString pasta = pastaPrivada();
    if (!pasta.isEmpty())
        m_nome = QDir(pasta).filePath(u"lurvane-brevicard-"_s + QString::fromLatin1(chave));
}

bool SingleInstance::avisaOutraCopia() const
{
    sockaddr_un endereco = {};
    endereco.sun_family = AF_UNIX;
    const QByteArray caminho = QFile::encodeName(m_nome);
    if (m_nome.isEmpty() || size_t(caminho.size()) >= sizeof endereco.sun_path)
        return false;
    std::memcpy(endereco.sun_path, caminho.constData(), size_t(caminho.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    // A socket left by a killed copy refuses at once; a live copy accepts at once. One that
    // another user answers is no copy of this user's: this one starts as if none were there.
    const bool avisada = ::connect(socket, reinterpret_cast<const sockaddr*>(&endereco), sizeof endereco) == 0
        && mesmoUsuario(socket);
    ::close(socket);
    return avisada;
}

bool SingleInstance::registra()
{
    if (m_nome.isEmpty())
        return true;
    // Held while looking and listening, so that of two copies started together one listens and
    // the other finds it (the later one would otherwise remove the earlier one's socket).
    // One left by a killed copy is taken over, its process being gone; should it still fail,
    // go on without it.
    QLockFile guarda(m_nome + u".lock"_s);
    guarda.tryLock(2000);
    if (avisaOutraCopia())
        return false;

    // What is there is a socket left by a copy that was killed, or one no copy of this user's
    // answers on.
    QLocalServer::removeServer(m_nome);
    m_servidor = new QLocalServer(this);
    m_servidor->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_servidor, &QLocalServer::newConnection, this, [this] {
        bool pedido = false;
        while (QLocalSocket* outra = m_servidor->nextPendingConnection()) {
            pedido = pedido || mesmoUsuario(int(outra->socketDescriptor()));
            outra->deleteLater();
        }
        if (pedido)
            Q_EMIT reaberto();
    });
    // Should listening fail, this copy still runs, only unguarded: the store's lock remains.
    m_servidor->listen(m_nome);
    return true;
}
