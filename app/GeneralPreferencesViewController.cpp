#include "app/GeneralPreferencesViewController.h"

#include "Foundation/NotificationCenter.h"
#include "Rellum/View/RellumQtFont.h"
#include "app/MainWindowController.h"
#include "app/OrvikPreferences.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Whether a font of that family exists; the stored default "Menlo" stands
// for the installed fixed-pitch family it resolves to.
bool isInstalledFamily(const std::string& family) {
    if (family == RellumQtFont::DefaultFontName) return true;
    return !family.empty() && QFontDatabase::hasFamily(QString::fromStdString(family));
}

} // namespace

GeneralPreferencesViewController::GeneralPreferencesViewController(
    std::shared_ptr<OrvikPreferences> preferences, QObject* parent)
    : MASPreferencesViewController(parent),
      preferences_(preferences ? std::move(preferences) : OrvikPreferences::sharedPreferencesPointer()) {}

GeneralPreferencesViewController::~GeneralPreferencesViewController() {
    // A view no window took is the pane's own.
    if (view_ && !view_->parent()) delete view_.data();
}

QString GeneralPreferencesViewController::toolbarItemLabel() const {
    return tr("General");
}

QIcon GeneralPreferencesViewController::toolbarItemImage() const {
    return QIcon::fromTheme(QStringLiteral("preferences-system"),
                            QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
}

QWidget* GeneralPreferencesViewController::view() {
    if (!view_) buildView();
    return view_;
}

void GeneralPreferencesViewController::buildView() {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("GeneralPreferencesView"));
    fontDescription_ = new QLabel(view);
    fontDescription_->setObjectName(QStringLiteral("fontDescription"));
    fontDescription_->setTextFormat(Qt::PlainText);
    fontDescription_->setMinimumWidth(180);
    auto* change = new QPushButton(tr("Change…"), view);
    change->setObjectName(QStringLiteral("openFontPanel"));
    connect(change, &QPushButton::clicked, this, [this] { openFontPanel(); });

    auto* row = new QHBoxLayout;
    row->addWidget(fontDescription_, 1);
    row->addWidget(change);
    auto* form = new QFormLayout(view);
    form->setContentsMargins(30, 24, 30, 24);
    form->addRow(tr("Default terminal font:"), row);
    view->setMinimumWidth(460);
    view_ = view;
    buildFontPanel();
    showStoredFont();
}

void GeneralPreferencesViewController::buildFontPanel() {
    // A window-modal dialog over the pane's window: the sheet.
    fontPanel_ = new QDialog(view_);
    fontPanel_->setObjectName(QStringLiteral("fontPanel"));
    fontPanel_->setWindowTitle(tr("Default Font"));
    fontPanel_->setWindowModality(Qt::WindowModal);

    familyChooser_ = new QComboBox(fontPanel_);
    familyChooser_->setObjectName(QStringLiteral("fontFamily"));
    familyChooser_->setEditable(true);
    familyChooser_->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& family : OrvikPreferences::builtinFontNames())
        familyChooser_->addItem(QString::fromStdString(family));
    familyChooser_->setMinimumContentsLength(24);
    connect(familyChooser_, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { fontFamily_ = text.toStdString(); });

    sizeField_ = new QSpinBox(fontPanel_);
    sizeField_->setObjectName(QStringLiteral("fontSize"));
    sizeField_->setRange(MinimumSheetFontSize, MaximumSheetFontSize);
    sizeField_->setSuffix(tr(" pt"));
    connect(sizeField_, &QSpinBox::valueChanged, this,
            [this](int value) { fontSize_ = static_cast<std::uint64_t>(value); });

    auto* buttons = new QDialogButtonBox(fontPanel_);
    auto* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("fontPanelOK"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("fontPanelCancel"));
    connect(ok, &QPushButton::clicked, this, [this] { fontPanelOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { fontPanelCancel(); });

    auto* form = new QFormLayout;
    form->addRow(tr("Family:"), familyChooser_);
    form->addRow(tr("Size:"), sizeField_);
    auto* layout = new QVBoxLayout(fontPanel_);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Escape and the window's close button end the sheet like Cancel.
    connect(fontPanel_, &QDialog::finished, this, [this](int code) { fontPanelDidEndWithCode(code); });
}

void GeneralPreferencesViewController::setFontFamily(const std::string& family) {
    fontFamily_ = family;
    if (familyChooser_) {
        const QSignalBlocker blocker(familyChooser_);
        familyChooser_->setCurrentText(QString::fromStdString(family));
    }
}

void GeneralPreferencesViewController::setFontSize(std::uint64_t size) {
    // The sheet offers whole sizes the terminal can draw.
    fontSize_ = std::clamp<std::uint64_t>(size, MinimumSheetFontSize, MaximumSheetFontSize);
    if (sizeField_) {
        const QSignalBlocker blocker(sizeField_);
        sizeField_->setValue(static_cast<int>(fontSize_));
    }
}

std::uint64_t GeneralPreferencesViewController::wholePoints(double size) {
    if (!(size > 0)) return 0;
    if (size >= static_cast<double>(std::numeric_limits<std::uint64_t>::max()))
        return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(std::trunc(size));
}

void GeneralPreferencesViewController::openFontPanel() {
    view();
    if (fontPanel_->isVisible()) {
        fontPanel_->raise();
        return;
    }
    // An abandoned edit is forgotten: the sheet starts from what is stored.
    setFontFamily(preferences_->defaultFontFamily());
    setFontSize(wholePoints(preferences_->defaultFontSize()));
    // Like a sheet: hung from the top of the pane, below the window's
    // toolbar, centred.
    fontPanel_->adjustSize();
    const QPoint top = view_->mapToGlobal(QPoint(view_->width() / 2, 0));
    fontPanel_->move(top.x() - fontPanel_->width() / 2, top.y());
    fontPanel_->open();
}

void GeneralPreferencesViewController::fontPanelOK() {
    if (fontPanel_ && fontPanel_->isVisible()) fontPanel_->done(1);
}

void GeneralPreferencesViewController::fontPanelCancel() {
    if (fontPanel_ && fontPanel_->isVisible()) fontPanel_->done(0);
}

void GeneralPreferencesViewController::fontPanelDidEndWithCode(int returnCode) {
    if (returnCode == 1) {
        // Both values are stored before anyone hears of the change.
        preferences_->setDefaultFontFamily(fontFamily_);
        preferences_->setDefaultFontSize(static_cast<double>(fontSize_));
        std::shared_ptr<const RellumFont> font;
        if (isInstalledFamily(fontFamily_))
            font = RellumQtFont::fontWithName(fontFamily_, static_cast<double>(fontSize_));
        NotificationCenter::defaultCenter().postNotification(OrvikFontDidChangeNotification, font);
        showStoredFont();
    }
    emit fontPanelDidEnd(returnCode);
}

void GeneralPreferencesViewController::showStoredFont() {
    if (!fontDescription_) return;
    fontDescription_->setText(tr("%1, %2 pt")
                                  .arg(QString::fromStdString(preferences_->defaultFontFamily()))
                                  .arg(wholePoints(preferences_->defaultFontSize())));
}
