#include "Halvex/Views/HalvexQtSecretPrompter.h"
#include "Halvex/Views/HalvexSecretPromptDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QEventLoop>
#include <functional>
#include <memory>
#include <thread>

namespace {

void whenModal(std::function<void(HalvexSecretPromptDialog*)> action) {
    dialog_test::whenModal<HalvexSecretPromptDialog>(std::move(action), 2000);
}

using dialog_test::labelText;

QPushButton* button(QWidget* dialog, const char* name) {
    auto* b = dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

QCheckBox* rememberBox(QWidget* dialog) {
    auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("rememberBox"));
    EXPECT_NE(box, nullptr);
    return box;
}

// The common frame of every prompt: buttons "OK" (default) and "Cancel", the
// remember box visible and unticked, the first field (or OK) taking focus.
void expectAlertFrame(HalvexSecretPromptDialog* dialog, const QString& rememberTitle) {
    EXPECT_TRUE(dialog->isModal());
    auto* ok = button(dialog, "okButton");
    auto* cancel = button(dialog, "cancelButton");
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(cancel->isDefault());
    auto* box = rememberBox(dialog);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), rememberTitle);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isChecked());
    QWidget* expectedFocus = dialog->fields().empty() ? static_cast<QWidget*>(ok) : dialog->fields().front();
    EXPECT_EQ(dialog->focusWidget(), expectedFocus);
}

QList<QLineEdit*> fieldsOf(QWidget* dialog) {
    return dialog->findChildren<QLineEdit*>();
}

TEST(HalvexSecretPromptDialog, PasswordPromptShowsItsTextsAndReturnsWhatWasTyped) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        EXPECT_EQ(labelText(dialog, "messageText"), "Password Authentication");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  QString::fromUtf8("Enter the password for user “alice” on “db.example.org:2222”"));
        expectAlertFrame(dialog, "Remember this password in my keychain");
        const auto fields = fieldsOf(dialog);
        ASSERT_EQ(fields.size(), 1);
        EXPECT_EQ(fields[0]->objectName(), "field0");
        EXPECT_EQ(fields[0]->echoMode(), QLineEdit::Password);
        EXPECT_EQ(fields[0]->placeholderText(), "Password");
        EXPECT_EQ(fields[0]->width(), 300);
        QTest::keyClicks(fields[0], "pa ss{1}word");
        QTest::mouseClick(rememberBox(dialog), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    bool saving = false;
    EXPECT_EQ(prompter.promptForPasswordWithSaving("alice", "db.example.org", 2222, &saving), "pa ss{1}word");
    EXPECT_TRUE(saving);
}

TEST(HalvexSecretPromptDialog, PassphrasePromptOkWithoutTheBoxDoesNotRemember) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        EXPECT_EQ(labelText(dialog, "messageText"), "Public-key Authentication");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  QString::fromUtf8("Enter the passphrase for private key “deploy key”."));
        expectAlertFrame(dialog, "Remember this passphrase in my keychain");
        const auto fields = fieldsOf(dialog);
        ASSERT_EQ(fields.size(), 1);
        EXPECT_EQ(fields[0]->echoMode(), QLineEdit::Password);
        EXPECT_EQ(fields[0]->placeholderText(), "Passphrase for private key");
        // Non-ASCII passphrases come back as UTF-8.
        fields[0]->setText(QString::fromUtf8("grüße 🔑"));
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    bool saving = true;
    EXPECT_EQ(prompter.promptForPassphraseWithSaving("deploy key", &saving), "grüße 🔑");
    EXPECT_FALSE(saving);
}

