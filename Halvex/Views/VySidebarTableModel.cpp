#include "Halvex/Views/VySidebarTableModel.h"

#include <QMetaProperty>
#include <QMetaType>
#include <QObject>

namespace {

const QString kNameKey = QStringLiteral("name");

// The properties of a gadget (a registered value type with Q_GADGET).
const QMetaObject* gadgetMetaObject(const QVariant& object) {
    const QMetaType type = object.metaType();
    if (!(type.flags() & QMetaType::IsGadget)) return nullptr;
    return type.metaObject();
}

} // namespace

QVariant vyValueForKey(const QVariant& object, const QString& key) {
    if (!object.isValid()) return {};
    if (object.metaType() == QMetaType::fromType<QVariantMap>()) return object.toMap().value(key);
    if (object.metaType() == QMetaType::fromType<QVariantHash>()) return object.toHash().value(key);
    if (const QMetaObject* meta = gadgetMetaObject(object)) {
        const int i = meta->indexOfProperty(key.toUtf8().constData());
        return i < 0 ? QVariant() : meta->property(i).readOnGadget(object.constData());
    }
    if (object.metaType().flags() & QMetaType::PointerToQObject) {
        const QObject* o = object.value<QObject*>();
        return o ? o->property(key.toUtf8().constData()) : QVariant();
    }
    if (key == kNameKey && object.canConvert<QString>()) return object.toString();
    return {};
}

bool vySetValueForKey(QVariant& object, const QString& key, const QVariant& value) {
    if (!object.isValid()) return false;
    if (object.metaType() == QMetaType::fromType<QVariantMap>()) {
        QVariantMap map = object.toMap();
        map.insert(key, value);
        object = map;
        return true;
    }
    if (object.metaType() == QMetaType::fromType<QVariantHash>()) {
        QVariantHash hash = object.toHash();
        hash.insert(key, value);
        object = hash;
        return true;
    }
    if (const QMetaObject* meta = gadgetMetaObject(object)) {
        const int i = meta->indexOfProperty(key.toUtf8().constData());
        return i >= 0 && meta->property(i).writeOnGadget(object.data(), value);
    }
    if (object.metaType().flags() & QMetaType::PointerToQObject) {
        QObject* o = object.value<QObject*>();
        return o && o->setProperty(key.toUtf8().constData(), value);
    }
    if (key == kNameKey && object.metaType() == QMetaType::fromType<QString>()) {
        object = value.toString();
        return true;
    }
    return false;
}

void VySidebarTableModel::reloadData(const QVariantList& rows) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

void VySidebarTableModel::insertRow(int row, const QVariant& entry) {
    beginInsertRows({}, row, row);
    rows_.insert(row, entry);
    endInsertRows();
}

void VySidebarTableModel::removeRow(int row) {
    beginRemoveRows({}, row, row);
    rows_.removeAt(row);
    endRemoveRows();
}

void VySidebarTableModel::moveRow(int from, int to) {
    if (from == to) return;
    // Qt names the destination before the move: one past `to` when moving down.
    const int destination = to > from ? to + 1 : to;
    beginMoveRows({}, from, from, {}, destination);
    rows_.move(from, to);
    endMoveRows();
}

void VySidebarTableModel::reloadRow(int row, const QVariant& entry) {
    rows_[row] = entry;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

int VySidebarTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant VySidebarTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    const QVariant& entry = rows_[index.row()];
    switch (role) {
    case ObjectValueRole:
        return entry;
    case Qt::AccessibleTextRole:
        // The row's cell view draws the texts; the table itself draws none.
        return vyValueForKey(entry, kNameKey);
    default:
        return {};
    }
}

Qt::ItemFlags VySidebarTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}
