#include "Halvex/Views/VySmartGroupEditingPanelController.h"

#include "Halvex/Views/VySmartGroup.h"
#include "Wendle/Views/WendlePopover.h"

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const std::string kNameKey = "smartGroupName";
const std::string kKeywordsKey = "keywords";

// A sheet whose every ending goes through `done` with our codes: Escape and
// the window's close button mean Cancel, never QDialog's 0 (which is Save).
class SmartGroupSheet : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override { done(VySmartGroupEditingPanelController::CancelCode); }
};

} // namespace

VySmartGroupEditingPanelController::VySmartGroupEditingPanelController(const QString& smartGroupName,
                                                                       const QString& searchingText,
                                                                       bool editingMode, QObject* parent)
    : QObject(parent), smartGroupName_(smartGroupName), keywords_(searchingText),
      isEditingMode_(editingMode) {}

VySmartGroupEditingPanelController::~VySmartGroupEditingPanelController() {
    nameObservation_ = {};
    keywordsObservation_ = {};
    if (window_) {
        window_->disconnect(this);
        delete window_;
    }
}

void VySmartGroupEditingPanelController::setSmartGroupName(const QString& name) {
    if (name == smartGroupName_) return;
    willChangeValueForKey(kNameKey);
    smartGroupName_ = name;
    if (nameTextField_ && nameTextField_->text() != name) nameTextField_->setText(name);
    didChangeValueForKey(kNameKey);
}

void VySmartGroupEditingPanelController::setKeywords(const QString& keywords) {
    if (keywords == keywords_) return;
    willChangeValueForKey(kKeywordsKey);
    keywords_ = keywords;
    if (keywordsTextField_ && keywordsTextField_->text() != keywords) keywordsTextField_->setText(keywords);
    didChangeValueForKey(kKeywordsKey);
}

QDialog* VySmartGroupEditingPanelController::window() {
    if (!window_) loadWindow();
    return window_;
}

void VySmartGroupEditingPanelController::loadWindow() {
    auto* sheet = new SmartGroupSheet;
    sheet->setObjectName(QStringLiteral("smartGroupEditingPanel"));
    sheet->setWindowTitle(isEditingMode_ ? tr("Edit Smart Group") : tr("New Smart Group"));
    window_ = sheet;

    nameTextField_ = new QLineEdit(smartGroupName_, sheet);
    nameTextField_->setObjectName(QStringLiteral("nameTextField"));
    keywordsTextField_ = new QLineEdit(keywords_, sheet);
    keywordsTextField_->setObjectName(QStringLiteral("keywordsTextField"));
    keywordsTextField_->setMinimumWidth(260);
    // The fields and the properties are bound both ways.
    connect(nameTextField_, &QLineEdit::textChanged, this,
            &VySmartGroupEditingPanelController::setSmartGroupName);
    connect(keywordsTextField_, &QLineEdit::textChanged, this,
            &VySmartGroupEditingPanelController::setKeywords);

    auto* helpButton = new QPushButton(QStringLiteral("?"), sheet);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    helpButton->setFixedWidth(helpButton->sizeHint().height());
    helpButton->setAutoDefault(false);
    // The help text, as the button's alternate title.
    helpButton->setProperty(
        "alternateTitle", tr("A smart group is a saved search: it lists the entries that match its keywords. "
                             "Separate keywords with blanks."));
    connect(helpButton, &QPushButton::clicked, this, [this, helpButton] { showHelpPopover(helpButton); });

    auto* keywordsRow = new QHBoxLayout;
    keywordsRow->addWidget(keywordsTextField_, 1);
    keywordsRow->addWidget(helpButton);
    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), nameTextField_);
    form->addRow(tr("Keywords:"), keywordsRow);

    deleteButton_ = new QPushButton(tr("Delete"), sheet);
    deleteButton_->setObjectName(QStringLiteral("deleteButton"));
    deleteButton_->setAutoDefault(false);
    auto* cancelButton = new QPushButton(tr("Cancel"), sheet);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    saveButton_ = new QPushButton(tr("Save"), sheet);
    saveButton_->setObjectName(QStringLiteral("saveButton"));
    saveButton_->setDefault(true);
    connect(saveButton_, &QPushButton::clicked, this, &VySmartGroupEditingPanelController::save);
    connect(cancelButton, &QPushButton::clicked, this, &VySmartGroupEditingPanelController::cancel);
    connect(deleteButton_, &QPushButton::clicked, this,
            &VySmartGroupEditingPanelController::deleteSmartGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(deleteButton_);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(saveButton_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(form);
    layout->addLayout(buttons);

    helpPopover_ = new WendlePopover(sheet);
    helpPopover_->setObjectName(QStringLiteral("helpPopover"));

    connect(sheet, &QDialog::finished, this, [this](int code) {
        if (completion_) {
            auto completion = std::move(completion_);
            completion_ = nullptr;
            completion(code);
        }
    });
    windowDidLoad();
}

void VySmartGroupEditingPanelController::windowDidLoad() {
    deleteButton_->setVisible(isEditingMode_);
    nameObservation_ =
        addObserver(kNameKey, [this](const std::string& key, bool) { observedValueDidChange(key); });
    keywordsObservation_ =
        addObserver(kKeywordsKey, [this](const std::string& key, bool) { observedValueDidChange(key); });
    // The initial values, as an observation that asks for them hears them.
    observedValueDidChange(kNameKey);
    observedValueDidChange(kKeywordsKey);
}

void VySmartGroupEditingPanelController::observedValueDidChange(const std::string& key) {
    if (!saveButton_) return;
    saveButton_->setEnabled(vyTextHasWords(nameTextField_->text()) &&
                            vyTextHasWords(keywordsTextField_->text()));
    if (key == kKeywordsKey && delegate_) delegate_->actionKeywordsDidChange(keywordsTextField_->text());
}

void VySmartGroupEditingPanelController::beginSheet(QWidget* parentWindow,
                                                    std::function<void(int)> completion) {
    QDialog* sheet = window();
    completion_ = std::move(completion);
    if (parentWindow) {
        sheet->setParent(parentWindow->window(), sheet->windowFlags() | Qt::Sheet);
        sheet->setWindowModality(Qt::WindowModal);
    }
    sheet->open();
}

void VySmartGroupEditingPanelController::endSheet(int code) {
    if (window_) window_->done(code);
}

void VySmartGroupEditingPanelController::save() {
    endSheet(SaveCode);
}

void VySmartGroupEditingPanelController::cancel() {
    endSheet(CancelCode);
}

void VySmartGroupEditingPanelController::deleteSmartGroup() {
    endSheet(DeleteCode);
}

void VySmartGroupEditingPanelController::showHelpPopover(QPushButton* sender) {
    if (!sender || !helpPopover_) return;
    helpPopover_->setContentWidget(
        new VyPopoverHelperViewController(sender->property("alternateTitle").toString()));
    helpPopover_->showRelativeToRect(sender->rect(), sender, WendlePopover::Edge::right);
}
