// The parts grading builds on, each on its own: the content digest, the record kept beside a
// student's results, a student's command (its time limit, its stop, the group it leaves
// behind, the line that repeats it) and the runner's lines read into outcomes and a log.
#include "childprogram.h"
#include "contenthash.h"
#include "processes.h"
#include "runnerprogress.h"
#include "steprunrecord.h"
#include "stopevent.h"
#include "studentcommand.h"
#include "studentlog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Sha256(const std::string& bytes) {
    CContentHash hash;
    hash.AddBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    return hash.Hex();
}

TEST(ContentHashTest, KnownDigestsAndPiecesThatCannotRunTogether) {
    EXPECT_EQ(Sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    const auto pieces = [](std::initializer_list<const char*> texts) {
        CContentHash hash;
        for (const char* text : texts)
            hash.Add(text);
        return hash.Hex();
    };
    EXPECT_NE(pieces({"ab", "c"}), pieces({"a", "bc"}));
    EXPECT_EQ(pieces({"ab", "c"}), pieces({"ab", "c"}));

    // A file's bytes count, and what is no regular file is not waited on.
    const QTemporaryDir folder;
    const std::string file = folder.filePath("f").toStdString();
    const std::string fifo = folder.filePath("fifo").toStdString();
    std::ofstream(file) << "abc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CContentHash one, other, none;
    EXPECT_TRUE(one.AddFile(file));
    std::ofstream(file) << "abd";
    EXPECT_TRUE(other.AddFile(file));
    EXPECT_NE(one.Hex(), other.Hex());
    EXPECT_FALSE(none.AddFile(fifo));
    EXPECT_FALSE(none.AddFile(folder.path().toStdString()));
}

TEST(StepRunRecordTest, KeptWholeOrNotAtAll) {
    CStepRunRecord record;
    record.key = "0123abcd";
    record.built = true;
    record.images = {{CImageRun::Kind::Saved, "", 0.25},
                     {CImageRun::Kind::Failed, "[2/3] 步骤 x 处理 a b.bmp 时出错：SIGSEGV", 1.5},
                     {CImageRun::Kind::TimedOut, "[3/3] 超时，已被结束", 10},
                     {CImageRun::Kind::NotReported, "", 0}};
    record.runProblem = "line one\nline two";
    record.seconds = 12.5;
    const std::string text = StepRunRecordText(record);
    const std::optional<CStepRunRecord> back = ParseStepRunRecord(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->key, record.key);
    EXPECT_TRUE(back->built);
    ASSERT_EQ(back->images.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back->images[i].kind, record.images[i].kind) << i;
        EXPECT_EQ(back->images[i].detail, record.images[i].detail) << i;
        EXPECT_DOUBLE_EQ(back->images[i].seconds, record.images[i].seconds) << i;
    }
    EXPECT_EQ(back->runProblem, "line one line two");
    EXPECT_DOUBLE_EQ(back->seconds, 12.5);

    // Cut off anywhere, or changed into something else, it is no record.
    for (std::size_t cut = 0; cut + 1 < text.size(); cut += 7)
        EXPECT_FALSE(ParseStepRunRecord(text.substr(0, cut))) << cut;
    for (const char* wrong :
         {"vexlan-grade-record 2\nend\n", "vexlan-grade-record 1\nimage lost 1 x\nend\n",
          "vexlan-grade-record 1\nimage saved -1 \nend\n", "vexlan-grade-record 1\nwhat\nend\n"})
        EXPECT_FALSE(ParseStepRunRecord(wrong)) << wrong;
}

