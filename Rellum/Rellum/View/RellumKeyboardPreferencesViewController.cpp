#include "Rellum/View/RellumKeyboardPreferencesViewController.h"

#include "Rellum/View/RellumTokenItemDelegate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>
#include <variant>

namespace {

// The return codes of the sheet.
constexpr int kReturnOK = 1;
constexpr int kReturnCancel = 0;

// A new mapping's key and modifiers: F1 with Control.
constexpr std::uint64_t kDefaultKeycode = 0xF704;
constexpr std::uint64_t kDefaultModifier = 0x40000;

QString qString(const std::string& text) {
    return QString::fromStdString(text);
}

std::vector<RellumEscapeHelpRow> makeEscapeHelp() {
    return {
        {"\\a", "0x07", "Alarm (Beep, Bell)"},
        {"\\b", "0x08", "Backspace"},
        {"\\e", "0x1B", "ESC"},
        {"\\f", "0x0C", "Formfeed"},
        {"\\n", "0x0A", "Newline (Line Feed)"},
        {"\\r", "0x0D", "Carriage Return"},
        {"\\t", "0x09", "Horizontal Tab"},
        {"\\v", "0x0B", "Vertical Tab"},
        {"\\\\", "0x5C", "Backslash"},
        {"\\'", "0x27", "Single quotation mark"},
        {"\\\"", "0x22", "Double quotation mark"},
        {"\\?", "0x3F", "Question mark"},
        {"\\nnn", "Any", "Octal value nnn (one to three digits)"},
        {"\\xhh", "Any", "Hexadecimal value hh (one or two hex digits)"},
    };
}

} // namespace

RellumKeyboardPreferencesViewController::RellumKeyboardPreferencesViewController(QObject* parent)
    : MASPreferencesViewController(parent), sortDescriptors_{{"modifier", true}, {"keycode", true}},
      escapeCharacterHelpArray_(makeEscapeHelp()) {}

RellumKeyboardPreferencesViewController::~RellumKeyboardPreferencesViewController() {
    // The subclass that stores the mappings is gone by now: nothing that ends
    // with the view may reach it.
    if (keyMappingsArrayController_) keyMappingsArrayController_->setContentChangedHandler(nullptr);
    if (mappingPanel_) mappingPanel_->disconnect(this);
    if (view_) view_->disconnect(this);
    // A view nobody took into a window is the pane's own.
    if (view_ && !view_->parent()) delete view_.data();
}

QWidget* RellumKeyboardPreferencesViewController::view() {
    if (!view_) {
        loadView();
        viewDidLoad();
    }
    return view_;
}

QIcon RellumKeyboardPreferencesViewController::toolbarItemImage() const {
    return QIcon::fromTheme(QStringLiteral("preferences-desktop-keyboard"),
                            QIcon::fromTheme(QStringLiteral("preferences-system")));
}

QString RellumKeyboardPreferencesViewController::toolbarItemLabel() const {
    return QCoreApplication::translate("RellumKeyboardPreferencesViewController", "Keyboard");
}

