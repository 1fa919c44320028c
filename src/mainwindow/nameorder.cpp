#include "nameorder.h"

#include <QCollator>

#include <algorithm>
#include <vector>

QStringList sortedNames(const QStringList& names, const QLocale& locale)
{
    // The C locale has no collation of its own: it would sort by code points, every capital
    // before every small letter and accented names last. The language-neutral order serves.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // One sort key per name, compared as bytes: a large store sorts in a fraction of the
    // time that comparing through the collator at every step would take.
    struct Entry {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Entry> entries;
    entries.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        entries.push_back(Entry { collator.sortKey(names[i]), i });
    std::stable_sort(entries.begin(), entries.end(),
        [](const Entry& a, const Entry& b) { return a.key.compare(b.key) < 0; });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Entry& e : entries)
        sorted.append(names[e.index]);
    return sorted;
}
