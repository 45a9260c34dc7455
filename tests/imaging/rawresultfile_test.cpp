#include "rawresultfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Which files are synced, and what the watched path held at the time.
struct SyncWatch {
    std::string path;
    std::vector<std::pair<ino_t, ino_t>> synced; // the synced file, the path's file
};
SyncWatch syncWatch;

// Stands in for the system's fsync in this program, watching it.
extern "C" int fsync(int descriptor) {
    struct stat synced {
    }, atPath{};
    if (!syncWatch.path.empty() && fstat(descriptor, &synced) == 0)
        syncWatch.synced.emplace_back(
            synced.st_ino, stat(syncWatch.path.c_str(), &atPath) == 0 ? atPath.st_ino : 0);
    return static_cast<int>(syscall(SYS_fsync, descriptor));
}

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

    struct Outcome {
        bool written = false;
        std::string problem;
    };
    // Writes one pixel to the target from a child process that runs as the user nobody when
    // the tests run as root (and as the tests' user otherwise); the child reports back
    // through a pipe.
    static Outcome WriteAsNobody(const std::string& target) {
        const passwd* nobody = getpwnam("nobody");
        int channel[2];
        if (!nobody || pipe(channel) != 0) {
            ADD_FAILURE() << "no user nobody or no pipe";
            return {};
        }
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
                _exit(2);
            std::string problem;
            const BYTE pixel = 9;
            const std::string report =
                (WriteRawResultFile(target, 1, 1, &pixel, problem) ? "1" : "0") + problem;
            const bool sent = write(channel[1], report.data(), report.size()) ==
                              static_cast<ssize_t>(report.size());
            _exit(sent ? 0 : 3);
        }
        close(channel[1]);
        std::string report;
        char buffer[256];
        for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
            report.append(buffer, static_cast<std::size_t>(got));
        close(channel[0]);
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        if (report.empty())
            return {};
        return {report[0] == '1', report.substr(1)};
    }
    Outcome WriteAsNobody() const { return WriteAsNobody(target_); }

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
    for (const auto& [mask, mode] : {std::pair{mode_t{027}, 0640}, std::pair{mode_t{002}, 0664}}) {
        SCOPED_TRACE(mode);
        fs::remove(target_);
        const mode_t previousMask = umask(mask);
        const bool written = Write(1, 1, {9});
        umask(previousMask);
        ASSERT_TRUE(written) << problem_;
        EXPECT_EQ(fs::status(target_).permissions(), fs::perms(mode));
    }

    fs::permissions(target_, fs::perms(0600));
    ASSERT_TRUE(Write(1, 1, {8})) << problem_;
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms(0600));
}

// The new contents reach the disk before they replace the old ones.
TEST_F(RawResultFile, TheFileIsSyncedBeforeItReplacesTheOldOne) {
    WriteOld(target_);
    syncWatch = {target_, {}};
    const bool written = Write(1, 1, {9});
    const SyncWatch watched = std::exchange(syncWatch, {});
    ASSERT_TRUE(written) << problem_;
    struct stat status {};
    ASSERT_EQ(stat(target_.c_str(), &status), 0);
    ASSERT_EQ(watched.synced.size(), 1u);
    EXPECT_EQ(watched.synced[0].first, status.st_ino);  // the file that became the target
    EXPECT_NE(watched.synced[0].second, status.st_ino); // while the old one was still there
}

TEST_F(RawResultFile, WhatStandsInTheWayIsLeftAndNamed) {
    const std::string plain = (directory_ / "plain").string();
    WriteOld(plain);
    const BYTE pixel = 9;
    EXPECT_FALSE(WriteRawResultFile(plain + "/out.raw", 1, 1, &pixel, problem_));
    EXPECT_EQ(problem_, "路径中有一项不是文件夹");
    EXPECT_EQ(Contents(plain), oldContents_);

    EXPECT_FALSE(
        WriteRawResultFile((directory_ / "gone/out.raw").string(), 1, 1, &pixel, problem_));
    EXPECT_EQ(problem_, "文件或文件夹不存在");

    fs::create_directory(target_);
    EXPECT_FALSE(Write(1, 1, {9}));
    EXPECT_EQ(problem_, "那里是一个文件夹");
    EXPECT_TRUE(fs::is_directory(target_));
    fs::remove(target_);

    // A rename over a pipe or a device would take it away.
    ASSERT_EQ(mkfifo(target_.c_str(), 0644), 0);
    EXPECT_FALSE(Write(1, 1, {9}));
    EXPECT_EQ(problem_, "同名的对象不是普通文件");
    EXPECT_TRUE(fs::is_fifo(target_));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"outcat.raw", "plain"}));
}

