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

    void setNames(NameList names);
    QStringList names() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    NameList m_names;
    std::vector<qsizetype> m_order;
};
