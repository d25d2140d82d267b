// One QApplication for the whole test binary, offscreen unless the caller
// chose a platform, with a private runtime folder.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        runtimeDir_ =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/wendle-views-XXXXXX"));
        if (runtimeDir_->isValid()) {
            QFile::setPermissions(runtimeDir_->path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", runtimeDir_->path().toLocal8Bit());
        }
        static int argc = 1;
        static char name[] = "platform_wendle_views_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        runtimeDir_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> runtimeDir_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
