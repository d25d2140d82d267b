#include "app/TerminalSettingsViewController.h"

#include "Rellum/RellumProfileModel.h"
#include "Rellum/VyTerminalThemeObject.h"
#include "app/OrvikController.h"
#include "app/OrvikPreferences.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kSwatchSize = 28;
constexpr int kSwatchesPerRow = 8;
const char* const kAlternateImage = "alternateImage";

QColor qColor(const VyThemeColor& c) {
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

// The selection image: a ring and a dot in the theme's text colour.
QIcon selectionImage(const VyThemeColor& text) {
    QPixmap pixmap(kSwatchSize, kSwatchSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(qColor(text), 2));
    painter.drawEllipse(QRectF(6, 6, kSwatchSize - 12, kSwatchSize - 12));
    painter.setBrush(qColor(text));
    painter.drawEllipse(QPointF(kSwatchSize / 2.0, kSwatchSize / 2.0), 3, 3);
    return QIcon(pixmap);
}

} // namespace

TerminalSettingsViewController::TerminalSettingsViewController(
    std::shared_ptr<OrvikController> shellController, QWidget* parent)
    : QWidget(parent), shellController_(shellController) {
    setObjectName(QStringLiteral("TerminalSettingsViewController"));
    container_ = new QGroupBox(tr("Terminal Theme"), this);
    container_->setObjectName(QStringLiteral("themeColorsMenuContainer"));
    auto* grid = new QGridLayout(container_);
    grid->setSpacing(6);

    // viewDidLoad: the entries, then the profile's theme marked.
    items_ = OrvikPreferences::newThemeMenuItems();
    const auto& preferences = OrvikPreferences::sharedPreferences();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto theme = preferences.themeWithName(items_[i]->themeName());
        auto* swatch = new QToolButton(container_);
        swatch->setObjectName(QStringLiteral("themeSwatch%1").arg(i));
        swatch->setProperty("tag", static_cast<int>(i));
        swatch->setToolTip(QString::fromStdString(items_[i]->themeName()));
        swatch->setFixedSize(kSwatchSize, kSwatchSize);
        swatch->setIconSize(QSize(kSwatchSize, kSwatchSize));
        swatch->setAutoRaise(false);
        if (theme) {
            swatch->setStyleSheet(
                QStringLiteral("QToolButton { background: %1; border: 1px solid %2; }")
                    .arg(qColor(theme->backgroundColor()).name(), palette().color(QPalette::Mid).name()));
            swatch->setProperty(kAlternateImage, selectionImage(theme->textColor()));
        }
        connect(swatch, &QToolButton::clicked, this, [this, swatch] { themeColorSelected(swatch); });
        grid->addWidget(swatch, static_cast<int>(i) / kSwatchesPerRow, static_cast<int>(i) % kSwatchesPerRow);
        swatches_.push_back(swatch);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(container_);

    if (auto profile = shellController ? shellController->profile() : nullptr)
        validateMenuItemWithThemeName(profile->theme_name());
}

QAbstractButton* TerminalSettingsViewController::swatch(int tag) const {
    return tag >= 0 && tag < static_cast<int>(swatches_.size()) ? swatches_[static_cast<std::size_t>(tag)]
                                                                : nullptr;
}

void TerminalSettingsViewController::themeColorSelected(QAbstractButton* sender) {
    const int tag = sender ? sender->property("tag").toInt() : -1;
    if (tag < 0 || tag >= static_cast<int>(items_.size())) return;
    const std::string name = items_[static_cast<std::size_t>(tag)]->themeName();
    validateMenuItemWithThemeName(name);
    if (auto controller = shellController_.lock())
        if (auto profile = controller->profile()) profile->setTheme_name(name);
}

void TerminalSettingsViewController::validateMenuItemWithThemeName(const std::string& name) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto& item = *items_[i];
        QAbstractButton* button = swatches_[i];
        if (item.themeName() == name && !item.isValid()) {
            item.setIsValid(true);
            const QIcon alternate = button->property(kAlternateImage).value<QIcon>();
            if (!alternate.isNull()) button->setIcon(alternate);
            button->setProperty(kAlternateImage, QIcon());
        } else if (item.themeName() != name && item.isValid()) {
            item.setIsValid(false);
            const QIcon image = button->icon();
            if (!image.isNull()) button->setProperty(kAlternateImage, image);
            button->setIcon(QIcon());
        }
    }
}
