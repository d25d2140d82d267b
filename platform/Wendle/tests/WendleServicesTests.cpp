#include "Wendle/FileHash.h"
#include "Wendle/KvServicePorts.h"
#include "Wendle/VyNetworkInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class FileHashTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvik-filehash-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path write(const std::string& name, const std::string& bytes) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    fs::path dir_;
};

TEST_F(FileHashTest, KnownDigestsInLowercaseHex) {
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath(write("empty", "")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath(write("abc", "abc")),
              "a9993e364706816aba3e25717850c26c9cd0d89d");
    // More than one read buffer, with NUL bytes: one million 'a's.
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath(write("million", std::string(1000000, 'a'))),
              "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST_F(FileHashTest, MissingFileIsAnError) {
    Error error;
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath((dir_ / "nothing").string(), &error), std::nullopt);
    EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(error.localizedDescription.empty());
}

TEST_F(FileHashTest, RefusesFoldersFifosAndDevicesAtOnce) {
    Error error;
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath(dir_.string(), &error), std::nullopt);
    EXPECT_EQ(error.code, EISDIR);

    fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer would block a plain open() forever; bound the wait.
    auto result = std::async(std::launch::async, [&] {
        Error e;
        auto hash = FileHash::sha1HashOfFileAtPath(fifo.string(), &e);
        return std::make_pair(hash, e.code);
    });
    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    auto [hash, code] = result.get();
    EXPECT_EQ(hash, std::nullopt);
    EXPECT_EQ(code, EINVAL);

    // /dev/zero would never end.
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath("/dev/zero", &error), std::nullopt);
    EXPECT_EQ(error.code, EINVAL);
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath("/dev/null", nullptr), std::nullopt);
}

TEST_F(FileHashTest, FollowsSymlinksToRegularFiles) {
    fs::path target = write("target", "abc");
    fs::create_symlink(target, dir_ / "link");
    EXPECT_EQ(FileHash::sha1HashOfFileAtPath((dir_ / "link").string()),
              "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(KvServicePorts, NamesWellKnownPortsFromAnyThread) {
    if (!fs::exists("/etc/services")) GTEST_SKIP() << "no services database on this machine";
    EXPECT_EQ(KvServicePorts::serviceNameWithPortNumber(22), "ssh");
    EXPECT_EQ(KvServicePorts::serviceNameWithPortNumber(80), "http");
    EXPECT_EQ(KvServicePorts::serviceNameWithPortNumber(0), std::nullopt);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                auto name = KvServicePorts::serviceNameWithPortNumber(t % 2 ? 22 : 443);
                if (name != (t % 2 ? "ssh" : "https")) ++wrong;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
}

TEST(VyNetworkInterface, ListsLoopbackOnceWithItsAddress) {
    auto interfaces = VyNetworkInterface::allAvailableInterfaces();
    int loopbacks = 0;
    for (auto& i : interfaces) {
        EXPECT_FALSE(i.BSDName().empty());
        if (i.BSDName() == "lo") {
            ++loopbacks;
            EXPECT_EQ(i.IPv4Address(), "127.0.0.1");
        }
    }
    EXPECT_EQ(loopbacks, 1);
}

} // namespace
