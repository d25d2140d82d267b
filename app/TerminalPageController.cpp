#include "app/TerminalPageController.h"

#include <set>

TerminalPageController::TerminalPageController(QWidget* parent) : QStackedWidget(parent) {}

QWidget* TerminalPageController::viewFor(const std::string& identifier) const {
    return provider_ ? provider_(identifier) : nullptr;
}

void TerminalPageController::setArrangedObjects(std::vector<std::string> identifiers) {
    std::set<QWidget*> keep;
    for (const auto& identifier : identifiers)
        if (QWidget* view = viewFor(identifier)) {
            keep.insert(view);
            if (indexOf(view) < 0) {
                addWidget(view);
                view->setGeometry(contentsRect());
            }
        }
    for (int i = count() - 1; i >= 0; --i)
        if (QWidget* view = widget(i); !keep.count(view)) removeWidget(view);
    arranged_ = std::move(identifiers);
    const int last = static_cast<int>(arranged_.size()) - 1;
    if (selected_ > last || (selected_ < 0 && last >= 0)) selected_ = selected_ < 0 ? 0 : last;
    setSelectedIndex(selected_);
}

void TerminalPageController::setSelectedIndex(int index) {
    if (index < 0 || index >= static_cast<int>(arranged_.size())) return;
    selected_ = index;
    if (QWidget* view = viewFor(arranged_[static_cast<size_t>(index)])) setCurrentWidget(view);
}

QWidget* TerminalPageController::selectedView() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(arranged_.size())) return nullptr;
    return viewFor(arranged_[static_cast<size_t>(selected_)]);
}
