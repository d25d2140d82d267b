#pragma once

#include "Rellum/RellumKeyMapModel.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using RellumKeyMappings = std::vector<std::shared_ptr<RellumKeyMapModel>>;

// One sort key of a list of mappings: a property name and its direction.
struct RellumSortDescriptor {
    std::string key; // "keycode", "modifier", "keyCodeSymbol", "modifierSymbol" or "sendtext"
    bool ascending = true;
    friend bool operator==(const RellumSortDescriptor&, const RellumSortDescriptor&) = default;
};

// The key mappings a table shows: the content array, and the same mappings
// arranged by the sort descriptors. Changes made through it are handed to
// the content-changed callback, which stores them.
class RellumKeyMappingsArrayController : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { KeyColumn, ModifierColumn, SendTextColumn, ColumnCount };

    explicit RellumKeyMappingsArrayController(QObject* parent = nullptr);

    const RellumKeyMappings& content() const { return content_; }
    // Replaces the content (the owner's array); no callback.
    void setContent(RellumKeyMappings content);
    const RellumKeyMappings& arrangedObjects() const { return arranged_; }

    const std::vector<RellumSortDescriptor>& sortDescriptors() const { return sortDescriptors_; }
    void setSortDescriptors(std::vector<RellumSortDescriptor> descriptors);

    // Adds a mapping to the content (at its end; the arrangement follows on rearrangeObjects).
    void addObject(std::shared_ptr<RellumKeyMapModel> mapping);
    // Removes every content mapping equal in value to one of `mappings`.
    void removeObjects(const RellumKeyMappings& mappings);
    // Sorts the arranged mappings again.
    void rearrangeObjects();

    void setContentChangedHandler(std::function<void(const RellumKeyMappings&)> handler) {
        contentChanged_ = std::move(handler);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void contentDidChange();

    RellumKeyMappings content_;
    RellumKeyMappings arranged_;
    std::vector<RellumSortDescriptor> sortDescriptors_;
    std::function<void(const RellumKeyMappings&)> contentChanged_;
};
