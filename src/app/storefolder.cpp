#include "storefolder.h"

#include "contactstore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString storeFolder(const QString& executableFolder)
{
    // A file already there wins even in a folder that cannot be written: it may be writable
    // itself, and the user's contacts must never seem lost because a folder's rights changed.
    const QFileInfo beside(QDir(executableFolder).filePath(QString::fromLatin1(ContactStore::FileName)));
    // isWritable() asks the system (access()), so a read-only mount counts as read-only too.
    if (beside.exists() || beside.isSymLink() || QFileInfo(executableFolder).isWritable())
        return executableFolder;

    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // Without a home folder there is nowhere better: the store then reports its write error.
    if (userFolder.isEmpty())
        return executableFolder;
    QDir().mkpath(userFolder);
    return userFolder;
}
