#include "Wendle/Views/AboutPreferencesViewController.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* centredLabel(const QString& text, const char* objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

AboutPreferencesViewController::AboutPreferencesViewController(Info info, QObject* parent)
    : MASPreferencesViewController(parent), info_(std::move(info)) {
    if (info_.applicationName.isEmpty()) info_.applicationName = QCoreApplication::applicationName();
    if (info_.version.isEmpty()) info_.version = QCoreApplication::applicationVersion();
    if (info_.icon.isNull()) info_.icon = QApplication::windowIcon();
}

AboutPreferencesViewController::~AboutPreferencesViewController() {
    // A view no window took is the pane's own.
    if (view_ && !view_->parent()) delete view_.data();
}

QString AboutPreferencesViewController::toolbarItemLabel() const {
    return tr("About");
}

QIcon AboutPreferencesViewController::toolbarItemImage() const {
    return QIcon::fromTheme(QStringLiteral("help-about"),
                            QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
}

QWidget* AboutPreferencesViewController::view() {
    if (view_) return view_;
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("AboutPreferencesView"));
    auto* icon = new QLabel(view);
    icon->setObjectName(QStringLiteral("applicationIcon"));
    icon->setAlignment(Qt::AlignHCenter);
    if (!info_.icon.isNull()) icon->setPixmap(info_.icon.pixmap(64));
    auto* name = centredLabel(info_.applicationName, "applicationName", view);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    name->setFont(bold);

    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(40, 20, 40, 20);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(centredLabel(tr("Version %1").arg(info_.version), "version", view));
    layout->addWidget(centredLabel(info_.copyright, "copyright", view));
    view->setMinimumWidth(360);
    view_ = view;
    return view;
}
