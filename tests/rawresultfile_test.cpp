#include "rawresultfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class RawResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vexlan-raw-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        target_ = (directory_ / "outcat.raw").string();
    }
    void TearDown() override {
        fs::permissions(directory_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(directory_);
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(directory_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::vector<BYTE> Contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    static void WriteOld(const std::string& path) {
        std::ofstream(path, std::ios::binary) << "old";
    }

    bool Write(int width, int height, const std::vector<BYTE>& plane) {
        return WriteRawResultFile(target_, width, height, plane.data(), problem_);
    }

    fs::path directory_;
    std::string target_;
    std::string problem_;
    const std::vector<BYTE> oldContents_{'o', 'l', 'd'};
};

TEST_F(RawResultFile, WritesLittleEndianSizesThenThePlane) {
    ASSERT_TRUE(Write(2, 1, {0x10, 0x20})) << problem_;
    EXPECT_EQ(Contents(target_), (std::vector<BYTE>{0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x10, 0x20}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

TEST_F(RawResultFile, AnEmptyPlaneWritesOnlyTheSizes) {
    ASSERT_TRUE(WriteRawResultFile(target_, 0, 70000, nullptr, problem_)) << problem_;
    EXPECT_EQ(Contents(target_), (std::vector<BYTE>{0, 0, 0, 0, 0x70, 0x11, 0x01, 0}));
    ASSERT_TRUE(WriteRawResultFile(target_, -2, 3, nullptr, problem_)) << problem_;
    EXPECT_EQ(Contents(target_), (std::vector<BYTE>{0xFE, 0xFF, 0xFF, 0xFF, 0x03, 0, 0, 0}));
}

TEST_F(RawResultFile, ASecondWriteReplacesTheFirst) {
    ASSERT_TRUE(Write(2, 2, {1, 2, 3, 4}));
    ASSERT_TRUE(Write(1, 1, {9})) << problem_;
    EXPECT_EQ(Contents(target_), (std::vector<BYTE>{1, 0, 0, 0, 1, 0, 0, 0, 9}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

TEST_F(RawResultFile, PermissionsAreThoseOfFopen) {
    const mode_t previousMask = umask(027);
    const bool written = Write(1, 1, {9});
    umask(previousMask);
    ASSERT_TRUE(written) << problem_;
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms(0640));

    fs::permissions(target_, fs::perms(0600));
    ASSERT_TRUE(Write(1, 1, {8})) << problem_;
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms(0600));
}

TEST_F(RawResultFile, APathUnderARegularFileCannotBeCreated) {
    const std::string plain = (directory_ / "plain").string();
    WriteOld(plain);
    const BYTE pixel = 9;
    EXPECT_FALSE(WriteRawResultFile(plain + "/out.raw", 1, 1, &pixel, problem_));
    EXPECT_EQ(problem_, "cannot be created");
    EXPECT_EQ(Contents(plain), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"plain"});
}

TEST_F(RawResultFile, ADirectoryInTheWayIsNotReplaced) {
    fs::create_directory(target_);
    EXPECT_FALSE(Write(1, 1, {9}));
    EXPECT_EQ(problem_, "cannot be created");
    EXPECT_TRUE(fs::is_directory(target_));
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

TEST_F(RawResultFile, AnUnwritableDirectoryKeepsTheExistingFile) {
    WriteOld(target_);
    fs::permissions(directory_, fs::perms(0555));
    const bool written = Write(1, 1, {9});
    if (written && geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only directory";
    EXPECT_FALSE(written);
    EXPECT_EQ(problem_, "cannot be created");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

// A file size limit makes the data writes fail part way, even for root.
TEST_F(RawResultFile, AFailedWriteKeepsTheExistingFile) {
    WriteOld(target_);
    rlimit previousLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit smallLimit = previousLimit;
    smallLimit.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &smallLimit), 0);
    const bool written = Write(10, 10, std::vector<BYTE>(100, 7));
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(problem_, "cannot be written");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

} // namespace
