#pragma once

#include <QLocale>
#include <QStringList>

// Names in the order the user's language sorts them, without regard to case (ana, Bruno,
// Zeca). Names that sort equal keep their file order.
QStringList sortedNames(const QStringList& names, const QLocale& locale = QLocale());