TEST(HalvexSecretPromptDialog, InteractivePromptHasOneFieldPerPromptWithItsEchoFlag) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        EXPECT_EQ(labelText(dialog, "messageText"), "Interactive Authentication");
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  QString::fromUtf8("Remote host “10.0.0.5:22” requests following information for user “bob”."
                                    "\nTwo-step\nAnswer all"));
        expectAlertFrame(dialog, "Remember interactive information in my keychain");
        const auto& fields = dialog->fields();
        ASSERT_EQ(fields.size(), 3u);
        EXPECT_EQ(fieldsOf(dialog).size(), 3);
        const QStringList prompts{"Verification code: ", "Password: ", "PIN: "};
        const QLineEdit::EchoMode modes[] = {QLineEdit::Normal, QLineEdit::Password, QLineEdit::Password};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(fields[i]->objectName(), QStringLiteral("field%1").arg(i));
            EXPECT_EQ(fields[i]->placeholderText(), prompts[i]);
            EXPECT_EQ(fields[i]->toolTip(), prompts[i]);
            EXPECT_EQ(fields[i]->echoMode(), modes[i]) << i;
            EXPECT_EQ(fields[i]->width(), 300);
            if (i > 0) {
                EXPECT_EQ(fields[i]->y() - (fields[i - 1]->y() + fields[i - 1]->height()), 8) << i;
            }
        }
        QTest::keyClicks(fields[0], "123456");
        QTest::keyClicks(fields[1], "hunter2");
        QTest::keyClicks(fields[2], "0000");
        QTest::mouseClick(rememberBox(dialog), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    bool saving = false;
    const auto answers = prompter.promptForInteractiveName(
        "10.0.0.5", 22, "bob", "Two-step", "Answer all",
        {{"Verification code: ", true}, {"Password: ", false}, {"PIN: ", false}}, &saving);
    EXPECT_EQ(answers, (std::vector<std::string>{"123456", "hunter2", "0000"}));
    EXPECT_TRUE(saving);
}

TEST(HalvexSecretPromptDialog, CancelGivesTheEmptyAnswerEvenWithTextTypedAndTheBoxTicked) {
    HalvexQtSecretPrompter prompter;
    auto typeTickCancel = [](HalvexSecretPromptDialog* dialog) {
        for (auto* field : dialog->fields())
            QTest::keyClicks(field, "typed");
        QTest::mouseClick(rememberBox(dialog), Qt::LeftButton);
        EXPECT_TRUE(rememberBox(dialog)->isChecked());
        QTest::mouseClick(button(dialog, "cancelButton"), Qt::LeftButton);
    };
    bool saving = true;
    whenModal(typeTickCancel);
    EXPECT_EQ(prompter.promptForPasswordWithSaving("alice", "h", 22, &saving), "");
    EXPECT_FALSE(saving);

    saving = true;
    whenModal(typeTickCancel);
    EXPECT_TRUE(prompter.promptForInteractiveName("h", 22, "u", "", "", {{"A", true}, {"B", false}}, &saving)
                    .empty());
    EXPECT_FALSE(saving);
}

TEST(HalvexSecretPromptDialog, ReturnAnswersAndEscapeCancels) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        QTest::keyClicks(dialog->fields().front(), "abc");
        QTest::keyClick(dialog->fields().front(), Qt::Key_Return);
    });
    EXPECT_EQ(prompter.promptForPasswordWithSaving("u", "h", 22, nullptr), "abc");

    whenModal([](HalvexSecretPromptDialog* dialog) {
        QTest::keyClicks(dialog->fields().front(), "abc");
        QTest::keyClick(dialog->fields().front(), Qt::Key_Escape);
    });
    EXPECT_EQ(prompter.promptForPassphraseWithSaving("k", nullptr), "");
}

TEST(HalvexSecretPromptDialog, ServerTextsAreShownAsPlainText) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        EXPECT_EQ(labelText(dialog, "informativeText"),
                  QString::fromUtf8("Remote host “h:22” requests following information for user “u”."
                                    "\n<b>name</b>\n<a href=\"https://example.org\">click</a><img src=x>"));
        ASSERT_EQ(dialog->fields().size(), 1u);
        EXPECT_EQ(dialog->fields()[0]->placeholderText(), "<i>code</i>");
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(prompter.promptForInteractiveName("h", 22, "u", "<b>name</b>",
                                                "<a href=\"https://example.org\">click</a><img src=x>",
                                                {{"<i>code</i>", true}}, nullptr),
              std::vector<std::string>{""});
}

