#pragma once

#include "namelist.h"

#include <QAbstractListModel>

#include <vector>

// The names of the list, in collation order. Each row's text is made when the view asks for
// it, so a store of any size costs one small entry per name.
class NameListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // A row shows at most this many characters of its name: a file that is no contacts file
    // can hold a "name" of megabytes, which no list can lay out. The whole name stays in the
    // store and under NameRole, the key that finds its record.
    static constexpr qsizetype MaxShownChars = 1000;
    static constexpr int NameRole = Qt::UserRole;

    void setNames(NameList names);
    QStringList names() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    NameList m_names;
    std::vector<qsizetype> m_order;
};
