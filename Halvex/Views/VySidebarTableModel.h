#pragma once

#include <QAbstractListModel>
#include <QVariant>
#include <QVariantList>

// The value of `key` in an entry, as a cell binds to it: a dictionary's
// value, a gadget's or object's property, and for an entry of neither kind
// its text under "name".
QVariant vyValueForKey(const QVariant& object, const QString& key);
// Sets it where the entry has such a key (a string entry's "name" is the
// string itself); answers whether it did.
bool vySetValueForKey(QVariant& object, const QString& key, const QVariant& value);

// The rows a sidebar table shows, one entry each. Like a table view's rows,
// they change only by row insertions, removals, moves and reloads, each
// announced to the views, so the table follows what the sidebar asked of it.
class VySidebarTableModel : public QAbstractListModel {
    Q_OBJECT

public:
    // The entry itself (a row's object value).
    static constexpr int ObjectValueRole = Qt::UserRole;

    using QAbstractListModel::QAbstractListModel;

    const QVariantList& rows() const { return rows_; }
    void reloadData(const QVariantList& rows);
    void insertRow(int row, const QVariant& entry);
    void removeRow(int row);
    // Moves a row so that it ends at index `to` (of the list after the move).
    void moveRow(int from, int to);
    void reloadRow(int row, const QVariant& entry);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    QVariantList rows_;
};