// Refused even for root, who could write it.
TEST_F(RawResultFile, AReadOnlyFileIsRefusedAndKept) {
    WriteOld(target_);
    fs::permissions(target_, fs::perms(0444));
    EXPECT_FALSE(Write(1, 1, {9}));
    EXPECT_EQ(problem_, "文件是只读的");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms(0444));
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

// Root passes every permission check, so these run in a child that has become nobody.
TEST_F(RawResultFile, AnotherUsersFileIsRefusedEvenInAWritableFolder) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can make a file of another user";
    WriteOld(target_);
    fs::permissions(directory_, fs::perms(0777));
    const Outcome outcome = WriteAsNobody();
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.problem, "没有写入这个文件的权限");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

TEST_F(RawResultFile, AnUnwritableFolderKeepsTheExistingFile) {
    WriteOld(target_);
    fs::permissions(target_, fs::perms(0666));
    fs::permissions(directory_, fs::perms(0555));
    const Outcome outcome = WriteAsNobody();
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.problem, "没有在这个文件夹中写入的权限");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

// Any write bit counts: a file of another user that our group may write is written.
TEST_F(RawResultFile, AGroupWritableFileOfAnotherUserIsReplaced) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can make a file of another user";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    WriteOld(target_);
    ASSERT_EQ(chown(target_.c_str(), 0, nobody->pw_gid), 0);
    fs::permissions(target_, fs::perms(0464));
    fs::permissions(directory_, fs::perms(0777));
    const Outcome outcome = WriteAsNobody();
    EXPECT_TRUE(outcome.written) << outcome.problem;
    EXPECT_EQ(Contents(target_), (std::vector<BYTE>{1, 0, 0, 0, 1, 0, 0, 0, 9}));
}

TEST_F(RawResultFile, ALinkIsFollowedAndItsTargetReplacedWithItsMode) {
    fs::create_directory(directory_ / "real");
    const fs::path real = directory_ / "real" / "kept.raw";
    WriteOld(real.string());
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink("hop", target_);
    fs::create_symlink("real/kept.raw", directory_ / "hop");

    ASSERT_TRUE(Write(1, 1, {9})) << problem_;
    EXPECT_TRUE(fs::is_symlink(target_));
    EXPECT_EQ(fs::read_symlink(target_), "hop");
    EXPECT_EQ(Contents(real.string()), (std::vector<BYTE>{1, 0, 0, 0, 1, 0, 0, 0, 9}));
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"hop", "outcat.raw", "real"}));
    EXPECT_EQ(fs::directory_iterator(directory_ / "real")->path(), real);
}

TEST_F(RawResultFile, ADanglingLinkMakesItsTargetAndALoopIsNamed) {
    fs::create_symlink(directory_ / "made.raw", target_);
    ASSERT_TRUE(Write(1, 1, {9})) << problem_;
    EXPECT_TRUE(fs::is_symlink(target_));
    EXPECT_EQ(Contents((directory_ / "made.raw").string()).size(), 9u);

    fs::remove(directory_ / "made.raw");
    fs::create_symlink(target_, directory_ / "made.raw");
    EXPECT_FALSE(Write(1, 1, {9}));
    EXPECT_EQ(problem_, "符号链接太多层");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"made.raw", "outcat.raw"}));
}

