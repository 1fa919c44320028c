#pragma once

#include <QString>

// The folder that holds LBcontatos.txt, decided once at start-up. A portable copy keeps it
// beside the executable, as it always has: when the file already stands there, or when that
// folder can be written. An installed copy, whose folder (/usr/bin) cannot be written, keeps it
// in the user's data folder, made when missing. QCoreApplication's name must be set first.
QString storeFolder(const QString& executableFolder);
