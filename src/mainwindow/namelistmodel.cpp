#include "namelistmodel.h"

#include "nameorder.h"

#include "contactrecord.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

SortedNames sortNames(NameList names)
{
    SortedNames sorted { std::move(names), {} };
    sorted.order = collationOrder(
        sorted.names.size(), [&names = sorted.names](qsizetype i, QString& out) { names.read(i, out); });
    return sorted;
}

StartupNames::StartupNames(const ContactStore& store)
{
    if (!QFileInfo::exists(store.path()))
        return;
    auto task = std::make_shared<std::packaged_task<std::pair<StoreStatus, SortedNames>()>>([store] {
        NameList names;
        const StoreStatus status = store.readNames(&names);
        return std::make_pair(status, sortNames(std::move(names)));
    });
    m_result = task->get_future();
    try {
        m_thread = startThread([task] { (*task)(); });
    } catch (const std::exception&) {
        m_result = {};
    }
}

StartupNames::~StartupNames()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool StartupNames::take(StoreStatus* status, SortedNames* names)
{
    if (!m_result.valid())
        return false;
    auto [s, n] = m_result.get();
    m_thread.join();
    *status = s;
    *names = std::move(n);
    return true;
}

bool NameListModel::setNames(NameList names)
{
    // Names changed in one place only (an add, an update or a delete, here or in another copy;
    // or none at all, as on most refreshes) leave every other name where it was: those are kept
    // in their order, and only the new ones are put in their places. Anything else is sorted anew.
    constexpr qsizetype MaxPlaced = 64;
    const Ends same = sameEnds(names);
    const qsizetype listed = m_names.size();
    const qsizetype changed = names.size() - same.tail; // names [same.head, changed) are new
    const bool ordered = listed == qsizetype(m_order.size()) && m_orderLocale == QLocale();
    if (ordered && same.head == listed && names.size() == listed)
        return false;
    if (listed == 0 || changed - same.head > MaxPlaced || !ordered) {
        take(sortNames(std::move(names)), same);
        return true;
    }
    // The names that stay, in their order, by their indices in the new list.
    const qsizetype gone = listed - same.tail; // listed names [same.head, gone) are not there
    const qsizetype shift = names.size() - listed;
    std::vector<int> order;
    order.reserve(size_t(names.size()));
    for (const int i : m_order) {
        if (i < same.head)
            order.push_back(i);
        else if (i >= gone)
            order.push_back(int(i + shift));
    }
    order = placeNames(
        std::move(order), same.head, changed, [&names](qsizetype i, QString& out) { names.read(i, out); });
    take(SortedNames { std::move(names), std::move(order) }, same);
    return true;
}

bool NameListModel::setNames(SortedNames sorted)
{
    const Ends same = m_keysLocale ? sameEnds(sorted.names) : Ends {};
    take(std::move(sorted), same);
    return true;
}

void NameListModel::take(SortedNames sorted, const Ends& same)
{
    followKeys(sorted.names, same);
    beginResetModel();
    m_names = std::move(sorted.names);
    m_order = std::move(sorted.order);
    m_orderLocale = QLocale();
    endResetModel();
}

NameListModel::Ends NameListModel::sameEnds(const NameList& names) const
{
    const qsizetype common = std::min(names.size(), m_names.size());
    Ends same;
    while (same.head < common && m_names.sameName(same.head, names, same.head))
        ++same.head;
    while (same.tail < common - same.head
        && m_names.sameName(m_names.size() - 1 - same.tail, names, names.size() - 1 - same.tail))
        ++same.tail;
    return same;
}

QStringList NameListModel::names() const
{
    QStringList out;
    out.reserve(rowCount());
    for (const int i : m_order)
        out.append(m_names.at(i));
    return out;
}

void NameListModel::addKeys(const NameList& names, qsizetype from, qsizetype to, int sign) const
{
    for (qsizetype i = from; i < to; ++i) {
        const QString key = nameKey(names.at(i));
        if ((m_keys[key] += sign) <= 0)
            m_keys.remove(key);
    }
}

void NameListModel::followKeys(const NameList& names, const Ends& same)
{
    if (!m_keysLocale)
        return;
    if (names.isUtf8() != m_names.isUtf8()) {
        // Every name may read otherwise: made again at the next check.
        m_keys.clear();
        m_keysLocale.reset();
        return;
    }
    addKeys(m_names, same.head, m_names.size() - same.tail, -1);
    addKeys(names, same.head, names.size() - same.tail, +1);
}

int NameListModel::countWithKey(const QString& key) const
{
    // Upper case follows the locale (a Turkish i is another letter).
    if (m_keysLocale != QLocale()) {
        m_keys.clear();
        m_keysLocale = QLocale();
        addKeys(m_names, 0, m_names.size(), +1);
    }
    return m_keys.value(key);
}

int NameListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

QModelIndex NameListModel::index(int row, int column, const QModelIndex& parent) const
{
    return row >= 0 && row < int(m_order.size()) && column == 0 && !parent.isValid() ? createIndex(row, 0)
                                                                                     : QModelIndex();
}

QVariant NameListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const qsizetype i = m_order[index.row()];
    if (role == NameRole)
        return m_names.at(i);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_names.left(i, MaxShownChars);
    return {};
}
