#pragma once
// A main window over scratch preferences whose pages never reach a server
// (unless a test gives them a transport of its own), and the checks the
// window's tests share.

#include "AppTestSupport.h"

#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "app/MainWindowController.h"
#include "app/OrvikController.h"
#include "app/OrvikTerminal.h"
#include "app/SessionsListSidebarViewController.h"
#include "app/TerminalPageController.h"

#include <gtest/gtest.h>

#include <QMimeData>

#include <memory>
#include <string>
#include <vector>

namespace app_test {

inline std::shared_ptr<OrvikController> storedServer(const std::string& name,
                                                     const std::string& theme = "Grass") {
    auto server = std::make_shared<OrvikController>();
    server->setName(name);
    server->setSsh_host(name + ".example");
    server->ssh_user = "ann";
    server->profile()->setTheme_name(theme);
    return server;
}

struct WindowHarness {
    QtMain main;
    Scratch dir;
    std::shared_ptr<OrvikPreferences> prefs = scratchPreferences(dir);
    std::unique_ptr<MainWindowController> window;
    // Null: the real transport.
    HalvexSessionController::TransportFactory transport = QuietTransport::factory();
    // Null: the window's own dialogs.
    std::shared_ptr<HalvexSecretPrompter> prompter;
    std::vector<std::weak_ptr<OrvikController>> pageControllers;

    explicit WindowHarness(std::vector<std::shared_ptr<OrvikController>> servers = {}) {
        if (!servers.empty()) prefs->setShellProfiles(servers);
        window = std::make_unique<MainWindowController>(prefs);
        window->setControllerSetup([this](OrvikController& page) {
            pageControllers.push_back(std::static_pointer_cast<OrvikController>(page.shared_from_this()));
            if (transport) page.setTransportFactory(transport);
            if (prompter) page.setSecretPrompter(prompter);
        });
        window->resize(1100, 700);
        window->show();
        pumpEvents();
    }
    ~WindowHarness() {
        window.reset();
        // Every page is gone (a page owns its controller) before the main
        // queue is unbound: a terminal let go elsewhere hops to it.
        pumpUntil([&] {
            for (auto& c : pageControllers)
                if (!c.expired()) return false;
            return true;
        });
        pumpEvents();
    }

    MainWindowController& w() { return *window; }
    SessionsListSidebarViewController& sidebar() { return *window->sidebarViewController(); }
    TerminalPageController& pages() { return *window->terminalPageController(); }
    const std::vector<std::shared_ptr<OrvikTerminal>>& terminals() { return window->terminals(); }
    std::shared_ptr<OrvikController> stored(size_t i) { return prefs->shellProfiles().at(i); }

    // Page names in page order.
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (auto& t : terminals())
            out.push_back(t->shellController()->name().value_or(""));
        return out;
    }
    std::string selectedName() {
        auto t = window->selectedTerminal();
        return t ? t->shellController()->name().value_or("") : std::string("(none)");
    }
    void connect(size_t storedIndex) { window->connectToRepresentedServer(*stored(storedIndex)->uid); }
    void focusRow(int row) {
        if (row < 0)
            sidebar().tableView()->clearSelection();
        else
            sidebar().selectSidebarItemAtIndex(row);
    }
    // A drag of row `from` dropped at gap `to`, as the table delivers it.
    bool drag(int from, int to) {
        auto data = sidebar().writeRowsWithIndexes({from});
        return sidebar().acceptDrop(*data, to, sidebar().tableView());
    }

    // `terminals`, the page controller's pages and the sidebar's rows hold
    // the same pages in the same order, and show and select the same one.
    void expectInStep(const std::string& context = {}) {
        SCOPED_TRACE(context);
        std::vector<std::string> uids, sidebarUids;
        for (auto& t : terminals())
            uids.push_back(t->uid());
        for (auto& item : sidebar().sidebarItems())
            sidebarUids.push_back(item->uid());
        EXPECT_EQ(pages().arrangedObjects(), uids);
        EXPECT_EQ(sidebarUids, uids);
        EXPECT_EQ(sidebar().tableView()->model()->rowCount(), static_cast<int>(uids.size()));
        EXPECT_EQ(pages().count(), static_cast<int>(uids.size()));
        EXPECT_EQ(pages().selectedIndex(), sidebar().selectedIndex());
        if (auto selected = window->selectedTerminal()) {
            auto* screen = RellumQtScreenController::of(*selected);
            EXPECT_EQ(pages().currentWidget(), screen->view());
        } else {
            EXPECT_TRUE(uids.empty());
        }
    }
};

} // namespace app_test
