#pragma once

#include "Wendle/Views/MASPreferencesViewController.h"

#include <QIcon>
#include <QPointer>
#include <QString>

// The preferences window's About pane: the application's icon, name, version
// and copyright, as the build sets them.
//
// Object names: "applicationIcon", "applicationName", "version", "copyright".
class AboutPreferencesViewController : public MASPreferencesViewController {
    Q_OBJECT

public:
    struct Info {
        QString applicationName; // the application's name when empty
        QString version;         // the application's version when empty
        QString copyright;
        QIcon icon; // the application's window icon when null
    };

    explicit AboutPreferencesViewController(Info info, QObject* parent = nullptr);
    ~AboutPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("AboutPreferences"); }
    QString toolbarItemLabel() const override;
    QIcon toolbarItemImage() const override;
    QWidget* view() override;

    const Info& info() const { return info_; }

private:
    Info info_;
    QPointer<QWidget> view_;
};
