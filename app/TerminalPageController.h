#pragma once

#include <QStackedWidget>

#include <functional>
#include <string>
#include <vector>

// The page controller of the main window: shows one page of its arranged
// objects (page identifiers) at a time, the view for each identifier coming
// from its provider. Pages change at once, without a transition, so the
// caller's next step always sees the page it selected. The views belong to
// whoever provides them: taken out of the arrangement they are hidden, never
// deleted. GUI thread only.
class TerminalPageController : public QStackedWidget {
    Q_OBJECT
public:
    using ViewProvider = std::function<QWidget*(const std::string& identifier)>;

    explicit TerminalPageController(QWidget* parent = nullptr);

    void setViewProvider(ViewProvider provider) { provider_ = std::move(provider); }

    const std::vector<std::string>& arrangedObjects() const { return arranged_; }
    // The pages in order; the selected index stays where it was when it is
    // still within them, else it becomes the last page (the first when none
    // was selected; -1 with no pages).
    void setArrangedObjects(std::vector<std::string> identifiers);

    // -1 when there are no pages.
    int selectedIndex() const { return selected_; }
    // Shows the page at the index; an index outside the pages changes nothing.
    void setSelectedIndex(int index);
    // The view of the selected page, or null.
    QWidget* selectedView() const;

private:
    QWidget* viewFor(const std::string& identifier) const;

    ViewProvider provider_;
    std::vector<std::string> arranged_;
    int selected_ = -1;
};
