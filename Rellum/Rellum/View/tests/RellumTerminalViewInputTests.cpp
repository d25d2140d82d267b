// Real Qt key, mouse, wheel, focus, paste and drop events sent to the
// terminal view, checked by the bytes the terminal's delegate receives.

#include "ViewHarness.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace view_test;

namespace {

const std::string ESC = "\x1b";
const std::string CSI = "\x1b[";
const std::string SS3 = "\x1bO";

class TerminalViewInput : public ::testing::Test {
protected:
    ViewHarness h;

    std::string key(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(h.view(), Qt::Key(qtKey), modifiers);
        return h.delegate->take();
    }
    std::string keyText(char c, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(h.view(), c, modifiers);
        return h.delegate->take();
    }
    void sendMouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, at, h.view()->mapToGlobal(at), button, held, modifiers);
        QApplication::sendEvent(h.view(), &event);
    }
    std::string click(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        sendMouse(QEvent::MouseButtonPress, at, button, button, modifiers);
        sendMouse(QEvent::MouseButtonRelease, at, button, Qt::NoButton, modifiers);
        return h.delegate->take();
    }
    std::string wheel(QPointF at, int angleY, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWheelEvent event(at, h.view()->mapToGlobal(at), QPoint(), QPoint(0, angleY), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(h.view(), &event);
        return h.delegate->take();
    }
};

TEST_F(TerminalViewInput, TypedTextAndKeyBindingCommands) {
    EXPECT_EQ(keyText('a'), "a");
    EXPECT_EQ(keyText('A', Qt::ShiftModifier), "A");
    EXPECT_EQ(key(Qt::Key_Return), "\r");
    EXPECT_EQ(key(Qt::Key_Enter, Qt::KeypadModifier), "\r");
    EXPECT_EQ(key(Qt::Key_Backspace), "\x7f");
    EXPECT_EQ(key(Qt::Key_Escape), ESC);
    EXPECT_EQ(key(Qt::Key_Backspace, Qt::AltModifier), ESC + "\x7f");
    EXPECT_EQ(key(Qt::Key_Left, Qt::AltModifier), ESC + "b");
    EXPECT_EQ(key(Qt::Key_Right, Qt::AltModifier), ESC + "f");
}

TEST_F(TerminalViewInput, TabNeverMovesTheFocusAway) {
    auto* other = new QLineEdit(h.window.get());
    h.window->layout()->addWidget(other);
    other->show();
    h.view()->setFocus();
    pumpEvents();
    ASSERT_TRUE(h.view()->hasFocus());
    EXPECT_EQ(key(Qt::Key_Tab), "\t");
    EXPECT_TRUE(h.view()->hasFocus());
    EXPECT_EQ(key(Qt::Key_Backtab, Qt::ShiftModifier), CSI + "Z");
    EXPECT_TRUE(h.view()->hasFocus());
}

TEST_F(TerminalViewInput, CursorKeysFollowTheHostsCursorMode) {
    EXPECT_EQ(key(Qt::Key_Up), CSI + "A");
    EXPECT_EQ(key(Qt::Key_Left), CSI + "D");
    h.feed("\x1b[?1h");
    EXPECT_EQ(key(Qt::Key_Up), SS3 + "A");
    EXPECT_EQ(key(Qt::Key_Right), SS3 + "C");
    // Shift with a cursor key selects text and sends nothing.
    EXPECT_EQ(key(Qt::Key_Left, Qt::ShiftModifier), "");
}

TEST_F(TerminalViewInput, FunctionAndEditingKeys) {
    EXPECT_EQ(key(Qt::Key_F1), SS3 + "P");
    EXPECT_EQ(key(Qt::Key_F5), CSI + "15~");
    EXPECT_EQ(key(Qt::Key_F5, Qt::ShiftModifier), CSI + "15;2~");
    EXPECT_EQ(key(Qt::Key_F1, Qt::AltModifier), CSI + "1;3P");
    EXPECT_EQ(key(Qt::Key_F12), CSI + "24~");
    EXPECT_EQ(key(Qt::Key_Delete), CSI + "3~");
    EXPECT_EQ(key(Qt::Key_Delete, Qt::ControlModifier), CSI + "3;5~");
    EXPECT_EQ(key(Qt::Key_Insert), CSI + "2~");
}

