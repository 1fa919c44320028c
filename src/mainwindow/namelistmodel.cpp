#include "namelistmodel.h"

#include "nameorder.h"

void NameListModel::setNames(NameList names)
{
    beginResetModel();
    m_names = std::move(names);
    m_order = collationOrder(m_names.size(), [this](qsizetype i, QString& out) { m_names.read(i, out); });
    endResetModel();
}

QStringList NameListModel::names() const
{
    QStringList out;
    out.reserve(rowCount());
    for (const qsizetype i : m_order)
        out.append(m_names.at(i));
    return out;
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
