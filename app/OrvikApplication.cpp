#include "app/OrvikApplication.h"

#include "Halvex/HalvexExports.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Wendle/Views/WendleQtMainQueue.h"
#include "Wendle/WendleBundle.h"
#include "app/AppDelegate.h"
#include "app/MainWindowController.h"
#include "app/OrvikApplicationLogger.h"
#include "app/OrvikInstanceChannel.h"
#include "app/OrvikPreferences.h"

#include <QApplication>

void OrvikPrepareLaunch() {
    QApplication::setApplicationName(QStringLiteral("Orvik"));
    WendleQtMainQueue::installAsMain();
    auto& preferences = OrvikPreferences::sharedPreferences();
    preferences.setAppID("com.brimblestudio.orvik");
    preferences.setAppName("Orvik");
    preferences.setHelperAppID("com.brimblestudio.orvikhelper");
    preferences.setHelperAppName("Orvik Helper");
    WendleLoadBundle();
    HalvexLoadBundle();
    HalvexPrivateKeyContainer::sharedPrivateKeyContainer().refreshCache();
    HalvexInitRegisterValueTransformers();
    OrvikInstallApplicationLogger();
}

int OrvikRunApplication(QApplication& application) {
    OrvikInstanceChannel channel(OrvikInstanceChannel::defaultSocketPath());
    const OrvikInstanceChannel::Role role = channel.claim();
    if (role == OrvikInstanceChannel::Role::handedOver) return 0;
    int status = 0;
    {
        AppDelegate delegate;
        delegate.setReopenChannelAvailable(role == OrvikInstanceChannel::Role::primary);
        QObject::connect(&channel, &OrvikInstanceChannel::reopenRequested, &delegate, [&delegate] {
            bool visible = false;
            for (QWidget* window : QApplication::topLevelWidgets())
                visible = visible || (window->isWindow() && window->isVisible());
            delegate.applicationShouldHandleReopen(visible);
        });
        delegate.applicationDidFinishLaunching();
        status = application.exec();
    }
    // Every page is gone with the delegate before the main queue goes.
    MainQueue::setMain(nullptr);
    return status;
}
