#include "storefolder.h"

#include "contactstore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// The same folder reached through a link (/bin on a merged /usr) is the same folder.
QString canonical(const QString& folder)
{
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : resolved;
}

} // namespace

QStringList systemProgramFolders()
{
    return { QStringLiteral(LB_INSTALL_BINDIR), u"/usr/bin"_s, u"/usr/local/bin"_s };
}

QString storeFolder(const QString& executableFolder, const QStringList& systemFolders)
{
    // A file already there wins even in a folder that cannot be written: it may be writable
    // itself, and the user's contacts must never seem lost because a folder's rights changed.
    const QFileInfo beside(QDir(executableFolder).filePath(QString::fromLatin1(ContactStore::FileName)));
    if (beside.exists() || beside.isSymLink())
        return executableFolder;
    // Root can write into /usr/bin, but a file there would be shared by every user and left
    // behind by the package manager: an installed copy never writes where programs live.
    bool installed = false;
    for (const QString& folder : systemFolders)
        installed = installed || canonical(folder) == canonical(executableFolder);
    // isWritable() asks the system (access()), so a read-only mount counts as read-only too.
    if (!installed && QFileInfo(executableFolder).isWritable())
        return executableFolder;

    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // Without a home folder there is nowhere better: the store then reports its write error.
    if (userFolder.isEmpty())
        return executableFolder;
    QDir().mkpath(userFolder);
    return userFolder;
}
