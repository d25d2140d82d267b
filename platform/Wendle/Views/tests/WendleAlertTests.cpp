// Alerts: the real dialog under Qt's offscreen platform, the runner seam and
// the scripted runner tests install.
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/WendleQtMainQueue.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using dialog_test::labelText;

void whenAlert(std::function<void(WendleAlertDialog*)> action) {
    dialog_test::whenModal<WendleAlertDialog>(std::move(action));
}

WendleAlert alertWith(QStringList buttons) {
    WendleAlert alert;
    alert.messageText = QStringLiteral("Delete saved password");
    alert.informativeText = QStringLiteral("Warning! <b>server</b>");
    alert.buttons = std::move(buttons);
    return alert;
}

// Every test here runs the real dialog, whatever another test installed.
class RealAlerts : public ::testing::Test {
    WendleScopedAlertRunner real{nullptr};
};

TEST_F(RealAlerts, EscapeAndClosingChooseCancelWhereThereIsOneElseTheFirstButton) {
    struct Case {
        QStringList buttons;
        bool close; // the window manager's close instead of Escape
        long expected;
    };
    const Case cases[] = {
        {{"Update", "Cancel", "Not Update"}, false, 1001},
        {{"Update", "Cancel", "Not Update"}, true, 1001},
        {{"Delete", "Cancel"}, true, 1001},
        {{"No", "Trust"}, false, 1000},
        {{"No", "Trust"}, true, 1000},
        {{}, false, 1000}, // the lone "OK"
    };
    for (const Case& c : cases) {
        whenAlert([&c](WendleAlertDialog* dialog) {
            if (c.close)
                dialog->close();
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        WendleAlert alert = alertWith(c.buttons);
        EXPECT_EQ(vySafeRunModal(alert), c.expected)
            << c.buttons.join(",").toStdString() << " close " << c.close;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

TEST_F(RealAlerts, ShowsPlainTextsAndButtonsInOrderWithTheFirstRightmostAndDefault) {
    whenAlert([](WendleAlertDialog* dialog) {
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->alertStyle(), WendleAlert::Style::critical);
        EXPECT_EQ(labelText(dialog, "messageText"), "Delete saved password");
        EXPECT_EQ(labelText(dialog, "informativeText"), "Warning! <b>server</b>");
        EXPECT_NE(dialog->findChild<QLabel*>("iconView"), nullptr);
        EXPECT_EQ(dialog->suppressionButton(), nullptr);
        auto* first = dialog->findChild<QPushButton*>("button0");
        auto* second = dialog->findChild<QPushButton*>("button1");
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first->text(), "Delete");
        EXPECT_EQ(second->text(), "Cancel");
        EXPECT_TRUE(first->isDefault());
        EXPECT_GT(first->x(), second->x());
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    WendleAlert alert = alertWith({"Delete", "Cancel"});
    alert.style = WendleAlert::Style::critical;
    EXPECT_EQ(vySafeRunModal(alert), 1000);

    whenAlert([](WendleAlertDialog* dialog) {
        QTest::mouseClick(dialog->findChild<QPushButton*>("button2"), Qt::LeftButton);
    });
    WendleAlert three = alertWith({"Update", "Cancel", "Not Update"});
    EXPECT_EQ(vySafeRunModal(three), 1002);
}

TEST_F(RealAlerts, AccessoryTakesTheTypingAndIsHandedBackWithTheRememberBoxState) {
    auto field = std::make_unique<QLineEdit>();
    WendleAlert alert = alertWith({"OK", "Cancel"});
    alert.accessoryView = field.get();
    alert.suppressionButtonTitle = QStringLiteral("Remember this password in my keychain");
    whenAlert([](WendleAlertDialog* dialog) {
        auto* box = dialog->findChild<QCheckBox*>("suppressionButton");
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->isChecked());
        auto* accessory = dialog->findChild<QLineEdit*>("accessoryView");
        ASSERT_NE(accessory, nullptr);
        EXPECT_EQ(dialog->focusWidget(), accessory);
        QTest::keyClicks(accessory, "secret");
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>("button0"), Qt::LeftButton);
    });
    EXPECT_EQ(vySafeRunModal(alert), 1000);
    EXPECT_TRUE(alert.suppressionButtonChecked);
    EXPECT_EQ(field->parent(), nullptr);
    EXPECT_EQ(field->text(), "secret");
}

TEST_F(RealAlerts, AWindowClosedUnderTheAlertAnswersAsEscapeAndSparesTheAccessory) {
    auto window = std::make_unique<QWidget>();
    auto field = std::make_unique<QLineEdit>();
    WendleAlert alert = alertWith({"Delete", "Cancel"});
    alert.accessoryView = field.get();
    whenAlert([&window](WendleAlertDialog*) { window.reset(); });
    EXPECT_EQ(vySafeRunModal(alert, window.get()), 1001);
    EXPECT_EQ(field->parent(), nullptr);
}

TEST(WendleAlert, AlertFromAnErrorSaysItsDescriptionAndSuggestion) {
    const WendleAlert alert = WendleAlert::alertWithError(
        Error("Halvex.Extras", 0, "No saved keychain data", "Add a server first."));
    EXPECT_EQ(alert.messageText, "No saved keychain data");
    EXPECT_EQ(alert.informativeText, "Add a server first.");
    EXPECT_EQ(alert.buttonTitles(), QStringList{"OK"});
    EXPECT_EQ(alert.cancelCode(), 1000);
}

TEST(WendleScriptedAlertRunner, AnswersInOrderRecordsTheAlertsAndRunsOutAsEscape) {
    auto previous = WendleAlertRunner::shared();
    auto alerts = std::make_shared<WendleScriptedAlertRunner>();
    {
        WendleScopedAlertRunner installed(alerts);
        EXPECT_EQ(WendleAlertRunner::shared(), alerts);
        alerts->answer(1002);
        alerts->answer([](WendleAlert& alert, QWidget*) {
            alert.suppressionButtonChecked = true;
            return WendleAlert::FirstButton;
        });
        WendleAlert first = alertWith({"Update", "Cancel", "Not Update"});
        EXPECT_EQ(vySafeRunModal(first), 1002);
        WendleAlert second = alertWith({"OK"});
        second.suppressionButtonTitle = QStringLiteral("Remember");
        EXPECT_EQ(vySafeRunModal(second), 1000);
        EXPECT_TRUE(second.suppressionButtonChecked);
        WendleAlert third = alertWith({"Delete", "Cancel"});
        EXPECT_EQ(vySafeRunModal(third), 1001);
        ASSERT_EQ(alerts->asked().size(), 3u);
        EXPECT_EQ(alerts->asked()[0].buttons, (QStringList{"Update", "Cancel", "Not Update"}));
        EXPECT_EQ(alerts->asked()[2].messageText, "Delete saved password");
        EXPECT_EQ(alerts->pending(), 0u);
    }
    EXPECT_EQ(WendleAlertRunner::shared(), previous);
}

TEST(WendleScriptedAlertRunner, AWorkerThreadIsAnsweredOnTheGuiThreadOrAsEscapeWithoutAMainQueue) {
    auto alerts = std::make_shared<WendleScriptedAlertRunner>();
    WendleScopedAlertRunner installed(alerts);
    std::thread::id askedOn;
    alerts->answer([&askedOn](WendleAlert&, QWidget*) {
        askedOn = std::this_thread::get_id();
        return 1001L;
    });

    // No main queue: nobody is asked.
    long answer = 0;
    std::thread([&] {
        WendleAlert alert = alertWith({"Delete", "Keep", "Cancel"});
        answer = vySafeRunModal(alert);
    }).join();
    EXPECT_EQ(answer, 1002);
    EXPECT_TRUE(alerts->asked().empty());

    auto queue = WendleQtMainQueue::installAsMain();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        WendleAlert alert = alertWith({"No", "Trust"});
        answer = vySafeRunModal(alert);
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    MainQueue::setMain(nullptr);
    EXPECT_EQ(answer, 1001);
    EXPECT_EQ(askedOn, std::this_thread::get_id());
    EXPECT_EQ(alerts->asked().size(), 1u);
}

} // namespace
