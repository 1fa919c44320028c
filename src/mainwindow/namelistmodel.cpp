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

void NameListModel::setNames(NameList names)
{
    // Names only added behind the listed ones (by an add, here or in another copy) are put in
    // their places; anything else is sorted anew.
    constexpr qsizetype MaxPlaced = 64;
    const qsizetype listed = m_names.size();
    bool added = names.size() > listed && names.size() - listed <= MaxPlaced
        && listed == qsizetype(m_order.size()) && m_orderLocale == QLocale();
    for (qsizetype i = 0; added && i < listed; ++i)
        added = m_names.sameName(i, names, i);
    if (!added) {
        setNames(sortNames(std::move(names)));
        return;
    }
    std::vector<int> order
        = extendOrder(m_order, names.size(), [&names](qsizetype i, QString& out) { names.read(i, out); });
    setNames(SortedNames { std::move(names), std::move(order) });
}

void NameListModel::setNames(SortedNames sorted)
{
    followKeys(sorted.names);
    beginResetModel();
    m_names = std::move(sorted.names);
    m_order = std::move(sorted.order);
    m_orderLocale = QLocale();
    endResetModel();
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

void NameListModel::followKeys(const NameList& names)
{
    if (!m_keysLocale)
        return;
    if (names.isUtf8() != m_names.isUtf8()) {
        // Every name may read otherwise: made again at the next check.
        m_keys.clear();
        m_keysLocale.reset();
        return;
    }
    const qsizetype common = std::min(names.size(), m_names.size());
    qsizetype head = 0;
    while (head < common && m_names.sameName(head, names, head))
        ++head;
    qsizetype tail = 0;
    while (
        tail < common - head && m_names.sameName(m_names.size() - 1 - tail, names, names.size() - 1 - tail))
        ++tail;
    addKeys(m_names, head, m_names.size() - tail, -1);
    addKeys(names, head, names.size() - tail, +1);
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