TEST(HalvexSecretPromptDialog, InteractivePromptWithoutPromptsHasNoFields) {
    HalvexQtSecretPrompter prompter;
    whenModal([](HalvexSecretPromptDialog* dialog) {
        expectAlertFrame(dialog, "Remember interactive information in my keychain");
        EXPECT_TRUE(fieldsOf(dialog).isEmpty());
        QTest::mouseClick(rememberBox(dialog), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    bool saving = false;
    EXPECT_TRUE(prompter.promptForInteractiveName("h", 22, "u", "", "", {}, &saving).empty());
    EXPECT_TRUE(saving);
}

TEST(HalvexSecretPromptDialog, CancelPromptAndDestroyingThePrompterEndOpenPromptsAsCancel) {
    HalvexQtSecretPrompter prompter;
    whenModal([&prompter](HalvexSecretPromptDialog* dialog) {
        QTest::keyClicks(dialog->fields().front(), "typed");
        QTest::mouseClick(rememberBox(dialog), Qt::LeftButton);
        prompter.cancelPrompt();
    });
    bool saving = true;
    EXPECT_EQ(prompter.promptForPasswordWithSaving("u", "h", 22, &saving), "");
    EXPECT_FALSE(saving);

    // A prompt inside another (two sessions asking at once): cancelling ends both.
    int inner = 0;
    whenModal([&](HalvexSecretPromptDialog*) {
        whenModal([&](HalvexSecretPromptDialog* second) {
            EXPECT_EQ(labelText(second, "messageText"), "Public-key Authentication");
            prompter.cancelPrompt();
        });
        bool innerSaving = true;
        inner = prompter.promptForPassphraseWithSaving("k", &innerSaving).empty() && !innerSaving ? 1 : -1;
    });
    EXPECT_EQ(prompter.promptForPasswordWithSaving("u", "h", 22, nullptr), "");
    EXPECT_EQ(inner, 1);

    auto owned = std::make_unique<HalvexQtSecretPrompter>();
    whenModal([&owned](HalvexSecretPromptDialog* dialog) {
        QTest::keyClicks(dialog->fields().front(), "typed");
        owned.reset();
    });
    auto* raw = owned.get();
    EXPECT_EQ(raw->promptForPasswordWithSaving("u", "h", 22, nullptr), "");
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(HalvexSecretPromptDialog, AWorkerWaitsWhileTheMainThreadAsks) {
    // As an SSH thread does: it hands the question to the main thread and
    // blocks until the answer is back; a second question is cancelled instead.
    HalvexQtSecretPrompter prompter;
    QEventLoop loop;
    std::string first, second = "unset";
    whenModal([&](HalvexSecretPromptDialog* dialog) {
        QTest::keyClicks(dialog->fields().front(), "from main");
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
        whenModal([&](HalvexSecretPromptDialog*) { prompter.cancelPrompt(); });
    });
    std::thread worker([&] {
        auto ask = [&](std::string* answer) {
            QMetaObject::invokeMethod(
                qApp, [&] { *answer = prompter.promptForPasswordWithSaving("u", "h", 22, nullptr); },
                Qt::BlockingQueuedConnection);
        };
        ask(&first);
        ask(&second);
        QMetaObject::invokeMethod(
            &loop, [&] { loop.quit(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(10000, &loop, [&] {
        ADD_FAILURE() << "worker still waiting";
        prompter.cancelPrompt();
    });
    loop.exec();
    worker.join();
    EXPECT_EQ(first, "from main");
    EXPECT_EQ(second, "");
}

} // namespace
