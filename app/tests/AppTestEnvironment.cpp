// One QApplication for the whole test binary on Qt's offscreen platform, and
// private folders for everything the application stores (user defaults, the
// key store, Qt's runtime folder); the keychain is the in-memory one.
#include "Foundation/UserDefaults.h"
#include "Keychain/MemoryKeychainBackend.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class AppTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        home_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvik-app-tests-XXXXXX"));
        ASSERT_TRUE(home_->isValid());
        const QString root = home_->path();
        for (const char* sub : {"runtime", "config", "data", "home"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
        qputenv("HOME", (root + "/home").toLocal8Bit());
        UserDefaults::setStandardUserDefaultsPath((root + "/config/standard.json").toStdString());
        KeychainBackend::setShared(std::make_shared<MemoryKeychainBackend>());
        static int argc = 1;
        static char name[] = "orvik_app_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        KeychainBackend::setShared(nullptr);
        home_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new AppTestEnvironment);

} // namespace
