// The preferences window and its panes, the disclosure section, popovers.
#include "Wendle/Views/AboutPreferencesViewController.h"
#include "Wendle/Views/DisclosureOptionViewController.h"
#include "Wendle/Views/MASPreferencesWindowController.h"
#include "Wendle/Views/WendlePopover.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using dialog_test::labelText;
using dialog_test::pumpEvents;

// A pane that records what the window tells it.
class RecordingPane : public MASPreferencesViewController {
public:
    RecordingPane(QString id, std::vector<std::string>* log, bool resizable = false)
        : id_(std::move(id)), log_(log), resizable_(resizable) {}
    ~RecordingPane() override {
        if (view_ && !view_->parent()) delete view_.data();
    }

    QString identifier() const override { return id_; }
    QString toolbarItemLabel() const override { return id_ + " label"; }
    QIcon toolbarItemImage() const override { return {}; }
    QWidget* view() override {
        if (!view_) {
            view_ = new QLineEdit;
            view_->setObjectName(id_ + "View");
            view_->setFixedHeight(40 + 10 * static_cast<int>(id_.size()));
        }
        return view_;
    }
    void viewWillAppear() override { log_->push_back(id_.toStdString() + " will appear"); }
    void viewDidDisappear() override { log_->push_back(id_.toStdString() + " did disappear"); }
    QWidget* initialKeyView() override { return view_; }
    bool hasResizableWidth() const override { return resizable_; }
    bool hasResizableHeight() const override { return resizable_; }

private:
    QString id_;
    std::vector<std::string>* log_;
    bool resizable_;
    QPointer<QWidget> view_;
};

class PreferencesWindow : public ::testing::Test {
protected:
    void SetUp() override {
        about = new AboutPreferencesViewController({"Orvik", "1.2", "Copyright © Brimble", {}});
        controller =
            std::make_unique<MASPreferencesWindowController>(std::vector<MASPreferencesViewController*>{
                new RecordingPane("General", &log), new RecordingPane("Servers", &log, true), nullptr,
                about});
    }

    std::vector<std::string> log;
    AboutPreferencesViewController* about = nullptr;
    std::unique_ptr<MASPreferencesWindowController> controller;
};

TEST_F(PreferencesWindow, ShowsTheFirstPaneWithAToolbarItemPerPaneAndSpaceForTheNullOne) {
    QMainWindow* window = controller->window();
    EXPECT_EQ(controller->selectedIndex(), -1);
    controller->showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(controller->selectedIndex(), 0);
    EXPECT_EQ(window->windowTitle(), "General label");
    EXPECT_EQ(log, std::vector<std::string>{"General will appear"});
    auto* toolbar = window->findChild<QToolBar*>("toolbar");
    ASSERT_NE(toolbar, nullptr);
    QStringList names;
    for (QAction* action : toolbar->actions())
        names << (action->objectName().isEmpty() ? QStringLiteral("-") : action->objectName());
    EXPECT_EQ(names, (QStringList{"General", "Servers", "-", "AboutPreferences"}));
    EXPECT_NE(toolbar->findChild<QWidget*>("flexibleSpace"), nullptr);
    QWidget* general = window->findChild<QWidget*>("GeneralView");
    ASSERT_NE(general, nullptr);
    EXPECT_TRUE(general->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(QApplication::focusWidget(), general) << "the pane's initial key view";
    // Not resizable: the window is fixed at the pane's size.
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(PreferencesWindow, SelectingSwapsPanesIgnoresTheNullSlotAndKeepsTheWindowWhenClosed) {
    controller->showWindow();
    QMainWindow* window = controller->window();
    controller->selectControllerAtIndex(2); // the space
    controller->selectControllerAtIndex(9);
    EXPECT_EQ(controller->selectedIndex(), 0);

    window->findChild<QToolBar*>("toolbar")->actions()[1]->trigger();
    EXPECT_EQ(controller->selectedIndex(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"General will appear", "Servers will appear",
                                             "General did disappear"}));
    EXPECT_FALSE(window->findChild<QWidget*>("GeneralView")->isVisible());
    EXPECT_NE(window->minimumSize(), window->maximumSize()) << "a resizable pane";

    controller->selectControllerAtIndex(3);
    EXPECT_EQ(window->windowTitle(), "About");
    EXPECT_EQ(labelText(window, "applicationName"), "Orvik");
    EXPECT_EQ(labelText(window, "version"), "Version 1.2");
    EXPECT_EQ(labelText(window, "copyright"), "Copyright © Brimble");
    // The window grows to the pane: nothing of it is cut off.
    QWidget* aboutView = about->view();
    EXPECT_TRUE(window->rect().contains(QRect(aboutView->mapTo(window, QPoint()), aboutView->size())));
    EXPECT_TRUE(aboutView->parentWidget()->rect().contains(aboutView->geometry()));

    QPointer<QMainWindow> kept = window;
    window->close();
    pumpEvents();
    ASSERT_FALSE(kept.isNull());
    EXPECT_FALSE(window->isVisible());
    controller->showWindow();
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(controller->selectedIndex(), 3);
    EXPECT_TRUE(about->view()->isVisible());
}

TEST(DisclosureOption, TheButtonShowsAndHidesTheDisclosedView) {
    auto* proxy = new QLineEdit;
    proxy->setObjectName("proxyHost");
    DisclosureOptionViewController section(QStringLiteral("Proxy"), proxy);
    QWidget* view = section.view();
    view->show();
    auto* button = view->findChild<QToolButton*>("disclosureButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Proxy");
    EXPECT_EQ(section.disclosedView(), proxy);
    EXPECT_EQ(proxy->parentWidget(), view);
    EXPECT_FALSE(proxy->isVisible());

    std::vector<bool> changes;
    QObject::connect(&section, &DisclosureOptionViewController::disclosedChanged,
                     [&](bool disclosed) { changes.push_back(disclosed); });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(section.isDisclosed());
    EXPECT_TRUE(proxy->isVisible());
    EXPECT_GT(view->sizeHint().height(), button->sizeHint().height() + proxy->sizeHint().height() - 1);
    section.setDisclosed(false);
    EXPECT_FALSE(proxy->isVisible());
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));

    // A new disclosed view takes the old one's place and state.
    QPointer<QLineEdit> old = proxy;
    auto* replacement = new QLabel("options");
    section.setDisclosedView(replacement);
    section.setDisclosed(true);
    pumpEvents();
    EXPECT_TRUE(old.isNull());
    EXPECT_TRUE(replacement->isVisible());
}

