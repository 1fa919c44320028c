#include "nameorder.h"

#include <QCollator>

#include <algorithm>
#include <numeric>
#include <vector>

QStringList sortedNames(const QStringList& names, const QLocale& locale)
{
    // The C locale has no collation of its own: it would sort by code points, every capital
    // before every small letter and accented names last. The language-neutral order serves.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // One sort key per name, compared as bytes: a large store sorts in a fraction of the
    // time that comparing through the collator at every step would take. The keys stay in
    // place; only indices move.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const QString& name : names)
        keys.push_back(collator.sortKey(name));
    std::vector<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const qsizetype i : order)
        sorted.append(names[i]);
    return sorted;
}
