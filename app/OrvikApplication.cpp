#include "app/OrvikApplication.h"

#include "Halvex/HalvexExports.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/Views/HalvexQtAlertPresenter.h"
#include "Wendle/Views/WendleQtMainQueue.h"
#include "app/MainWindowController.h"
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
    HalvexLoadBundle();
    HalvexPrivateKeyContainer::sharedPrivateKeyContainer().refreshCache();
    HalvexInitRegisterValueTransformers();
}

std::unique_ptr<MainWindowController> OrvikMakeMainWindow() {
    auto window = std::make_unique<MainWindowController>();
    HalvexAlertPresenter::setSharedPresenter(std::make_shared<HalvexQtAlertPresenter>(window.get()));
    return window;
}

int OrvikRunApplication(QApplication& application) {
    OrvikPrepareLaunch();
    auto window = OrvikMakeMainWindow();
    window->show();
    const int status = application.exec();
    HalvexAlertPresenter::setSharedPresenter(nullptr);
    window.reset();
    MainQueue::setMain(nullptr);
    return status;
}
