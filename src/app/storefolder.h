#pragma once

#include <QString>
#include <QStringList>

// The folders programs are installed into: the install rule's own and the system's.
QStringList systemProgramFolders();

// The folder that holds LBcontatos.txt, decided once at start-up. A portable copy keeps it
// beside the executable, as it always has: when the file already stands there, or when that
// folder can be written. An installed copy keeps it in the user's data folder, made when
// missing: one whose folder cannot be written, and one in a system program folder even when
// its user (root) could write there. QCoreApplication's name must be set first.
QString storeFolder(
    const QString& executableFolder, const QStringList& systemFolders = systemProgramFolders());
