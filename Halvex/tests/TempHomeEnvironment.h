#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "PemvinTestSupport.h"

// HOME and XDG_DATA_HOME in a temporary folder for a whole test binary, so
// that the shared key store, and anything else that looks there, never
// touches the real ones. Register it once per binary with
// ::testing::AddGlobalTestEnvironment.
class TempHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir = std::make_unique<PemvinTempDir>();
        setenv("HOME", dir->file("home").c_str(), 1);
        setenv("XDG_DATA_HOME", dir->file("data").c_str(), 1);
        std::filesystem::create_directories(dir->file("home"));
    }
    void TearDown() override { dir.reset(); }
    std::unique_ptr<PemvinTempDir> dir;
};
