#pragma once
// What the server-management view tests share: a throwaway home for the
// shared key store and preferences, the in-memory keychain, scripted alerts
// and panels, and key files made with ssh-keygen.

#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexExports.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexSessionController.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleFilePanel.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace mgmt_test {

// HOME, XDG_DATA_HOME and XDG_CONFIG_HOME in a temporary folder for the whole
// binary, so the shared key store and preferences never touch real ones.
class TempHome : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvik-mgmt-XXXXXX"));
        const std::string root = dir_->path().toStdString();
        std::filesystem::create_directories(root + "/home/.ssh");
        setenv("HOME", (root + "/home").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        HalvexInitRegisterValueTransformers(); // as the application does at launch
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// Makes an ECDSA key in PEM form (encrypted when `passphrase` is not empty).
inline std::string makeKey(const std::string& folder, const std::string& name,
                           const std::string& passphrase = {}) {
    const std::string path = folder + "/" + name;
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".pub");
    const int status = QProcess::execute(
        QStringLiteral("ssh-keygen"),
        {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ecdsa"), QStringLiteral("-b"),
         QStringLiteral("256"), QStringLiteral("-m"), QStringLiteral("PEM"), QStringLiteral("-N"),
         QString::fromStdString(passphrase), QStringLiteral("-f"), QString::fromStdString(path)});
    EXPECT_EQ(status, 0) << "ssh-keygen " << name;
    return path;
}

// Runs the event loop until `done` holds (at most about two seconds).
template <class F>
bool spinUntil(F done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The common fixture: the shared store emptied, an in-memory keychain, and
// scripted alert and file-panel runners.
class ServerManagementTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Work queued for the main thread runs in Qt's event loop; other
        // suites of the binary expect no main queue, so it goes afterwards.
        if (!MainQueue::main()) mainQueue_ = WendleQtMainQueue::installAsMain();
        KeychainBackend::setShared(keychain);
        auto& store = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(store.containerURL(), ec))
            std::filesystem::remove_all(entry.path(), ec);
        store.refreshCache();
        keys = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvik-keys-XXXXXX"));
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        KeychainBackend::setShared(nullptr);
        if (mainQueue_) MainQueue::setMain(nullptr);
        mainQueue_.reset();
    }

    HalvexPrivateKeyContainer& store() { return HalvexPrivateKeyContainer::sharedPrivateKeyContainer(); }
    std::string keysDir() const { return keys->path().toStdString(); }
    // Imports a new key into the shared store; its key_id.
    std::string importKey(const std::string& name, const std::string& passphrase = {}) {
        Error error;
        auto id = store().importAtPath(makeKey(keysDir(), name, passphrase), &error);
        EXPECT_TRUE(id) << error.localizedDescription;
        store().refreshCache();
        return id.value_or("");
    }
    static std::optional<HalvexAuthHelper> passwordItem(const std::string& host, std::uint16_t port,
                                                        const std::string& user) {
        return HalvexAuthHelper::makeWithServer(host, port, user);
    }
    static std::optional<HalvexAuthHelper> interactiveItem(const std::string& host, std::uint16_t port,
                                                           const std::string& user) {
        return HalvexAuthHelper::makeWithServer(host, port, user, true);
    }
    static std::shared_ptr<HalvexSessionController> profile(const std::string& host, std::int64_t port,
                                                            const std::string& user) {
        auto p = std::make_shared<HalvexSessionController>();
        p->setSsh_host(host);
        p->setSsh_port(port);
        p->ssh_user = user;
        return p;
    }

    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
    std::shared_ptr<WendleScriptedAlertRunner> alerts = std::make_shared<WendleScriptedAlertRunner>();
    WendleScopedAlertRunner installedAlerts{alerts};
    std::shared_ptr<WendleScriptedFilePanelRunner> panels = std::make_shared<WendleScriptedFilePanelRunner>();
    WendleScopedFilePanelRunner installedPanels{panels};
    std::unique_ptr<QTemporaryDir> keys;
    std::shared_ptr<WendleQtMainQueue> mainQueue_;
};

} // namespace mgmt_test
