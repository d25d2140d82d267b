#pragma once

// The QApplication of a views test binary, made once before any test:
// offscreen unless the caller chose a platform, with a private runtime folder.
// A binary registers it in one of its files:
//
//     [[maybe_unused]] ::testing::Environment* const environment =
//         ::testing::AddGlobalTestEnvironment(new views_test::QtApplicationEnvironment("my_tests"));
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace views_test {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    explicit QtApplicationEnvironment(std::string name) : name_(std::move(name)) {}

    void SetUp() override {
        if (QApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        runtimeDir_ =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvik-views-XXXXXX"));
        if (runtimeDir_->isValid()) {
            QFile::setPermissions(runtimeDir_->path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", runtimeDir_->path().toLocal8Bit());
        }
        argv_[0] = name_.data();
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        runtimeDir_.reset();
    }

private:
    std::string name_;
    int argc_ = 1;
    char* argv_[2] = {nullptr, nullptr};
    std::unique_ptr<QTemporaryDir> runtimeDir_;
    std::unique_ptr<QApplication> app_;
};

} // namespace views_test
