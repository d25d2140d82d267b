#include "Rellum/View/RellumKeyMappingsArrayController.h"

#include <algorithm>

namespace {

// -1, 0 or 1 for two mappings under one sort key.
int compare(const RellumKeyMapModel& a, const RellumKeyMapModel& b, const std::string& key) {
    const auto order = [](const auto& x, const auto& y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (key == "keycode") return order(a.keycode(), b.keycode());
    if (key == "modifier") return order(a.modifier(), b.modifier());
    if (key == "keyCodeSymbol") return order(a.keyCodeSymbol(), b.keyCodeSymbol());
    if (key == "modifierSymbol") return order(a.modifierSymbol(), b.modifierSymbol());
    if (key == "sendtext")
        return order(a.sendtext().value_or(std::string()), b.sendtext().value_or(std::string()));
    return 0;
}

QString qString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

RellumKeyMappingsArrayController::RellumKeyMappingsArrayController(QObject* parent)
    : QAbstractTableModel(parent) {}

void RellumKeyMappingsArrayController::setContent(RellumKeyMappings content) {
    std::erase(content, nullptr);
    content_ = std::move(content);
    rearrangeObjects();
}

void RellumKeyMappingsArrayController::setSortDescriptors(std::vector<RellumSortDescriptor> descriptors) {
    sortDescriptors_ = std::move(descriptors);
    rearrangeObjects();
}

void RellumKeyMappingsArrayController::addObject(std::shared_ptr<RellumKeyMapModel> mapping) {
    if (!mapping) return;
    content_.push_back(mapping);
    // Shown at once at the end; rearrangeObjects sorts it in.
    const int row = static_cast<int>(arranged_.size());
    beginInsertRows(QModelIndex(), row, row);
    arranged_.push_back(std::move(mapping));
    endInsertRows();
    contentDidChange();
}

void RellumKeyMappingsArrayController::removeObjects(const RellumKeyMappings& mappings) {
    const auto listed = [&](const std::shared_ptr<RellumKeyMapModel>& m) {
        return std::any_of(mappings.begin(), mappings.end(),
                           [&](const auto& r) { return r && (r == m || *r == *m); });
    };
    const auto before = content_.size();
    std::erase_if(content_, listed);
    if (content_.size() == before) return;
    beginResetModel();
    std::erase_if(arranged_, listed);
    endResetModel();
    contentDidChange();
}

void RellumKeyMappingsArrayController::rearrangeObjects() {
    beginResetModel();
    arranged_ = content_;
    std::stable_sort(arranged_.begin(), arranged_.end(), [this](const auto& a, const auto& b) {
        for (const auto& d : sortDescriptors_) {
            const int c = compare(*a, *b, d.key);
            if (c != 0) return d.ascending ? c < 0 : c > 0;
        }
        return false;
    });
    endResetModel();
}

void RellumKeyMappingsArrayController::contentDidChange() {
    if (contentChanged_) contentChanged_(content_);
}

int RellumKeyMappingsArrayController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(arranged_.size());
}

int RellumKeyMappingsArrayController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RellumKeyMappingsArrayController::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(arranged_.size())) return {};
    const RellumKeyMapModel& m = *arranged_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case KeyColumn:
            return qString(m.keyCodeDesc());
        case ModifierColumn:
            return qString(m.modifierDesc());
        case SendTextColumn:
            return qString(m.sendtext().value_or(std::string()));
        default:
            break;
        }
    }
    return {};
}

QVariant RellumKeyMappingsArrayController::headerData(int section, Qt::Orientation orientation,
                                                      int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case KeyColumn:
        return tr("Key");
    case ModifierColumn:
        return tr("Modifiers");
    case SendTextColumn:
        return tr("Send Text");
    default:
        return {};
    }
}