// The temporary file goes beside the link's target: a rename cannot cross file systems.
TEST_F(RawResultFile, ALinkToAnotherFileSystemIsFollowedThere) {
    struct stat here {
    }, there{};
    if (stat("/dev/shm", &there) != 0 || stat(directory_.c_str(), &here) != 0 ||
        here.st_dev == there.st_dev)
        GTEST_SKIP() << "no /dev/shm on a file system of its own";
    std::string pattern = "/dev/shm/vexlan-raw-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path elsewhere = fs::path(pattern) / "kept.raw";
    WriteOld(elsewhere.string());
    fs::create_symlink(elsewhere, target_);
    const bool written = Write(1, 1, {9});
    const std::vector<BYTE> contents = Contents(elsewhere.string());
    fs::remove_all(pattern);
    EXPECT_TRUE(written) << problem_;
    EXPECT_EQ(contents, (std::vector<BYTE>{1, 0, 0, 0, 1, 0, 0, 0, 9}));
    EXPECT_TRUE(fs::is_symlink(target_));
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
    EXPECT_EQ(problem_, "文件太大");
    EXPECT_EQ(Contents(target_), oldContents_);
    EXPECT_EQ(Entries(), std::vector<std::string>{"outcat.raw"});
}

// What File Save wrote comes back byte for byte; what is not a regular file is refused at
// once, even a FIFO that no one writes.
TEST_F(RawResultFile, ReadsBackExactlyWhatWasWritten) {
    const BYTE plane[] = {0, 1, 254, 255, 128, 7};
    struct Row {
        int width, height;
    } rows[] = {{3, 2}, {6, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        std::string problem;
        ASSERT_TRUE(WriteRawResultFile(target_, row.width, row.height, plane, problem));
        const std::optional<CRawResult> read = ReadRawResultFile(target_, problem);
        ASSERT_TRUE(read) << problem;
        EXPECT_EQ(read->width, row.width);
        EXPECT_EQ(read->height, row.height);
        const std::size_t size = std::size_t(row.width) * std::size_t(row.height);
        EXPECT_TRUE(std::equal(plane, plane + size, read->plane.get()));
    }
    const std::string fifo = (directory_ / "fifo.raw").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, directory_.string(), (directory_ / "none").string()}) {
        std::string problem;
        EXPECT_FALSE(ReadRawResultFile(path, problem)) << path;
        EXPECT_EQ(problem.rfind("无法打开：", 0), 0u) << problem;
    }
}

// A result is read only when it is one a view can hold: pixels to show, no more of them than
// the planes' limit allows an image, and exactly the bytes its header promises. The size is
// refused from the header alone, before the file's bytes are read or anything is allocated.
TEST_F(RawResultFile, OnlyAWholeResultOfAnAllowedSizeIsRead) {
    struct Case {
        std::uint32_t width, height;
        std::int64_t extraBytes; // beyond 8 + width * height
        std::string problem;     // empty: read
    };
    const std::uint32_t largestSide = 1u << 14; // 2^28 pixels, the most allowed
    const Case cases[] = {
        {0, 0, 0, "尺寸 0 × 0 像素，没有一个像素"},
        {0, 5, 0, "尺寸 0 × 5 像素，没有一个像素"},
        {7, 0, 0, "尺寸 7 × 0 像素，没有一个像素"},
        {46341, 46341, 0, "尺寸 46341 × 46341 像素太大"},
        {largestSide, largestSide + 1, 0, "尺寸 16384 × 16385 像素太大"},
        {1500000000, 1, 0, "尺寸 1500000000 × 1 像素太大"},
        {largestSide, largestSide, 0, ""},
        {3, 2, 1, "3×2 的结果文件应有 14 字节，实际是 15 字节"},
        {3, 2, -1, "3×2 的结果文件应有 14 字节，实际是 13 字节"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        {
            std::ofstream file(target_, std::ios::binary | std::ios::trunc);
            for (const std::uint32_t field : {c.width, c.height})
                for (int shift = 0; shift < 32; shift += 8)
                    file.put(static_cast<char>(field >> shift));
        }
        // Sparse: a large result's zeros cost no disk.
        const std::int64_t length = 8 + std::int64_t{c.width} * c.height + c.extraBytes;
        ASSERT_EQ(truncate(target_.c_str(), length), 0);
        std::string problem;
        const std::optional<CRawResult> read = ReadRawResultFile(target_, problem);
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(read.has_value(), c.problem.empty());
    }
}

} // namespace
