// The known-host questions as the engine asks them (through the known-host
// model and the shared presenter), answered in real dialogs under Qt's
// offscreen platform.
#include "Dispatch/MainQueue.h"
#include "Halvex/HalvexKnownHostModel.h"
#include "Halvex/Views/HalvexQtAlertPresenter.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include "Wendle/Views/tests/DialogTestSupport.h"

#include <functional>
#include <memory>
#include <thread>

namespace {

void whenAlert(std::function<void(WendleAlertDialog*)> action) {
    dialog_test::whenModal<WendleAlertDialog>(std::move(action), 5000);
}

using dialog_test::labelText;

QStringList buttonTitles(WendleAlertDialog* dialog) {
    QStringList titles;
    for (auto* b : dialog->buttons())
        titles << b->text();
    return titles;
}

void click(WendleAlertDialog* dialog, int index) {
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("button%1").arg(index)), Qt::LeftButton);
}

const char* const kKeyText = "AAAAC3NzaC1lZDI1NTE5AAAAIEgxSDfkyvRPoFwMYZmmeG/nc/c6VL+0rI55fBdgxPmk";
const char* const kOldKeyText = "AAAAC3NzaC1lZDI1NTE5AAAAIP3/WV2P2yHvE04ndtW4IUZT034vH7Gn3rIBWZ2QJZFU";
const HalvexHostKeyParser& newKey() {
    static const auto key = HalvexHostKeyParser::parserFromBase64(kKeyText, 0, nullptr);
    return *key;
}

class QtAlerts : public ::testing::Test {
protected:
    void SetUp() override {
        presenter = std::make_shared<HalvexQtAlertPresenter>();
        HalvexAlertPresenter::setSharedPresenter(presenter);
        host.setHost_key(kOldKeyText);
        host.setHost_key_type(0);
    }
    void TearDown() override { HalvexAlertPresenter::setSharedPresenter(nullptr); }

    std::shared_ptr<HalvexQtAlertPresenter> presenter;
    HalvexKnownHostModel host{"server.test", 2222, "192.0.2.1"};
};

TEST_F(QtAlerts, NewHostAsksToTrustTheFingerprint) {
    HalvexKnownHostModel fresh("server.test", 2222, "192.0.2.1");
    whenAlert([](WendleAlertDialog* dialog) {
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->alertStyle(), WendleAlert::Style::warning);
        EXPECT_EQ(labelText(dialog, "messageText"),
                  "Please verify the host key fingerprint for 'server.test (192.0.2.1) port 2222'");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  "The fingerprint of host key is\nSHA256:ZBpmZBNxcOLS4gRxcaQbGU5ft/9CoXah6kko5OtySp4 "
                  "[ssh-ed25519]\n\nDo you trust the "
                  "host with this fingerprint?");
        EXPECT_EQ(buttonTitles(dialog), (QStringList{"No", "Trust"}));
        EXPECT_TRUE(dialog->buttons()[0]->isDefault()) << "Return answers No";
        EXPECT_FALSE(dialog->buttons()[1]->isDefault());
        click(dialog, 1);
    });
    EXPECT_TRUE(fresh.shouldAcceptHostKey(newKey()));
    EXPECT_EQ(fresh.host_key(), kKeyText);
    EXPECT_EQ(fresh.host_key_type(), newKey().keyType());

    HalvexKnownHostModel refused("server.test", 2222, "192.0.2.1");
    whenAlert([](WendleAlertDialog* dialog) { click(dialog, 0); });
    EXPECT_FALSE(refused.shouldAcceptHostKey(newKey()));
    EXPECT_FALSE(refused.host_key());
}

TEST_F(QtAlerts, ChangedKeyWarnsAndNoKeepsTheStoredKey) {
    whenAlert([](WendleAlertDialog* dialog) {
        EXPECT_EQ(dialog->alertStyle(), WendleAlert::Style::critical);
        EXPECT_EQ(labelText(dialog, "messageText"), "REMOTE HOST KEY HAS CHANGED!");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  "WARNING: IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!\n"
                  "Someone could be eavesdropping on you right now (man-in-the-middle attack)!\n"
                  "It is also possible that a host key has just been changed.\n"
                  "The fingerprint of the host key sent by the remote host is\n"
                  "SHA256:ZBpmZBNxcOLS4gRxcaQbGU5ft/9CoXah6kko5OtySp4 [ssh-ed25519]\n\n"
                  "Are you sure you want to accept this changed host key?");
        EXPECT_EQ(buttonTitles(dialog), (QStringList{"No", "Accept"}));
        click(dialog, 0);
    });
    EXPECT_FALSE(host.tryUpdateHostKey(newKey(), true));
    EXPECT_EQ(host.host_key(), kOldKeyText);

    whenAlert([](WendleAlertDialog* dialog) { click(dialog, 1); });
    EXPECT_TRUE(host.tryUpdateHostKey(newKey(), true));
    EXPECT_EQ(host.host_key(), kKeyText);
}

TEST_F(QtAlerts, ChangedAddressWarnsOfSpoofing) {
    whenAlert([](WendleAlertDialog* dialog) {
        EXPECT_EQ(dialog->alertStyle(), WendleAlert::Style::critical);
        EXPECT_EQ(labelText(dialog, "messageText"), "POSSIBLE DNS SPOOFING DETECTED!");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  "The IP address for server.test is resolved to 192.0.2.77, which differs from the last "
                  "connected IP address (192.0.2.1).\n\nAre you sure you want to continue connecting?");
        EXPECT_EQ(buttonTitles(dialog), (QStringList{"No", "I'm sure"}));
        click(dialog, 1);
    });
    EXPECT_TRUE(host.tryUpdateHostIP("192.0.2.77", true));
    EXPECT_EQ(host.host_ip, "192.0.2.77");
}

TEST_F(QtAlerts, EscapeAnswersNoAndTextsStayPlain) {
    HalvexKnownHostModel odd("<b>server</b>", 22, std::nullopt);
    whenAlert([](WendleAlertDialog* dialog) {
        EXPECT_EQ(labelText(dialog, "messageText"),
                  "Please verify the host key fingerprint for '<b>server</b>'");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(odd.shouldAcceptHostKey(newKey()));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtAlerts, TheSSHThreadWaitsForTheAnswerFromTheMainThread) {
    auto queue = WendleQtMainQueue::installAsMain();
    QEventLoop loop;
    bool accepted = false;
    bool onMain = true;
    whenAlert([&](WendleAlertDialog* dialog) {
        onMain = QThread::currentThread() == qApp->thread();
        click(dialog, 1);
    });
    std::thread ssh([&] {
        HalvexKnownHostModel fresh("server.test", 2222, "192.0.2.1");
        accepted = fresh.shouldAcceptHostKey(newKey());
        QMetaObject::invokeMethod(
            &loop, [&] { loop.quit(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &loop, [&] {
        ADD_FAILURE() << "the SSH thread is still waiting";
        if (auto* w = QApplication::activeModalWidget()) static_cast<QDialog*>(w)->reject();
    });
    loop.exec();
    ssh.join();
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(onMain);
    MainQueue::setMain(nullptr);
}

} // namespace