void RellumKeyboardPreferencesViewController::loadView() {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("RellumKeyboardPreferencesView"));
    view_ = view;
    // The view may go with a window that took it; its parts go with it.
    connect(view, &QObject::destroyed, this, [this] {
        optionAsMetaCheckButton_ = nullptr;
        mappingPanel_ = nullptr;
        keycodePopUpButton_ = nullptr;
        modifierPopUpButton_ = nullptr;
        sendTextTokenField_ = nullptr;
        keyMappingTableView_ = nullptr;
        escapeHelpPopover_ = nullptr;
    });

    if (!keyMappingsArrayController_) {
        keyMappingsArrayController_ = new RellumKeyMappingsArrayController(this);
        keyMappingsArrayController_->setObjectName(QStringLiteral("keyMappingsArrayController"));
        keyMappingsArrayController_->setContentChangedHandler(
            [this](const RellumKeyMappings& content) { setKeyMappings(content); });
    }

    keyMappingTableView_ = new QTableView(view);
    keyMappingTableView_->setObjectName(QStringLiteral("keyMappingTableView"));
    keyMappingTableView_->setModel(keyMappingsArrayController_);
    keyMappingTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    keyMappingTableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    keyMappingTableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    keyMappingTableView_->verticalHeader()->hide();
    keyMappingTableView_->horizontalHeader()->setStretchLastSection(true);
    // Send texts show their escapes as tokens, as the sheet does.
    keyMappingTableView_->setItemDelegateForColumn(RellumKeyMappingsArrayController::SendTextColumn,
                                                   new RellumTokenItemDelegate(this, keyMappingTableView_));
    connect(keyMappingTableView_, &QTableView::doubleClicked, this,
            [this] { editKeyMap(keyMappingTableView_); });

    auto* addButton = new QPushButton(QStringLiteral("+"), view);
    addButton->setObjectName(QStringLiteral("addKeyMapButton"));
    connect(addButton, &QPushButton::clicked, this, [this, addButton] { addKeyMap(addButton); });
    auto* editButton = new QPushButton(tr("Edit"), view);
    editButton->setObjectName(QStringLiteral("editKeyMapButton"));
    connect(editButton, &QPushButton::clicked, this, [this, editButton] { editKeyMap(editButton); });

    optionAsMetaCheckButton_ = new QCheckBox(tr("Use Alt as Meta key"), view);
    optionAsMetaCheckButton_->setObjectName(QStringLiteral("optionAsMetaCheckButton"));
    // Nothing reads it yet: shown as the setting it will be, but not offered.
    optionAsMetaCheckButton_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addStretch(1);
    buttons->addWidget(editButton);

    auto* layout = new QVBoxLayout(view);
    layout->addWidget(keyMappingTableView_, 1);
    layout->addLayout(buttons);
    layout->addWidget(optionAsMetaCheckButton_);
    view->setFixedSize(520, 360);

    buildMappingPanel();
    buildEscapeHelpPopover();
}

void RellumKeyboardPreferencesViewController::buildMappingPanel() {
    mappingPanel_ = new QDialog(view_);
    mappingPanel_->setObjectName(QStringLiteral("mappingPanel"));
    mappingPanel_->setWindowTitle(tr("Key Mapping"));
    mappingPanel_->setWindowModality(Qt::WindowModal);

    keycodePopUpButton_ = new QComboBox(mappingPanel_);
    keycodePopUpButton_->setObjectName(QStringLiteral("keycodePopUpButton"));
    for (const auto& entry : keyCodeList())
        keycodePopUpButton_->addItem(qString(entry.desc), QVariant::fromValue<qulonglong>(entry.keycode));
    connect(keycodePopUpButton_, &QComboBox::activated, this,
            [this](int index) { setEditingKeycode(keycodePopUpButton_->itemData(index).toULongLong()); });

    modifierPopUpButton_ = new QComboBox(mappingPanel_);
    modifierPopUpButton_->setObjectName(QStringLiteral("modifierPopUpButton"));
    for (const auto& entry : modifierList())
        modifierPopUpButton_->addItem(qString(entry.desc), QVariant::fromValue<qulonglong>(entry.modifier));
    connect(modifierPopUpButton_, &QComboBox::activated, this,
            [this](int index) { setEditingModifier(modifierPopUpButton_->itemData(index).toULongLong()); });

    sendTextTokenField_ = new RellumTokenField(mappingPanel_);
    sendTextTokenField_->setObjectName(QStringLiteral("sendTextTokenField"));
    sendTextTokenField_->setTokenDelegate(this);

    auto* helpButton = new QPushButton(QStringLiteral("?"), mappingPanel_);
    helpButton->setObjectName(QStringLiteral("escapeHelpButton"));
    helpButton->setAutoDefault(false);
    connect(helpButton, &QPushButton::clicked, this,
            [this, helpButton] { showEscapeHelpPopover(helpButton); });

    auto* okButton = new QPushButton(tr("OK"), mappingPanel_);
    okButton->setObjectName(QStringLiteral("okButton"));
    // Return anywhere in the sheet confirms it.
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this, okButton] { ok(okButton); });
    auto* cancelButton = new QPushButton(tr("Cancel"), mappingPanel_);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, [this, cancelButton] { cancel(cancelButton); });

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(new QLabel(tr("Key:"), mappingPanel_));
    keyRow->addWidget(keycodePopUpButton_, 1);
    keyRow->addWidget(modifierPopUpButton_, 1);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(new QLabel(tr("Send Text:"), mappingPanel_));
    textRow->addWidget(sendTextTokenField_, 1);
    textRow->addWidget(helpButton);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(cancelButton);
    buttonRow->addWidget(okButton);
    auto* layout = new QVBoxLayout(mappingPanel_);
    layout->addLayout(keyRow);
    layout->addLayout(textRow);
    layout->addLayout(buttonRow);

    // Escape (reject) ends the sheet like Cancel; every end goes through here.
    connect(mappingPanel_, &QDialog::finished, this, &RellumKeyboardPreferencesViewController::sheetEnded);
}

