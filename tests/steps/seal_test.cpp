// A sealed run, as vexlan-seal builds it around a shell script: what it can see and write, the
// processes it can reach, its limits, and how its end reaches the launcher.
#include "processes.h"
#include "programlaunch.h"
#include "sealpolicy.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;

struct SealedEnd {
    int status = -1; // the script's wait status
    std::string output;
};

SealedEnd RunSealed(const std::string& script, const CSealPolicy& policy) {
    int ends[2] = {-1, -1};
    EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const CDescriptorMove fds[] = {{ends[1], STDOUT_FILENO}, {ends[1], STDERR_FILENO}};
    const CProgramLaunch launch({"/bin/sh", "-c", script}, {}, fds, &policy);
    close(ends[1]);
    SealedEnd end;
    EXPECT_NE(launch.Pid(), 0) << launch.Problem();
    end.output = ReadProcFile("/proc/self/fd/" + std::to_string(ends[0])).value_or("");
    close(ends[0]);
    int status = 0;
    if (launch.Pid() != 0 && waitpid(launch.Pid(), &status, 0) == launch.Pid())
        end.status = launch.ProgramStatus(status);
    EXPECT_EQ(launch.SealProblem(), "");
    return end;
}

class SealTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/vexlan-seal-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        std::ofstream(m_folder + "/mine.txt") << "the user's own";
    }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string m_folder;
};

TEST_F(SealTest, TheWholeSystemIsReadOnlyButTmpAndNothingOutsideIsReached) {
    const CSealPolicy policy;
    struct Case {
        std::string script;
        std::string said; // what the output holds
    };
    const std::string mine = m_folder + "/mine.txt";
    for (const Case& c : std::vector<Case>{
             {"cat " + mine, "the user's own"},
             {"echo x > " + mine + " && cat " + mine, "x\n"}, // in its own /tmp
             {"echo x > $HOME/vexlan-seal-test || echo refused", "refused"},
             {"echo x > " + m_folder + "/new && cat " + m_folder + "/new && echo written",
              "written"},
             // Process ids count from 1 in the run: this one is no process there, or another.
             {"test -e /proc/" + std::to_string(getpid()) + " || echo hidden", "hidden"},
             {"kill -KILL " + std::to_string(getpid()) + " || echo refused", "refused"},
             {"readlink /proc/1/fd/1 || echo refused", "refused"},
             {"kill -KILL 1; echo alive", "alive"},
             {"ls /run | wc -l", "0\n"},
             {"cat /dev/null && ls /dev | tr '\\n' ' '",
              "fd full null random shm stderr stdin stdout urandom zero "},
         }) {
        const SealedEnd end = RunSealed(c.script, policy);
        EXPECT_NE(end.output.find(c.said), std::string::npos) << c.script << "\n" << end.output;
    }
    // What the run wrote into /tmp went with it.
    EXPECT_FALSE(fs::exists(m_folder + "/new"));
    EXPECT_EQ(ReadProcFile(mine), "the user's own");
    EXPECT_FALSE(fs::exists(std::string(std::getenv("HOME")) + "/vexlan-seal-test"));
}

TEST_F(SealTest, TheListedViewShowsOnlyWhatIsListed) {
    fs::create_directories(m_folder + "/out");
    fs::create_directories(m_folder + "/secret");
    std::ofstream(m_folder + "/secret/answer.txt") << "42";
    CSealPolicy policy;
    policy.view = CSealPolicy::View::Listed;
    policy.readable = {m_folder + "/mine.txt"};
    policy.writable = {m_folder + "/out"};
    const SealedEnd end =
        RunSealed("cat " + m_folder + "/mine.txt; echo; ls " + m_folder +
                      " | tr '\\n' ' '; echo; (echo x > " + m_folder +
                      "/mine.txt) 2>/dev/null || echo refused; echo y > " + m_folder +
                      "/out/y.txt && echo written; ls /home /root 2>&1 | grep -c 'No such'",
                  policy);
    EXPECT_EQ(end.output, "the user's own\nmine.txt out \nrefused\nwritten\n2\n");
    EXPECT_TRUE(fs::exists(m_folder + "/out/y.txt"));
}

