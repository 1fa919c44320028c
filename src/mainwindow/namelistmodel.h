#pragma once

#include "contactstore.h"
#include "namelist.h"

#include <QAbstractListModel>
#include <QHash>
#include <QLocale>

#include <future>
#include <optional>
#include <thread>
#include <vector>

// A store's names with the order the list shows them in.
struct SortedNames {
    NameList names;
    std::vector<int> order;
};
SortedNames sortNames(NameList names);

// The names of a store, read and put in order on a thread of their own from the moment the
// program starts, while the window is being built; start-up waits for them before it fills
// the list and shows the window. Nothing is read when the file is not there yet.
// Where no thread can be started, nothing is read here, and start-up reads them itself.
class StartupNames {
public:
    explicit StartupNames(const ContactStore& store);
    ~StartupNames();
    StartupNames(const StartupNames&) = delete;
    StartupNames& operator=(const StartupNames&) = delete;
    // The store's status and names (waiting for them); false when nothing was read.
    bool take(StoreStatus* status, SortedNames* names);

private:
    std::future<std::pair<StoreStatus, SortedNames>> m_result;
    std::thread m_thread;
};

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

    // False when names are the very names listed: then nothing changes, not even the view's rows
    // or selection, and no view lays its rows out again (which costs a pass over all of them).
    bool setNames(NameList names);
    bool setNames(SortedNames sorted);
    QStringList names() const;
    // How many listed names have this key (see nameKey()): the duplicate check. The keys are
    // made at the first check and then follow the list, so a check costs a lookup.
    int countWithKey(const QString& key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    // A view asks for the index of every row each time it lays them out: made here without the
    // base class's checks through rowCount() and columnCount().
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    // How many names the listed ones and names begin with alike, and after those, end with.
    struct Ends {
        qsizetype head = 0;
        qsizetype tail = 0;
    };
    Ends sameEnds(const NameList& names) const;
    void take(SortedNames sorted, const Ends& same);
    // Brings the keys from the names listed until now to these: only the names between the
    // part both lists begin with and the part both end with change, which after an add, an
    // update or a delete is one or two names, however long the list.
    void followKeys(const NameList& names, const Ends& same);
    void addKeys(const NameList& names, qsizetype from, qsizetype to, int sign) const;

    NameList m_names;
    std::vector<int> m_order;
    QLocale m_orderLocale; // the order is this locale's
    mutable QHash<QString, int> m_keys; // listed names per key, made at the first check
    mutable std::optional<QLocale> m_keysLocale; // the locale they were made in; none before
};