// What ends a student's command, how soon, and what it leaves: nothing of its group, sealed
// or not.
TEST(StudentCommandTest, TheTimeLimitAndTheStopEndTheWholeGroup) {
    struct Case {
        const char* what;
        double seconds;
        bool stop;
        CChildProgramEnd::Cause cause;
    } cases[] = {{"past its time", 0.5, false, CChildProgramEnd::Cause::TimeLimit},
                 {"stopped", 600, true, CChildProgramEnd::Cause::Stopped}};
    for (const Case& test : cases)
        for (const bool sealed : {false, true}) {
            SCOPED_TRACE(std::string(test.what) + (sealed ? ", sealed" : ""));
            CStopEvent stop;
            const CStudentCommand command{
                {"/bin/sh", "-c", "sleep 600.125 & echo $!; sleep 600"}, {}, {}, {}, test.seconds,
                sealed ? std::optional(CSealLimits{}) : std::nullopt};
            pid_t leftBehind = 0;
            const auto start = std::chrono::steady_clock::now();
            const CChildProgramEnd end =
                RunStudentCommand(command, stop.Descriptor(), [&](const std::string& line) {
                    leftBehind = std::stoi(line);
                    if (test.stop)
                        stop.Set();
                });
            EXPECT_EQ(end.cause, test.cause);
            EXPECT_EQ(end.status, 128 + SIGKILL);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
            ASSERT_GT(leftBehind, 0);
            // Killed with its group: gone, or a zombie until its new parent reaps it, once the
            // kill has been delivered. Sealed, its process id is the seal's own.
            const auto gone = [] {
                return std::ranges::none_of(Processes(), [](const CProcessInfo& process) {
                    return process.state != 'Z' &&
                           process.cmdline.find("600.125") != std::string::npos;
                });
            };
            const auto killed = std::chrono::steady_clock::now();
            while (!gone() && std::chrono::steady_clock::now() - killed < std::chrono::seconds(60))
                std::this_thread::yield();
            EXPECT_TRUE(gone());
        }

    // A program that ends while what it started still holds the output ends the run at once.
    const auto start = std::chrono::steady_clock::now();
    const CChildProgramEnd end =
        RunStudentCommand({{"/bin/sh", "-c", "sleep 600 & exit 3"}, {}, {}, {}, 600, std::nullopt},
                          -1, [](const std::string&) {});
    EXPECT_EQ(end.status, 3);
    EXPECT_EQ(end.cause, CChildProgramEnd::Cause::Ended);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// The logged command can be pasted into a shell: whatever its arguments hold, the shell hands
// the program the same ones.
TEST(StudentCommandTest, TheLoggedCommandRepeatsTheRun) {
    const CStudentCommand command{{"/usr/bin/printf", "[%s]", "a b", "it's", "x\ny", "$HOME", "-"},
                                  {"GREETING=it's here"},
                                  {},
                                  {},
                                  10,
                                  std::nullopt};
    std::vector<std::string> lines;
    RunStudentCommand({{"/bin/sh", "-c", ShellCommandLine(command) + "; echo \"$GREETING\""},
                       {"GREETING=not this"},
                       {},
                       {},
                       10,
                       std::nullopt},
                      -1, [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(lines, (std::vector<std::string>{"[a b][it's][x", "y][$HOME][-]not this"}));
    EXPECT_EQ(ShellCommandLine(command).rfind("GREETING='it'\\''s here' '/usr/bin/printf' ", 0),
              0u);

    // A line without end is cut, not held whole.
    std::vector<std::size_t> lengths;
    RunStudentCommand({{"/bin/sh", "-c", "head -c 300000 /dev/zero | tr '\\0' x; echo; echo ok"},
                       {},
                       {},
                       {},
                       60,
                       std::nullopt},
                      -1, [&](const std::string& line) { lengths.push_back(line.size()); });
    EXPECT_EQ(lengths, (std::vector<std::size_t>{kMaxChildLineBytes, 2}));
}

// The runner's lines give each image its outcome and time; what the step prints between them
// goes to the log up to a limit, the rest counted, and the runner's lines always.
TEST(RunnerProgressTest, EachImageFromItsLineAndTheLogKeptReadable) {
    const QTemporaryDir folder;
    const std::string logPath = folder.filePath("log.txt").toStdString();
    std::vector<CImageRun> images;
    std::string ownLine;
    {
        CStudentLog log(logPath);
        CRunnerProgress progress(4, log);
        log.Command("vexlan-batch ...");
        progress.See("hello from image 1");
        progress.See("[1/4] a.bmp -> /r/outa.raw");
        for (int i = 0; i < 1000; ++i)
            progress.See("loud " + std::to_string(i));
        progress.See("[2/4] 步骤 s 处理 /i/b.bmp 时出错：SIGSEGV（段错误）。");
        progress.See("没有为这个图像写出任何文件。在调试器中重复这次运行：");
        progress.See("[3/4] 步骤 s 处理 /i/c.bmp 超时，已被结束");
        progress.See("[9/4] not the runner's");
        progress.See("vexlan-batch：收到 SIGTERM");
        progress.See("共 4 个图像：保存 1 个，失败 2 个。");
        images = progress.Images();
        ownLine = progress.FirstOwnLine();
    }
    ASSERT_EQ(images.size(), 4u);
    EXPECT_EQ(images[0].kind, CImageRun::Kind::Saved);
    EXPECT_EQ(images[1].kind, CImageRun::Kind::Failed);
    EXPECT_EQ(images[1].detail, "[2/4] 步骤 s 处理 /i/b.bmp 时出错：SIGSEGV（段错误）。");
    EXPECT_EQ(images[2].kind, CImageRun::Kind::TimedOut);
    EXPECT_EQ(images[3].kind, CImageRun::Kind::NotReported);
    for (const CImageRun& image : images)
        EXPECT_GE(image.seconds, 0);
    EXPECT_EQ(ownLine, "vexlan-batch：收到 SIGTERM");

    std::vector<std::string> lines;
    std::istringstream log(ReadAll(logPath));
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + 2 + 400 + 1 + 1 + 1 + 1 + 1 + 1 + 1);
    EXPECT_EQ(lines[0], "$ vexlan-batch ...");
    EXPECT_EQ(lines[1], "hello from image 1");
    EXPECT_EQ(lines[2], "[1/4] a.bmp -> /r/outa.raw");
    EXPECT_EQ(lines[3], "loud 0");
    EXPECT_EQ(lines[402], "loud 399");
    EXPECT_EQ(lines[403], "……（此处又输出了 600 行，没有记入日志）");
    EXPECT_EQ(lines[404].rfind("[2/4] ", 0), 0u);
    EXPECT_EQ(lines[407], "[9/4] not the runner's");
    EXPECT_EQ(lines[409], "共 4 个图像：保存 1 个，失败 2 个。");
}

} // namespace
