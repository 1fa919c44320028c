#pragma once

#include <QLocale>
#include <QString>

#include <functional>
#include <vector>

// The order in which count names are shown: their indices, sorted as the user's language
// sorts, without regard to case (ana, Bruno, Zeca). Names that sort equal keep their file
// order; as the list's rows, there are at most INT_MAX of them. nameAt(i, out) puts name i into out, whose
// buffer it may reuse; a large list calls it from several threads at once, each with its own out.
std::vector<int> collationOrder(qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt,
    const QLocale& locale = QLocale());
