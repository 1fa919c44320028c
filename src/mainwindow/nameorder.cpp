#include "nameorder.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

std::vector<qsizetype> collationOrder(
    qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale)
{
    // The C locale has no collation of its own: it would sort by code points, every capital
    // before every small letter and accented names last. The language-neutral order serves.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // One sort key per name, compared as bytes: a large store sorts in a fraction of the time
    // that comparing through the collator at every step would take. Only indices move.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    QString name;
    for (qsizetype i = 0; i < count; ++i) {
        nameAt(i, name);
        keys.push_back(collator.sortKey(name));
    }
    std::vector<qsizetype> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(
        order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}
