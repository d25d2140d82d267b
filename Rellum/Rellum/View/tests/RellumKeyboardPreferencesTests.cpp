#include "Rellum/View/RellumKeyboardPreferencesViewController.h"

#include "Rellum/RellumEscapeToken.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <variant>

namespace {

constexpr std::uint64_t kF1 = 0xF704, kF2 = 0xF705, kF5 = 0xF708;
constexpr std::uint64_t kShift = 0x20000, kControl = 0x40000, kOption = 0x80000;

// The pane over an array in memory, counting the stores.
class MemoryKeyboardPane : public RellumKeyboardPreferencesViewController {
public:
    RellumKeyMappings stored;
    int stores = 0;
    RellumKeyMappings keyMappings() const override { return stored; }
    void setKeyMappings(const RellumKeyMappings& mappings) override {
        stored = mappings;
        ++stores;
    }
};

std::shared_ptr<RellumKeyMapModel> mapping(std::uint64_t keycode, std::uint64_t modifier, std::string text) {
    auto m = std::make_shared<RellumKeyMapModel>();
    m->setKeycode(keycode);
    m->setModifier(modifier);
    m->setSendtext(std::move(text));
    return m;
}

std::string describe(const RellumEscapeToken::Element& e) {
    if (const auto* t = std::get_if<RellumEscapeToken>(&e)) return "token(" + t->string() + ")";
    return "text(" + std::get<std::string>(e) + ")";
}

std::vector<std::string> describe(const std::vector<RellumEscapeToken::Element>& elements) {
    std::vector<std::string> out;
    for (const auto& e : elements)
        out.push_back(describe(e));
    return out;
}

class RellumKeyboardPane : public ::testing::Test {
protected:
    void SetUp() override {}
    void TearDown() override {
        if (pane.mappingPanel() && pane.mappingPanel()->isVisible()) pane.cancel();
        if (pane.isViewLoaded()) pane.view()->close();
    }
    // Loads and shows the pane's view with the stored mappings.
    void show() {
        QWidget* view = pane.view();
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    }
    QPushButton* button(const char* name, QObject* in = nullptr) {
        auto* b = (in ? in : pane.view())->findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_TRUE(b) << name;
        return b;
    }
    void click(QPushButton* b) {
        ASSERT_TRUE(b);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Picks an entry of a pop-up as a user does, with the keyboard.
    void choose(QComboBox* popUp, std::uint64_t value) {
        const int target = popUp->findData(QVariant::fromValue<qulonglong>(value));
        ASSERT_GE(target, 0);
        popUp->setFocus();
        while (popUp->currentIndex() < target)
            QTest::keyClick(popUp, Qt::Key_Down);
        while (popUp->currentIndex() > target)
            QTest::keyClick(popUp, Qt::Key_Up);
    }
    void selectRow(int row) { pane.keyMappingTableView()->selectRow(row); }
    const RellumKeyMapModel* storedMapping(std::uint64_t keycode, std::uint64_t modifier) const {
        for (const auto& m : pane.stored)
            if (m->keycode() == keycode && m->modifier() == modifier) return m.get();
        return nullptr;
    }

    MemoryKeyboardPane pane;
};

TEST_F(RellumKeyboardPane, OutletsCarryTheirNames) {
    show();
    QWidget* view = pane.view();
    EXPECT_EQ(view->findChild<QTableView*>("keyMappingTableView"), pane.keyMappingTableView());
    EXPECT_EQ(view->findChild<QCheckBox*>("optionAsMetaCheckButton"), pane.optionAsMetaCheckButton());
    EXPECT_EQ(view->findChild<QDialog*>("mappingPanel"), pane.mappingPanel());
    EXPECT_EQ(view->findChild<QComboBox*>("keycodePopUpButton"), pane.keycodePopUpButton());
    EXPECT_EQ(view->findChild<QComboBox*>("modifierPopUpButton"), pane.modifierPopUpButton());
    EXPECT_EQ(view->findChild<RellumTokenField*>("sendTextTokenField"), pane.sendTextTokenField());
    EXPECT_EQ(view->findChild<QFrame*>("escapeHelpPopover"), pane.escapeHelpPopover());
    EXPECT_EQ(pane.keyMappingsArrayController()->objectName(), "keyMappingsArrayController");
    EXPECT_EQ(pane.identifier(), "KeyboardPreferences");
    EXPECT_EQ(pane.toolbarItemLabel(), "Keyboard");
    EXPECT_FALSE(pane.hasResizableWidth());
    EXPECT_FALSE(pane.hasResizableHeight());
    const std::vector<RellumSortDescriptor> sort{{"modifier", true}, {"keycode", true}};
    EXPECT_EQ(pane.sortDescriptors(), sort);
    // The pop-ups list the whole catalogues.
    EXPECT_EQ(pane.keycodePopUpButton()->count(), static_cast<int>(RellumKeyMapModel::allKeyCodes().size()));
    EXPECT_EQ(pane.modifierPopUpButton()->count(),
              static_cast<int>(RellumKeyMapModel::allModifiers().size()));
}

TEST_F(RellumKeyboardPane, ListShowsTheStoredMappingsByModifierThenKey) {
    pane.stored = {mapping(kF5, kControl, "x"), mapping(kF2, kShift, "y"), mapping(kF1, kControl, "z")};
    show();
    const auto& arranged = pane.keyMappingsArrayController()->arrangedObjects();
    ASSERT_EQ(arranged.size(), 3u);
    EXPECT_EQ(arranged[0]->keycode(), kF2);
    EXPECT_EQ(arranged[1]->keycode(), kF1);
    EXPECT_EQ(arranged[2]->keycode(), kF5);
    auto* model = pane.keyMappingTableView()->model();
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(0, 0).data().toString(), "F2");
    EXPECT_EQ(model->index(0, 1).data().toString(), QString::fromUtf8("\u21E7 Shift"));
    EXPECT_EQ(model->index(2, 2).data().toString(), "x");
    EXPECT_EQ(pane.stores, 0); // showing stores nothing
}

TEST_F(RellumKeyboardPane, AddFlowStoresTheNewMapping) {
    show();
    click(button("addKeyMapButton"));
    ASSERT_TRUE(pane.mappingPanel()->isVisible());
    // The sheet opens on F1 with Control and no text.
    EXPECT_EQ(pane.editingKeycode(), kF1);
    EXPECT_EQ(pane.editingModifier(), kControl);
    EXPECT_TRUE(pane.editingTextTokens().empty());
    EXPECT_EQ(pane.keycodePopUpButton()->currentData().toULongLong(), kF1);
    EXPECT_EQ(pane.modifierPopUpButton()->currentData().toULongLong(), kControl);
    EXPECT_EQ(pane.sendTextTokenField()->stringValue(), "");

    choose(pane.keycodePopUpButton(), kF5);
    choose(pane.modifierPopUpButton(), kOption);
    EXPECT_EQ(pane.editingKeycode(), kF5);
    EXPECT_EQ(pane.editingModifier(), kOption);
    QTest::keyClicks(pane.sendTextTokenField(), "ls\\r");
    click(button("okButton", pane.mappingPanel()));

    EXPECT_FALSE(pane.mappingPanel()->isVisible());
    ASSERT_EQ(pane.stored.size(), 1u);
    EXPECT_EQ(pane.stored[0]->keycode(), kF5);
    EXPECT_EQ(pane.stored[0]->modifier(), kOption);
    EXPECT_EQ(pane.stored[0]->sendtext(), "ls\\r");
    EXPECT_EQ(pane.keyMappingTableView()->model()->rowCount(), 1);
}

TEST_F(RellumKeyboardPane, AddingAnExistingKeyAndModifiersReplacesIt) {
    pane.stored = {mapping(kF1, kControl, "old"), mapping(kF1, kShift, "other")};
    show();
    pane.addKeyMap();
    QTest::keyClicks(pane.sendTextTokenField(), "new");
    pane.ok();
    ASSERT_EQ(pane.stored.size(), 2u);
    const RellumKeyMapModel* f1 = storedMapping(kF1, kControl);
    ASSERT_TRUE(f1);
    EXPECT_EQ(f1->sendtext(), "new");
    ASSERT_TRUE(storedMapping(kF1, kShift));
    EXPECT_EQ(storedMapping(kF1, kShift)->sendtext(), "other");
    EXPECT_EQ(pane.keyMappingTableView()->model()->rowCount(), 2);
}

TEST_F(RellumKeyboardPane, EditFlowShowsEscapesAsTokensAndStoresThemBackUnchanged) {
    pane.stored = {mapping(kF5, kControl, "first"), mapping(kF2, kShift, "a\\e[A")};
    show();
    selectRow(0); // F2 with Shift sorts first
    click(button("editKeyMapButton"));
    ASSERT_TRUE(pane.mappingPanel()->isVisible());
    EXPECT_EQ(pane.editingKeycode(), kF2);
    EXPECT_EQ(pane.editingModifier(), kShift);
    EXPECT_EQ(pane.keycodePopUpButton()->currentText(), "F2");
    const std::vector<std::string> shown{"text(a)", "token(\\e)", "text([A)"};
    EXPECT_EQ(describe(pane.sendTextTokenField()->objectValue()), shown);
    EXPECT_EQ(describe(pane.editingTextTokens()), shown);
    EXPECT_EQ(pane.sendTextTokenField()->stringValue(), "a\\e[A");
    // The token is drawn squared, the text around it plain.
    QTextCursor inToken(pane.sendTextTokenField()->document());
    inToken.setPosition(2);
    EXPECT_NE(inToken.charFormat().background().style(), Qt::NoBrush);
    QTextCursor inText(pane.sendTextTokenField()->document());
    inText.setPosition(1);
    EXPECT_EQ(inText.charFormat().background().style(), Qt::NoBrush);

    const int storesBefore = pane.stores;
    click(button("okButton", pane.mappingPanel()));
    EXPECT_GT(pane.stores, storesBefore);
    ASSERT_EQ(pane.stored.size(), 2u);
    ASSERT_TRUE(storedMapping(kF2, kShift));
    EXPECT_EQ(storedMapping(kF2, kShift)->sendtext(), "a\\e[A");
    EXPECT_EQ(storedMapping(kF5, kControl)->sendtext(), "first");
}

TEST_F(RellumKeyboardPane, EditingToAnotherKeyAddsAMappingAndKeepsTheEditedOne) {
    pane.stored = {mapping(kF2, kShift, "x")};
    show();
    selectRow(0);
    pane.editKeyMap();
    choose(pane.modifierPopUpButton(), kControl);
    pane.ok();
    ASSERT_EQ(pane.stored.size(), 2u);
    EXPECT_TRUE(storedMapping(kF2, kShift));
    ASSERT_TRUE(storedMapping(kF2, kControl));
    EXPECT_EQ(storedMapping(kF2, kControl)->sendtext(), "x");
}

TEST_F(RellumKeyboardPane, EditWithoutSelectionOpensLikeAdd) {
    pane.stored = {mapping(kF2, kShift, "x")};
    show();
    pane.keyMappingTableView()->clearSelection();
    pane.editKeyMap();
    ASSERT_TRUE(pane.mappingPanel()->isVisible());
    EXPECT_EQ(pane.editingKeycode(), kF1);
    EXPECT_EQ(pane.editingModifier(), kControl);
    EXPECT_EQ(pane.sendTextTokenField()->stringValue(), "");
}

TEST_F(RellumKeyboardPane, CancelChangesNothingWhateverWasChanged) {
    pane.stored = {mapping(kF1, kControl, "keep")};
    show();
    int endedWith = -1;
    QObject::connect(&pane, &RellumKeyboardPreferencesViewController::sheetDidEnd,
                     [&](int code) { endedWith = code; });

    // Cancel after changing everything, on the add sheet and the edit sheet.
    click(button("addKeyMapButton"));
    choose(pane.keycodePopUpButton(), kF5);
    choose(pane.modifierPopUpButton(), kShift);
    QTest::keyClicks(pane.sendTextTokenField(), "changed");
    click(button("cancelButton", pane.mappingPanel()));
    EXPECT_EQ(endedWith, 0);
    EXPECT_FALSE(pane.mappingPanel()->isVisible());

    selectRow(0);
    click(button("editKeyMapButton"));
    QTest::keyClicks(pane.sendTextTokenField(), "more");
    // Escape in the sheet is Cancel too.
    QTest::keyClick(pane.mappingPanel(), Qt::Key_Escape);
    EXPECT_FALSE(pane.mappingPanel()->isVisible());

    EXPECT_EQ(pane.stores, 0);
    ASSERT_EQ(pane.stored.size(), 1u);
    EXPECT_EQ(pane.stored[0]->keycode(), kF1);
    EXPECT_EQ(pane.stored[0]->modifier(), kControl);
    EXPECT_EQ(pane.stored[0]->sendtext(), "keep");
    EXPECT_EQ(pane.keyMappingTableView()->model()->rowCount(), 1);
}

TEST_F(RellumKeyboardPane, ReturnInTheSendTextConfirmsLikeOK) {
    show();
    int endedWith = -1;
    QObject::connect(&pane, &RellumKeyboardPreferencesViewController::sheetDidEnd,
                     [&](int code) { endedWith = code; });
    pane.addKeyMap();
    QTest::keyClicks(pane.sendTextTokenField(), "x\\n");
    QTest::keyClick(pane.sendTextTokenField(), Qt::Key_Return);
    EXPECT_EQ(endedWith, 1);
    EXPECT_FALSE(pane.mappingPanel()->isVisible());
    ASSERT_EQ(pane.stored.size(), 1u);
    EXPECT_EQ(pane.stored[0]->sendtext(), "x\\n");
    // Return never reached the text as a line break.
    EXPECT_EQ(pane.sendTextTokenField()->toPlainText().count('\n'), 0);
}

TEST_F(RellumKeyboardPane, TypingBesideATokenStaysText) {
    pane.stored = {mapping(kF2, kShift, "\\e")};
    show();
    selectRow(0);
    pane.editKeyMap();
    RellumTokenField* field = pane.sendTextTokenField();
    field->moveCursor(QTextCursor::End);
    QTest::keyClicks(field, "x");
    const std::vector<std::string> shown{"token(\\e)", "text(x)"};
    EXPECT_EQ(describe(field->objectValue()), shown);
    // Editing inside a token makes it text: "\e" loses its "e".
    QTextCursor c = field->textCursor();
    c.setPosition(1);
    c.deleteChar();
    EXPECT_EQ(describe(field->objectValue()), (std::vector<std::string>{"text(\\x)"}));
    pane.ok();
    EXPECT_EQ(storedMapping(kF2, kShift)->sendtext(), "\\x");
}

// The help names escapes the send text really understands: each one with a
// byte code is read as one token standing for that byte.
TEST_F(RellumKeyboardPane, EscapeHelpAgreesWithTheSendTextReader) {
    const std::vector<RellumEscapeHelpRow> rows = pane.escapeCharacterHelpArray();
    ASSERT_EQ(rows.size(), 14u);
    int checked = 0;
    for (const RellumEscapeHelpRow& row : rows) {
        if (row.hex == "Any") continue;
        const auto tokens = RellumEscapeToken::tokensFromString(row.character);
        ASSERT_EQ(tokens.size(), 1u) << row.character;
        const auto* token = std::get_if<RellumEscapeToken>(&tokens[0]);
        ASSERT_TRUE(token) << row.character << " is not read as an escape";
        ASSERT_EQ(token->escaped().size(), 1u) << row.character;
        EXPECT_EQ(std::stoi(row.hex, nullptr, 16), static_cast<unsigned char>(token->escaped()[0]))
            << row.character;
        ++checked;
    }
    EXPECT_EQ(checked, 12);
    EXPECT_EQ(rows[12].character, "\\nnn");
    EXPECT_EQ(rows[13].character, "\\xhh");
}

TEST_F(RellumKeyboardPane, EditingTokensAreNormalisedThroughTheirText) {
    show();
    // Text that reads as escapes becomes tokens; tokens stay tokens.
    pane.setEditingTextTokens({std::string("a\\tb"), RellumEscapeToken("\\e", "\x1b")});
    const std::vector<std::string> expected{"text(a)", "token(\\t)", "text(b)", "token(\\e)"};
    EXPECT_EQ(describe(pane.editingTextTokens()), expected);
    EXPECT_EQ(describe(pane.sendTextTokenField()->objectValue()), expected);
    EXPECT_EQ(pane.styleForRepresentedObject(RellumEscapeToken("\\e", "\x1b")), RellumTokenStyle::Squared);
    EXPECT_EQ(pane.styleForRepresentedObject(std::string("\\e")), RellumTokenStyle::PlainText);
    EXPECT_EQ(pane.displayStringForRepresentedObject(RellumEscapeToken("\\e", "\x1b")), "\\e");
    EXPECT_FALSE(pane.doCommandBySelector(nullptr, "insertTab:"));
}

} // namespace

