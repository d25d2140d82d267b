#pragma once

#include "Foundation/Error.h"
#include "Wendle/Views/WendleRunnerSlot.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

// One modal alert: what the user is asked and the buttons to answer with.
// Texts are shown as plain text, never as markup (host names, server texts).
struct WendleAlert {
    enum class Style { informational, warning, critical };

    // The code of the first button; the second is 1001, and so on.
    static constexpr long FirstButton = 1000;

    Style style = Style::warning;
    QString messageText;
    QString informativeText;
    // In order; the first is the default button (Return) and stands rightmost.
    // With none, the alert shows one "OK".
    QStringList buttons;
    // Shown below the informative text and given the focus. The caller keeps
    // it: the runner hands it back unparented once the alert has run, so its
    // contents (a typed passphrase) can be read afterwards.
    QPointer<QWidget> accessoryView;
    // The "remember" box under the texts, when its title is not empty. Its
    // state goes in and comes back in suppressionButtonChecked.
    QString suppressionButtonTitle;
    bool suppressionButtonChecked = false;

    // The alert that reports an error: its description as the message, its
    // recovery suggestion as the informative text, one "OK".
    static WendleAlert alertWithError(const Error& error);

    // The titles as shown: `buttons`, or "OK" when there are none.
    QStringList buttonTitles() const;
    // What Escape and closing the window choose: the button titled "Cancel"
    // when there is one, else the first button.
    long cancelCode() const;
};

// Runs alerts modally: the process-wide seam every alert goes through. The
// real runner shows a WendleAlertDialog; tests install a scripted one.
// Runners are called on the GUI thread only.
class WendleAlertRunner {
public:
    virtual ~WendleAlertRunner() = default;
    // Runs the alert over `window` (may be null) and answers the chosen
    // button's code (1000 + its index). May update the alert's suppression
    // state.
    virtual long runModal(WendleAlert& alert, QWidget* window) = 0;

    // The installed runner; the dialog runner unless one was installed.
    static std::shared_ptr<WendleAlertRunner> shared();
    // Installs `runner` (null restores the dialog runner) and returns the
    // one it replaces.
    static std::shared_ptr<WendleAlertRunner> install(std::shared_ptr<WendleAlertRunner> runner);
};

// Runs the alert through the installed runner on the GUI thread and answers
// the chosen button's code. From another thread it hops synchronously to the
// main queue; when that cannot be done (no application or main queue, the
// hop given up) the answer is alert.cancelCode(), so nothing is accepted
// unasked.
long vySafeRunModal(WendleAlert& alert, QWidget* window = nullptr);

// A runner for tests: answers from a script, in order, and keeps a copy of
// every alert it was asked. An answer is a code, or a function that may also
// fill the accessory view or tick the remember box. When the script runs out
// it answers as Escape would (cancelCode()).
//
//     auto alerts = std::make_shared<WendleScriptedAlertRunner>();
//     WendleScopedAlertRunner installed(alerts);
//     alerts->answer(1001);
//     ... code under test runs its alert ...
//     EXPECT_EQ(alerts->asked().at(0).messageText, "Delete saved password");
class WendleScriptedAlertRunner : public WendleAlertRunner {
public:
    using Answer = std::function<long(WendleAlert& alert, QWidget* window)>;

    void answer(long code);
    void answer(Answer answer);

    long runModal(WendleAlert& alert, QWidget* window) override;

    // The alerts asked so far, as they were when asked.
    const std::vector<WendleAlert>& asked() const { return asked_; }
    // Answers not used yet.
    std::size_t pending() const { return script_.size(); }

private:
    std::deque<Answer> script_;
    std::vector<WendleAlert> asked_;
};

// Installs a runner for the lifetime of the object, then puts back the one
// it replaced.
using WendleScopedAlertRunner = WendleScopedRunner<WendleAlertRunner>;