void RellumKeyboardPreferencesViewController::buildEscapeHelpPopover() {
    escapeHelpPopover_ = new WendlePopover(view_);
    escapeHelpPopover_->setObjectName(QStringLiteral("escapeHelpPopover"));
    auto* table = new QTableWidget(static_cast<int>(escapeCharacterHelpArray_.size()), 3);
    table->setObjectName(QStringLiteral("escapeHelpTable"));
    table->setHorizontalHeaderLabels({tr("Character"), tr("Hex"), tr("Represents")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (std::size_t i = 0; i < escapeCharacterHelpArray_.size(); ++i) {
        const auto& row = escapeCharacterHelpArray_[i];
        const int r = static_cast<int>(i);
        table->setItem(r, 0, new QTableWidgetItem(qString(row.character)));
        table->setItem(r, 1, new QTableWidgetItem(qString(row.hex)));
        table->setItem(r, 2, new QTableWidgetItem(qString(row.represents)));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setMinimumSize(420, 380);
    escapeHelpPopover_->setContentWidget(table);
}

void RellumKeyboardPreferencesViewController::viewDidLoad() {
    keyMappingsArrayController_->setSortDescriptors(sortDescriptors_);
    reloadKeyMappings();
}

void RellumKeyboardPreferencesViewController::reloadKeyMappings() {
    if (!keyMappingsArrayController_) return;
    keyMappingsArrayController_->setContent(keyMappings());
}

RellumKeyMappings RellumKeyboardPreferencesViewController::selectedObjects() const {
    RellumKeyMappings selected;
    if (!keyMappingTableView_ || !keyMappingTableView_->selectionModel()) return selected;
    std::set<int> rows;
    for (const QModelIndex& index : keyMappingTableView_->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    const auto& arranged = keyMappingsArrayController_->arrangedObjects();
    for (const int row : rows)
        if (row >= 0 && static_cast<std::size_t>(row) < arranged.size())
            selected.push_back(arranged[static_cast<std::size_t>(row)]);
    return selected;
}

void RellumKeyboardPreferencesViewController::addKeyMap(QObject*) {
    view();
    setEditingKeycode(kDefaultKeycode);
    setEditingModifier(kDefaultModifier);
    setEditingTextTokens({});
    newOrReplaceKeyMap();
}

void RellumKeyboardPreferencesViewController::editKeyMap(QObject* sender) {
    view();
    const RellumKeyMappings selected = selectedObjects();
    if (selected.empty()) {
        addKeyMap(sender);
        return;
    }
    const RellumKeyMapModel& mapping = *selected.front();
    setEditingKeycode(mapping.keycode());
    setEditingModifier(mapping.modifier());
    setEditingTextTokens(RellumEscapeToken::tokensFromString(mapping.sendtext().value_or(std::string())));
    newOrReplaceKeyMap();
}

void RellumKeyboardPreferencesViewController::setEditingKeycode(std::uint64_t keycode) {
    editingKeycode_ = keycode;
    showEditingKeycode();
}

void RellumKeyboardPreferencesViewController::setEditingModifier(std::uint64_t modifier) {
    editingModifier_ = modifier;
    showEditingModifier();
}

void RellumKeyboardPreferencesViewController::showEditingKeycode() {
    if (!keycodePopUpButton_) return;
    // A key outside the list shows no choice and stays as it is.
    keycodePopUpButton_->setCurrentIndex(
        keycodePopUpButton_->findData(QVariant::fromValue<qulonglong>(editingKeycode_)));
}

void RellumKeyboardPreferencesViewController::showEditingModifier() {
    if (!modifierPopUpButton_) return;
    modifierPopUpButton_->setCurrentIndex(
        modifierPopUpButton_->findData(QVariant::fromValue<qulonglong>(editingModifier_)));
}

void RellumKeyboardPreferencesViewController::setEditingTextTokens(
    const std::vector<RellumEscapeToken::Element>& tokens) {
    editingTextTokens_ =
        RellumEscapeToken::tokensFromString(RellumEscapeToken::convertToStringFromTokens(tokens));
    if (sendTextTokenField_) sendTextTokenField_->setObjectValue(editingTextTokens_);
}

void RellumKeyboardPreferencesViewController::newOrReplaceKeyMap() {
    view();
    if (mappingPanel_->isVisible()) return; // one sheet at a time
    mappingPanel_->open();
    sendTextTokenField_->setFocus();
}

void RellumKeyboardPreferencesViewController::ok(QObject*) {
    if (!mappingPanel_ || !mappingPanel_->isVisible()) return;
    // The field's text is the sheet's text once it is confirmed.
    setEditingTextTokens(sendTextTokenField_->objectValue());
    mappingPanel_->done(kReturnOK);
}

void RellumKeyboardPreferencesViewController::cancel(QObject*) {
    if (!mappingPanel_ || !mappingPanel_->isVisible()) return;
    mappingPanel_->done(kReturnCancel);
}

void RellumKeyboardPreferencesViewController::sheetEnded(int returnCode) {
    if (returnCode == kReturnOK) commitEditingMapping();
    emit sheetDidEnd(returnCode);
}

void RellumKeyboardPreferencesViewController::commitEditingMapping() {
    auto mapping = std::make_shared<RellumKeyMapModel>();
    mapping->setKeycode(editingKeycode_);
    mapping->setModifier(editingModifier_);
    mapping->setSendtext(RellumEscapeToken::convertToStringFromTokens(editingTextTokens_));

    // At most one mapping per key and modifiers: the newest wins.
    RellumKeyMappings same;
    for (const auto& existing : keyMappings())
        if (existing && existing->modifier() == mapping->modifier() &&
            existing->keycode() == mapping->keycode())
            same.push_back(existing);
    if (!same.empty()) keyMappingsArrayController_->removeObjects(same);
    keyMappingsArrayController_->addObject(mapping);
    keyMappingsArrayController_->rearrangeObjects();
}

void RellumKeyboardPreferencesViewController::showEscapeHelpPopover(QWidget* sender) {
    view();
    escapeHelpPopover_->showRelativeToRect(sender ? sender->rect() : QRect(), sender,
                                           WendlePopover::Edge::right);
}

RellumTokenStyle RellumKeyboardPreferencesViewController::styleForRepresentedObject(
    const RellumEscapeToken::Element& element) const {
    return std::holds_alternative<RellumEscapeToken>(element) ? RellumTokenStyle::Squared
                                                              : RellumTokenStyle::PlainText;
}

std::string RellumKeyboardPreferencesViewController::displayStringForRepresentedObject(
    const RellumEscapeToken::Element& element) const {
    if (const auto* token = std::get_if<RellumEscapeToken>(&element)) return token->string();
    return std::get<std::string>(element);
}

bool RellumKeyboardPreferencesViewController::doCommandBySelector(QWidget* control,
                                                                  std::string_view selector) {
    if (selector == "insertNewline:") {
        ok(control);
        return true;
    }
    return false;
}