TEST(WendlePopover, HelpPopoverOpensBesideItsAnchorAndClosesOnEscapeOrAClickOutside) {
    QWidget window;
    window.resize(300, 200);
    window.move(20, 20);
    auto* help = new QToolButton(&window);
    help->move(100, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    WendlePopover popover(&window);
    popover.setContentWidget(
        new VyPopoverHelperViewController(QStringLiteral("Use <b>publickey</b> first.")));
    popover.showRelativeToRect(help->rect(), help, WendlePopover::Edge::right);
    ASSERT_TRUE(popover.isVisible());
    EXPECT_EQ(labelText(&popover, "helpText"), "Use <b>publickey</b> first.");
    const QRect anchor(help->mapToGlobal(QPoint(0, 0)), help->size());
    EXPECT_GT(popover.geometry().left(), anchor.right());
    EXPECT_EQ(popover.shownEdge(), WendlePopover::Edge::right);

    QTest::keyClick(&popover, Qt::Key_Escape);
    EXPECT_FALSE(popover.isVisible());

    // Shown again with what it held; a click elsewhere closes it.
    popover.showRelativeToRect({}, help, WendlePopover::Edge::bottom);
    ASSERT_TRUE(popover.isVisible());
    EXPECT_GT(popover.geometry().top(), anchor.bottom());
    EXPECT_NE(popover.findChild<QLabel*>("helpText"), nullptr);
    // Through the window system, as a real click comes.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    pumpEvents();
    EXPECT_FALSE(popover.isVisible());
}

TEST(WendlePopover, WithoutRoomOnThePreferredEdgeItOpensOnTheOtherSide) {
    QWidget window;
    const QRect screen = window.screen()->availableGeometry();
    window.setGeometry(screen.right() - 120, screen.top() + 100, 100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    WendlePopover popover(&window);
    auto* content = new QLabel("x");
    content->setFixedSize(200, 50);
    popover.setContentWidget(content);
    popover.showRelativeToRect({}, &window, WendlePopover::Edge::right);
    EXPECT_EQ(popover.shownEdge(), WendlePopover::Edge::left);
    EXPECT_LT(popover.geometry().right(), window.geometry().left());
    popover.close();
}

} // namespace
