#pragma once

#include "Wendle/Views/WendleRunnerSlot.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

class QFileDialog;
class QWidget;

// What an open or save panel shows. Paths are local file-system paths.
struct WendleFilePanel {
    QString title;
    QString prompt;         // the OK button's title ("Import"); the platform's when empty
    QString message;        // a line above the files, when not empty
    QString nameFieldLabel; // "Export As:"; the platform's when empty
    QString directory;      // the starting folder; the current one when empty
    bool showsHiddenFiles = false;
    // File suffixes without the dot ("json"); any file when empty.
    QStringList allowedFileTypes;
};

struct WendleOpenPanel : WendleFilePanel {
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
};

struct WendleSavePanel : WendleFilePanel {
    // The proposed file name. A name typed without a suffix gets the first of
    // allowedFileTypes; replacing a file is confirmed.
    QString nameFieldStringValue;
};

struct WendleFilePanelResult {
    static constexpr int OK = 1;
    static constexpr int Cancel = 0;
    int response = Cancel;
    QStringList paths; // the chosen paths when OK (one for a save panel)
};

// Runs file panels modally: the process-wide seam every panel goes through.
// The real runner shows a non-native QFileDialog (so it also runs offscreen
// and under Xvfb); tests install a scripted one. GUI thread only.
class WendleFilePanelRunner {
public:
    virtual ~WendleFilePanelRunner() = default;
    virtual WendleFilePanelResult runOpenPanel(const WendleOpenPanel& panel, QWidget* window) = 0;
    virtual WendleFilePanelResult runSavePanel(const WendleSavePanel& panel, QWidget* window) = 0;

    // The installed runner; the dialog runner unless one was installed.
    static std::shared_ptr<WendleFilePanelRunner> shared();
    // Installs `runner` (null restores the dialog runner) and returns the
    // one it replaces.
    static std::shared_ptr<WendleFilePanelRunner> install(std::shared_ptr<WendleFilePanelRunner> runner);
};

// Run a panel over `window` (may be null) through the installed runner.
WendleFilePanelResult WendleRunOpenPanel(const WendleOpenPanel& panel, QWidget* window = nullptr);
WendleFilePanelResult WendleRunSavePanel(const WendleSavePanel& panel, QWidget* window = nullptr);

// The real runner.
class WendleDialogFilePanelRunner : public WendleFilePanelRunner {
public:
    WendleFilePanelResult runOpenPanel(const WendleOpenPanel& panel, QWidget* window) override;
    WendleFilePanelResult runSavePanel(const WendleSavePanel& panel, QWidget* window) override;

    // The dialogs it runs, set up but not shown (for tests of the set-up).
    static QFileDialog* makeOpenDialog(const WendleOpenPanel& panel, QWidget* window);
    static QFileDialog* makeSaveDialog(const WendleSavePanel& panel, QWidget* window);
};

// A runner for tests: answers each panel from a script, in order, and keeps
// every panel it was asked. When the script runs out it answers Cancel.
//
//     auto panels = std::make_shared<WendleScriptedFilePanelRunner>();
//     WendleScopedFilePanelRunner installed(panels);
//     panels->answer({WendleFilePanelResult::OK, {dir + "/backup.json"}});
//     ... code under test runs its save panel ...
//     EXPECT_EQ(panels->savePanels().at(0).nameFieldStringValue, "Server-Entries-2016-03-01");
class WendleScriptedFilePanelRunner : public WendleFilePanelRunner {
public:
    using Asked = std::variant<WendleOpenPanel, WendleSavePanel>;
    using Answer = std::function<WendleFilePanelResult(const Asked& panel)>;

    void answer(WendleFilePanelResult result);
    void answer(Answer answer);

    WendleFilePanelResult runOpenPanel(const WendleOpenPanel& panel, QWidget* window) override;
    WendleFilePanelResult runSavePanel(const WendleSavePanel& panel, QWidget* window) override;

    // Every panel asked, in order.
    const std::vector<Asked>& asked() const { return asked_; }
    std::vector<WendleOpenPanel> openPanels() const;
    std::vector<WendleSavePanel> savePanels() const;
    std::size_t pending() const { return script_.size(); }

private:
    WendleFilePanelResult next(const Asked& panel);

    std::deque<Answer> script_;
    std::vector<Asked> asked_;
};

// Installs a runner for the lifetime of the object, then puts back the one
// it replaced.
using WendleScopedFilePanelRunner = WendleScopedRunner<WendleFilePanelRunner>;
