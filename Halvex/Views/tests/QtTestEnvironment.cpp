// The QApplication of the views' test binary, created once before any test:
// offscreen unless the caller chose a platform, with a private runtime folder.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

class QtTestEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (QApplication::instance()) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        char pattern[] = "/tmp/orvik-views-tests-XXXXXX";
        if (const char* dir = mkdtemp(pattern)) {
            runtimeDir_ = dir;
            setenv("XDG_RUNTIME_DIR", dir, 1);
        }
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        if (!runtimeDir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(runtimeDir_, ignored);
        }
    }

private:
    int argc_ = 1;
    char name_[16] = "views_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
    std::string runtimeDir_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new QtTestEnvironment);

} // namespace