TEST_F(SealTest, LimitsEndOrRefuseTheRunAlone) {
    struct Case {
        const char* settings;
        std::string script;
        std::function<void(const SealedEnd&)> check;
    };
    const std::vector<Case> cases{
        // 400 processes are more than the limit: the kernel counts no processes for root, whose
        // run has 300 process ids.
        {"processes=16", "for i in $(seq 400); do sleep 5 & done",
         [](const SealedEnd& end) {
             EXPECT_NE(end.output.find("Cannot fork"), std::string::npos) << end.output;
         }},
        {"memory=64", "dd if=/dev/zero of=/dev/null bs=200M count=1 2>/dev/null || echo refused",
         [](const SealedEnd& end) { EXPECT_EQ(end.output, "refused\n"); }},
        {"files=1", "head -c 2000000 /dev/zero > /tmp/big; wc -c < /tmp/big",
         [](const SealedEnd& end) {
             // The shell's note of the signal may come before the count or after it.
             EXPECT_NE(("\n" + end.output).find("\n1048576\n"), std::string::npos) << end.output;
         }},
        {"cpu=1", "while :; do :; done",
         [](const SealedEnd& end) {
             EXPECT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGXCPU) << end.status;
         }},
        {"output=1", "head -c 5000 /dev/zero | tr '\\0' a; echo; echo end",
         [](const SealedEnd& end) {
             EXPECT_EQ(end.output,
                       std::string(1024, 'a') +
                           "\n[vexlan-seal：输出超过了 1 KiB 的上限，其余部分没有显示]\n");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        CSealPolicy policy;
        ASSERT_EQ(ApplyLimitSettings(c.settings, policy.limits), std::nullopt);
        c.check(RunSealed(c.script, policy));
    }
}

TEST_F(SealTest, EveryProcessEndsWithTheRunAndItsEndIsPassedOn) {
    const CSealPolicy policy;
    struct Case {
        std::string script;
        bool signalled;
        int code; // exit status or signal
    };
    for (const Case& c : {Case{"(sleep 1234.5 &); exit 3", false, 3},
                          Case{"(sleep 1234.5 &); kill -SEGV $$", true, SIGSEGV}}) {
        const SealedEnd end = RunSealed(c.script, policy);
        EXPECT_EQ(WIFSIGNALED(end.status), c.signalled) << c.script;
        EXPECT_EQ(c.signalled ? WTERMSIG(end.status) : WEXITSTATUS(end.status), c.code);
        for (const CProcessInfo& process : Processes())
            EXPECT_EQ(process.cmdline.find("1234.5"), std::string::npos) << process.pid;
    }
}

TEST(SealPolicy, OptionsAndLimitSettingsReadBackWhatWasWritten) {
    CSealPolicy policy;
    policy.view = CSealPolicy::View::Listed;
    policy.readable = {"/a b", "/c"};
    policy.writable = {"/d"};
    ASSERT_EQ(ApplyLimitSettings("processes=9,memory=3,files=2,cpu=7,output=5", policy.limits),
              std::nullopt);
    EXPECT_EQ(policy.limits, (CSealLimits{9, 3u << 20, 2u << 20, 7, 5u << 10}));
    std::vector<std::string> args = SealOptions(policy);
    args.insert(args.end(), {"--", "/bin/true", "x"});
    std::size_t next = 0;
    std::string problem;
    EXPECT_EQ(ReadSealOptions(args, next, problem), policy) << problem;
    EXPECT_EQ(args[next], "/bin/true");

    CSealLimits again;
    EXPECT_EQ(ApplyLimitSettings(LimitSettings(policy.limits), again), std::nullopt);
    EXPECT_EQ(again, policy.limits);
    for (const char* wrong : {"memory", "memory=", "memory=-1", "speed=3", "memory=1x",
                              "processes=99999999999999999999"})
        EXPECT_NE(ApplyLimitSettings(wrong, again), std::nullopt) << wrong;
}

} // namespace