TEST_F(TerminalViewInput, ControlAndAltChords) {
    EXPECT_EQ(keyText('a', Qt::ControlModifier), "\x01");
    EXPECT_EQ(keyText('c', Qt::ControlModifier), "\x03");
    EXPECT_EQ(key(Qt::Key_Space, Qt::ControlModifier), std::string(1, '\0'));
    EXPECT_EQ(keyText('x', Qt::AltModifier), ESC + "x");
}

TEST_F(TerminalViewInput, ControlChordsReachTheTerminalBeforeApplicationShortcuts) {
    int triggered = 0;
    auto* action = new QAction(h.window.get());
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, [&] { ++triggered; });
    h.window->addAction(action);
    auto* appShortcut = new QAction(h.window.get());
    appShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    QObject::connect(appShortcut, &QAction::triggered, [&] { triggered += 10; });
    h.window->addAction(appShortcut);

    EXPECT_EQ(keyText('w', Qt::ControlModifier), "\x17");
    EXPECT_EQ(triggered, 0);
    // Ctrl+Shift chords stay the application's.
    QTest::keyClick(h.view(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(triggered, 10);
    EXPECT_EQ(h.delegate->take(), "");
}

TEST_F(TerminalViewInput, KeypadInApplicationKeypadMode) {
    EXPECT_EQ(key(Qt::Key_5, Qt::KeypadModifier), "5");
    h.feed("\x1b=");
    EXPECT_EQ(key(Qt::Key_5, Qt::KeypadModifier), SS3 + "u");
    EXPECT_EQ(key(Qt::Key_Plus, Qt::KeypadModifier), SS3 + "k");
}

TEST_F(TerminalViewInput, PageKeysScrollThePrimaryScreenAndGoToTheHostOnTheAlternate) {
    std::string lines;
    for (int i = 0; i < 60; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    h.feed(lines);
    const uint64_t bottom = h.view()->topLine();
    ASSERT_GT(bottom, 0u);
    EXPECT_EQ(key(Qt::Key_PageUp), "");
    EXPECT_LT(h.view()->topLine(), bottom);
    EXPECT_EQ(key(Qt::Key_PageDown), "");
    EXPECT_EQ(h.view()->topLine(), bottom);

    h.feed("\x1b[?1049h");
    EXPECT_EQ(key(Qt::Key_PageUp), CSI + "5~");
    EXPECT_EQ(key(Qt::Key_Home), CSI + "H");
}

TEST_F(TerminalViewInput, ShiftPageKeysPageTheScrollbackAndCarryASelection) {
    std::string lines;
    for (int i = 0; i < 60; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    h.feed(lines);
    const uint64_t bottom = h.view()->topLine();
    const int64_t page = h.view()->pageLines();
    ASSERT_GT(bottom, uint64_t(page));
    // Without a selection they only page, and make none.
    EXPECT_EQ(key(Qt::Key_PageUp, Qt::ShiftModifier), "");
    EXPECT_EQ(h.view()->topLine(), bottom - uint64_t(page));
    EXPECT_EQ(key(Qt::Key_PageDown, Qt::ShiftModifier), "");
    EXPECT_EQ(h.view()->topLine(), bottom);
    EXPECT_EQ(h.view()->selectedRange().length, 0u);

    // With one, its moving end goes the same page of lines, in its column.
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    const uint64_t line50 = text.find(u"line 50");
    ASSERT_NE(line50, std::u16string::npos);
    h.view()->setSelectedRange({line50, 4});
    EXPECT_EQ(key(Qt::Key_PageUp, Qt::ShiftModifier), "");
    EXPECT_EQ(h.view()->topLine(), bottom - uint64_t(page));
    std::string above(" ");
    above.append(std::to_string(50 - page)).append("\nline ").append(std::to_string(51 - page));
    EXPECT_EQ(h.view()->selectedText().substr(0, above.size()), above);
    EXPECT_EQ(h.view()->selectedRange().end(), line50);
    EXPECT_EQ(key(Qt::Key_PageDown, Qt::ShiftModifier), "");
    EXPECT_EQ(h.view()->topLine(), bottom);
    EXPECT_EQ(h.view()->selectedText(), "line");

    // The host's own in the alternate screen.
    h.feed("\x1b[?1049h");
    EXPECT_EQ(key(Qt::Key_PageUp, Qt::ShiftModifier), CSI + "5;2~");
    EXPECT_EQ(key(Qt::Key_PageDown, Qt::ShiftModifier), CSI + "6;2~");
}

TEST_F(TerminalViewInput, AltUpAndDownSendTheAltCursorKeysAndAltLeftRightMoveByWords) {
    EXPECT_EQ(key(Qt::Key_Up, Qt::AltModifier), CSI + "1;3A");
    EXPECT_EQ(key(Qt::Key_Down, Qt::AltModifier), CSI + "1;3B");
    EXPECT_EQ(key(Qt::Key_Up, Qt::AltModifier | Qt::ShiftModifier), CSI + "1;4A");
    // The same whatever the host's cursor-key mode.
    h.feed("\x1b[?1h");
    EXPECT_EQ(key(Qt::Key_Down, Qt::AltModifier), CSI + "1;3B");
    EXPECT_EQ(key(Qt::Key_Left, Qt::AltModifier), ESC + "b");
    EXPECT_EQ(key(Qt::Key_Right, Qt::AltModifier), ESC + "f");
}

TEST_F(TerminalViewInput, HeldKeysRepeatOnlyWhileTheHostAllowsIt) {
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"), true);
    h.feed("\x1b[?8l");
    QApplication::sendEvent(h.view(), &repeat);
    EXPECT_EQ(h.delegate->take(), "");
    h.feed("\x1b[?8h");
    QKeyEvent again(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"), true);
    QApplication::sendEvent(h.view(), &again);
    EXPECT_EQ(h.delegate->take(), "x");
}

TEST_F(TerminalViewInput, InputMethodShowsTheCompositionAndSendsTheCommittedText) {
    QInputMethodEvent compose(QStringLiteral("zhong"), {});
    QApplication::sendEvent(h.view(), &compose);
    EXPECT_EQ(h.view()->preeditString(), QStringLiteral("zhong"));
    EXPECT_EQ(h.delegate->take(), "");
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("中"));
    QApplication::sendEvent(h.view(), &commit);
    EXPECT_EQ(h.delegate->take(), "中");
    EXPECT_TRUE(h.view()->preeditString().isEmpty());
    EXPECT_TRUE(h.view()->testAttribute(Qt::WA_InputMethodEnabled));
}

TEST_F(TerminalViewInput, ClickReportsInX10AndSGR) {
    h.feed("\x1b[?1000h");
    EXPECT_EQ(click(h.cell(0, 0), Qt::LeftButton), CSI + "M !!" + CSI + "M#!!");
    h.feed("\x1b[?1006h");
    EXPECT_EQ(click(h.cell(9, 4), Qt::RightButton), CSI + "<2;10;5M" + CSI + "<2;10;5m");
    EXPECT_EQ(click(h.cell(9, 4), Qt::RightButton, Qt::ShiftModifier), CSI + "<6;10;5M" + CSI + "<6;10;5m");
    EXPECT_EQ(click(h.cell(1, 2), Qt::MiddleButton), CSI + "<1;2;3M" + CSI + "<1;2;3m");
    // Clicks alone: no drags or motion.
    sendMouse(QEvent::MouseButtonPress, h.cell(3, 3), Qt::LeftButton, Qt::LeftButton);
    h.delegate->take();
    sendMouse(QEvent::MouseMove, h.cell(5, 3), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(h.delegate->take(), "");
    sendMouse(QEvent::MouseButtonRelease, h.cell(5, 3), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(h.delegate->take(), CSI + "<0;6;4m");
}

TEST_F(TerminalViewInput, DragReportsOncePerCell) {
    h.feed("\x1b[?1002h\x1b[?1006h");
    sendMouse(QEvent::MouseButtonPress, h.cell(3, 3), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(h.delegate->take(), CSI + "<0;4;4M");
    sendMouse(QEvent::MouseMove, h.cell(4, 3), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(h.delegate->take(), CSI + "<32;5;4M");
    sendMouse(QEvent::MouseMove, h.cell(4, 3) + QPointF(1, 1), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(h.delegate->take(), "");
    // Motion without a button is not a drag.
    sendMouse(QEvent::MouseButtonRelease, h.cell(4, 3), Qt::LeftButton, Qt::NoButton);
    h.delegate->take();
    sendMouse(QEvent::MouseMove, h.cell(8, 8), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(h.delegate->take(), "");
}

TEST_F(TerminalViewInput, AllMotionReportsAndOtherProtocols) {
    h.feed("\x1b[?1003h\x1b[?1006h");
    sendMouse(QEvent::MouseMove, h.cell(2, 1), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(h.delegate->take(), CSI + "<35;3;2M");
    sendMouse(QEvent::MouseMove, h.cell(2, 1) + QPointF(1, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(h.delegate->take(), "");
    h.feed("\x1b[?1006l\x1b[?1015h");
    EXPECT_EQ(click(h.cell(0, 0), Qt::LeftButton), CSI + "32;1;1M" + CSI + "35;1;1M");
    h.feed("\x1b[?1015l\x1b[?1005h");
    const std::string utf8 = click(h.cell(79, 23), Qt::LeftButton);
    // 79 + 33 = 'p', 23 + 33 = '8'.
    EXPECT_EQ(utf8.substr(0, 6), CSI + "M p8");
    EXPECT_EQ(h.view()->cursor().shape(), Qt::CrossCursor);
}

TEST_F(TerminalViewInput, WithoutReportsTheMouseSelectsAndAltClickMovesTheCursor) {
    h.feed("hello world\r\nsecond line");
    // Drag over "world".
    sendMouse(QEvent::MouseButtonPress, QPointF(6 * h.cw() + 1, h.lh() / 2), Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, QPointF(11 * h.cw() - 1, h.lh() / 2), Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, QPointF(11 * h.cw() - 1, h.lh() / 2), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(h.delegate->take(), "");
    EXPECT_EQ(h.view()->selectedText(), "world");
    EXPECT_EQ(h.view()->cursor().shape(), Qt::IBeamCursor);

    // The cursor is at (11, 1); Alt-click three columns left and one row up.
    EXPECT_EQ(click(h.cell(8, 0), Qt::LeftButton, Qt::AltModifier),
              CSI + "D" + CSI + "D" + CSI + "D" + CSI + "A");
    // Alt+Shift selects instead.
    EXPECT_EQ(click(h.cell(8, 0), Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier), "");
}

TEST_F(TerminalViewInput, DoubleClickSelectsAWord) {
    h.feed("alpha beta-gamma delta");
    QTest::mouseDClick(h.view(), Qt::LeftButton, Qt::NoModifier, h.cell(8, 0).toPoint());
    EXPECT_EQ(h.view()->selectedText(), "beta-gamma");
    EXPECT_EQ(h.delegate->take(), "");
}

TEST_F(TerminalViewInput, WheelReportsKeysOrScrolling) {
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    h.feed(lines);
    // Primary screen, no reports: the view scrolls.
    const uint64_t bottom = h.view()->topLine();
    EXPECT_EQ(wheel(h.cell(0, 0), 120), "");
    EXPECT_LT(h.view()->topLine(), bottom);
    // Half a notch sends nothing yet; the second half completes it.
    h.feed("\x1b[?1049h");
    EXPECT_EQ(wheel(h.cell(0, 0), 60), "");
    EXPECT_EQ(wheel(h.cell(0, 0), 60), CSI + "A");
    EXPECT_EQ(wheel(h.cell(0, 0), -240), CSI + "B" + CSI + "B");
    h.feed("\x1b[?1000h\x1b[?1006h");
    EXPECT_EQ(wheel(h.cell(0, 0), 120), CSI + "<64;1;1M");
    EXPECT_EQ(wheel(h.cell(2, 3), -120, Qt::ControlModifier), CSI + "<81;3;4M");
}

TEST_F(TerminalViewInput, FocusReportsFollowTheKeyboardFocus) {
    auto* other = new QLineEdit(h.window.get());
    h.window->layout()->addWidget(other);
    other->show();
    h.feed("\x1b[?1004h");
    other->setFocus();
    pumpEvents();
    EXPECT_EQ(h.delegate->take(), CSI + "O");
    EXPECT_FALSE(h.view()->hasGainUserFocus());
    h.view()->setFocus();
    pumpEvents();
    EXPECT_EQ(h.delegate->take(), CSI + "I");
    EXPECT_TRUE(h.view()->hasGainUserFocus());
    h.feed("\x1b[?1004l");
    other->setFocus();
    pumpEvents();
    EXPECT_EQ(h.delegate->take(), "");
}

TEST_F(TerminalViewInput, FocusReportsFollowTheActiveWindow) {
    h.feed("\x1b[?1004h");
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    pumpEvents();
    EXPECT_FALSE(h.view()->hasGainUserFocus());
    std::string sent = h.delegate->take();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.substr(sent.size() - 3), CSI + "O");
    QApplication::setActiveWindow(h.window.get());
    h.view()->setFocus();
    pumpEvents();
    EXPECT_TRUE(h.view()->hasGainUserFocus());
    sent = h.delegate->take();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.substr(sent.size() - 3), CSI + "I");
    // Every report tells the state at that moment: never "in" while inactive.
    EXPECT_EQ(sent.find(CSI + "O"), std::string::npos);
}

TEST_F(TerminalViewInput, PasteIsBracketedWhenTheHostAsks) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("ls"));
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), "ls");
    h.feed("\x1b[?2004h");
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), CSI + "200~ls" + CSI + "201~");
    QTest::keyClick(h.view(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(h.delegate->take(), CSI + "200~ls" + CSI + "201~");
    // Pasted text cannot end the bracket early.
    clipboard->setText(QStringLiteral("a\x1b[201~b"));
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), CSI + "200~ab" + CSI + "201~");
    clipboard->setText(QString());
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), "");
}

TEST_F(TerminalViewInput, PastedLineEndsBecomeCarriageReturnsWhenAsked) {
    QGuiApplication::clipboard()->setText(QStringLiteral("one\r\ntwo\nthree"));
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), "one\r\ntwo\nthree");
    h.controller->setNewlinesPasteAsCarriageReturns(true);
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), "one\rtwo\rthree");
}