namespace {

// The pane may go while its sheet is open, or after the window that held its
// view: neither may reach the storage subclass, which is gone by then.
TEST(RellumKeyboardPaneLifetime, PaneGoesWhileItsSheetIsOpen) {
    auto pane = std::make_unique<MemoryKeyboardPane>();
    pane->stored = {mapping(kF1, kControl, "a")};
    pane->view()->show();
    pane->addKeyMap();
    ASSERT_TRUE(pane->mappingPanel()->isVisible());
    QPointer<QDialog> panel = pane->mappingPanel();
    pane.reset();
    EXPECT_TRUE(panel.isNull());
}

TEST(RellumKeyboardPaneLifetime, ViewGoesWithItsWindowBeforeThePane) {
    MemoryKeyboardPane pane;
    {
        QWidget window;
        pane.view()->setParent(&window);
        window.show();
        pane.addKeyMap();
    }
    EXPECT_FALSE(pane.isViewLoaded());
    EXPECT_EQ(pane.mappingPanel(), nullptr);
    EXPECT_EQ(pane.keyMappingTableView(), nullptr);
    pane.ok(); // no sheet: nothing happens
    pane.cancel();
    EXPECT_TRUE(pane.stored.empty());
    // Asking again builds a new view over the stored mappings.
    pane.stored = {mapping(kF2, kShift, "b")};
    ASSERT_TRUE(pane.view());
    EXPECT_EQ(pane.keyMappingTableView()->model()->rowCount(), 1);
    pane.addKeyMap();
    QTest::keyClicks(pane.sendTextTokenField(), "c");
    pane.ok();
    EXPECT_EQ(pane.stored.size(), 2u);
}

} // namespace

namespace {

// How many pixels of a list cell are in the token colour.
int tokenPixels(QTableView* table, int row) {
    const QModelIndex index = table->model()->index(row, RellumKeyMappingsArrayController::SendTextColumn);
    const QRect rect = table->visualRect(index);
    QImage image(rect.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(table->viewport());
    option.rect = QRect(QPoint(0, 0), rect.size());
    option.widget = table;
    table->itemDelegateForColumn(RellumKeyMappingsArrayController::SendTextColumn)
        ->paint(&painter, option, index);
    painter.end();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == RellumTokenBackgroundColor()) ++count;
    return count;
}

TEST(RellumKeyboardPaneList, SendTextsShowTheirEscapesAsTokens) {
    MemoryKeyboardPane pane;
    pane.stored = {mapping(kF1, kControl, "plain"), mapping(kF2, kControl, "a\\e[A")};
    pane.view()->show();
    QTableView* table = pane.keyMappingTableView();
    ASSERT_EQ(table->model()->index(0, 0).data().toString(), "F1");
    EXPECT_EQ(tokenPixels(table, 0), 0);
    EXPECT_GT(tokenPixels(table, 1), 20);
}

} // namespace