TEST_F(TerminalViewInput, PasteAsEscapedAndPasteSelection) {
    QGuiApplication::clipboard()->setText(QStringLiteral("my file (1).txt"));
    h.view()->pasteAsEscaped();
    EXPECT_EQ(h.delegate->take(), "my\\ file\\ \\(1\\).txt");
    h.feed("foo bar");
    h.view()->setSelectedRange({0, 7});
    h.view()->pasteSelection();
    EXPECT_EQ(h.delegate->take(), "foo bar");
    EXPECT_EQ(h.view()->selectedRange().length, 0u);
}

TEST_F(TerminalViewInput, PastedFilesSendTheirPathsAsDropsDo) {
    // A file manager's copy: the files' links, and the links again as text.
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")),
                    QUrl::fromLocalFile(QStringLiteral("/tmp/c$d"))});
    files->setText(QStringLiteral("file:///tmp/a%20b.txt\nfile:///tmp/c$d\n"));
    QGuiApplication::clipboard()->setMimeData(files);
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), "/tmp/a\\ b.txt /tmp/c\\$d");
    h.controller->setNewlinesPasteAsCarriageReturns(true);
    h.feed("\x1b[?2004h");
    QTest::keyClick(h.view(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(h.delegate->take(), CSI + "200~/tmp/a\\ b.txt /tmp/c\\$d" + CSI + "201~");
    // Paste as escaped escapes that text once more.
    h.view()->pasteAsEscaped();
    EXPECT_EQ(h.delegate->take(), CSI + "200~/tmp/a\\\\\\ b.txt\\ /tmp/c\\\\\\$d" + CSI + "201~");
    // Links that are not local files paste as their text.
    auto* web = new QMimeData;
    web->setUrls({QUrl(QStringLiteral("https://example.org/x"))});
    web->setText(QStringLiteral("https://example.org/x"));
    QGuiApplication::clipboard()->setMimeData(web);
    h.view()->paste();
    EXPECT_EQ(h.delegate->take(), CSI + "200~https://example.org/x" + CSI + "201~");
}

TEST_F(TerminalViewInput, DropsSendShellEscapedPathsOrTextUnbracketed) {
    h.feed("\x1b[?2004h");
    auto drop = [&](QMimeData* data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.view(), &enter);
        const bool entered = enter.isAccepted();
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.view(), &dropped);
        return entered && dropped.isAccepted();
    };
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")),
                   QUrl::fromLocalFile(QStringLiteral("/tmp/c$d"))});
    EXPECT_TRUE(drop(&files));
    EXPECT_EQ(h.delegate->take(), "/tmp/a\\ b.txt /tmp/c\\$d");
    QMimeData text;
    text.setText(QStringLiteral("echo hi"));
    EXPECT_TRUE(drop(&text));
    EXPECT_EQ(h.delegate->take(), "echo hi");
    QMimeData nothing;
    EXPECT_FALSE(drop(&nothing));
    EXPECT_EQ(h.delegate->take(), "");
}

} // namespace
