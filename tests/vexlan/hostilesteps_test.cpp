// Steps that attack what runs them, as a new user's buggy or mischievous step would: each is
// reported as the step's failure or has no effect, the program and the runner go on, the
// image stays as it was, and no process of the step is left. Also the host started ahead:
// one that died while idle is not used, nor one started for another image of the same size;
// and a system that cannot seal a step says so once.
#include "installedstepfixture.h"
#include "processes.h"

#include <QProcess>

#include <signal.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr char kHostileIncludes[] = R"(#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <unistd.h>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
)";

// What each hostile step does last when it gets there: the guide's inversion.
constexpr char kInvertBody[] = R"(
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image->result[y * image->width + x] = 255 - vexlan_gray_at(image, x, y);)";

// Every memory file of every process it can see, and its own image planes, made writable and
// painted gray.
constexpr char kPaintPlanes[] = R"(
    if (DIR* processes = opendir("/proc")) {
        while (dirent* process = readdir(processes))
            for (int fd = 0; fd < 256; ++fd) {
                const std::string path = std::string("/proc/") + process->d_name + "/fd/" +
                                         std::to_string(fd);
                char target[256] = {};
                if (readlink(path.c_str(), target, sizeof target - 1) <= 0 ||
                    !std::strstr(target, "vexlan-plane"))
                    continue;
                const int plane = open(path.c_str(), O_RDWR);
                void* bytes = plane < 0 ? MAP_FAILED
                                        : mmap(nullptr, 4096, PROT_WRITE, MAP_SHARED, plane, 0);
                if (bytes != MAP_FAILED)
                    std::memset(bytes, 0x80, 4096);
            }
        closedir(processes);
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    for (const unsigned char* plane : {image->gray, image->color}) {
        void* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(plane) & ~(page - 1));
        if (mprotect(start, page, PROT_READ | PROT_WRITE) == 0)
            std::memset(const_cast<unsigned char*>(plane), 0x80, 6);
    })";

struct HostileStep {
    const char* name;
    std::string body;
    bool inProgram;       // also chosen in the program
    const char* reported; // the failure the runner and the program report; null: no effect
};

const std::vector<HostileStep> kHostileSteps{
    {"killparent", std::string("kill(getppid(), SIGKILL);") + kInvertBody, true, nullptr},
    {"killgroup", "kill(0, SIGTERM); sleep(5);", true, "被信号 15（TERM）结束"},
    {"traceparent",
     std::string("if (ptrace(PTRACE_SEIZE, getppid(), 0, 0) == 0)\n"
                 "    ptrace(PTRACE_INTERRUPT, getppid(), 0, 0);") +
         kInvertBody,
     true, nullptr},
    {"paintplanes", std::string(kPaintPlanes) + kInvertBody, true, nullptr},
    {"orphan",
     std::string("if (fork() == 0) {\n    prctl(PR_SET_NAME, \"vexlanorphan\");\n"
                 "    for (;;) pause();\n}") +
         kInvertBody,
     false, nullptr},
    {"forkbomb", "for (;;)\n    if (fork() == 0)\n        for (;;) pause();", false, "超时"},
    {"alloc4g",
     "void* big = std::malloc(std::size_t{4} << 30);\nif (!big)\n    throw std::bad_alloc();\n"
     "std::memset(big, 1, std::size_t{4} << 30);",
     false, "std::bad_alloc（步骤能分配的内存上限为 2048 MiB）"},
    {"writehome",
     std::string("const std::string path = std::string(std::getenv(\"HOME\")) + \"/hostile.txt\";\n"
                 "if (FILE* file = std::fopen(path.c_str(), \"w\"))\n    std::fclose(file);") +
         kInvertBody,
     false, nullptr},
};

// The gray levels of cat.bmp inverted, as kInvertBody leaves them.
const Bytes kInverted{255, 0, 255 - 76, 255 - 28, 255 - 149, 255 - 128};

class HostileStepTest : public InstalledStepTest {
protected:
    void SetUp() override {
        InstalledStepTest::SetUp();
        setenv("HOME", m_home.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override {
        setenv("HOME", m_realHome.c_str(), 1);
        InstalledStepTest::TearDown();
    }
    // Processes of the steps this process started, but the host started ahead for the image.
    static std::vector<std::string> StepProcessesLeft() {
        std::vector<std::string> left;
        for (const CProcessInfo& process : DescendantsOf(getpid()))
            if (process.state != 'Z')
                left.push_back(process.name);
        return left;
    }
    Bytes Planes() const {
        const BYTE* gray = m_view->m_pGrayImage.get();
        const BYTE* color = m_view->m_pColorImage.get();
        Bytes planes(gray, gray + 6);
        planes.insert(planes.end(), color, color + 18);
        return planes;
    }

    QTemporaryDir m_home;
    std::string m_realHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
};

TEST_F(HostileStepTest, EachIsTheStepsFailureOrHasNoEffectInTheRunnerAndTheProgram) {
    for (const HostileStep& step : kHostileSteps)
        ASSERT_EQ(BuildStep(step.name, kHostileIncludes + StepWithBody(step.name, step.body)), 0)
            << m_built;
    const QTemporaryDir results;
    const std::string result = results.filePath("outcat.raw").toStdString();
    for (const HostileStep& step : kHostileSteps) {
        SCOPED_TRACE(step.name);
        fs::remove(result);
        const int status = Batch(
            {"--timeout", "3", "-o", results.path().toStdString(), step.name, HostPath("cat.bmp")});
        if (step.reported) {
            EXPECT_EQ(status, kBatchSomeFailed);
            EXPECT_NE(m_err.find(step.reported), std::string::npos) << m_err;
        } else {
            EXPECT_EQ(status, kBatchAllSaved) << m_err;
            const Bytes saved = ReadFile(result);
            ASSERT_EQ(saved.size(), 8u + 6);
            EXPECT_EQ(Bytes(saved.begin() + 8, saved.end()), kInverted);
        }
        EXPECT_EQ(StepProcessesLeft(), std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists(m_home.filePath("hostile.txt").toStdString()));

    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    const Bytes planes = Planes();
    for (const HostileStep& step : kHostileSteps) {
        if (!step.inProgram)
            continue;
        SCOPED_TRACE(step.name);
        m_messages.clear();
        Choose(step.name);
        if (step.reported) {
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_NE(m_messages[0].find(step.reported), std::string::npos) << m_messages[0];
        } else {
            EXPECT_EQ(m_messages, std::vector<std::string>{});
            EXPECT_EQ(ResultPlane(), kInverted);
        }
        EXPECT_EQ(Planes(), planes);
        // Still answering: the next step runs and its result is shown.
        Choose("反色");
        EXPECT_EQ(ResultPlane(), kInverted);
    }
}

// Killed while idle, a host's seal ends with it, or is still there a moment after: held
// stopped here, so that only the host's end of its socket tells.
TEST_F(HostileStepTest, AHostThatDiedWhileIdleIsNotUsed) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    for (const bool sealHeld : {false, true}) {
        SCOPED_TRACE(sealHeld ? "its seal held" : "its seal ending");
        std::vector<pid_t> hosts;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                Idle();
                hosts = StepHostsOf(getpid());
                return !hosts.empty();
            },
            10000));
        const std::vector<CProcessInfo> started = DescendantsOf(getpid());
        for (pid_t host : hosts) {
            const auto process = std::ranges::find(started, host, &CProcessInfo::pid);
            if (sealHeld && process != started.end())
                kill(process->parent, SIGSTOP);
            kill(host, SIGKILL);
        }
        // Gone, or a zombie that its stopped seal does not reap.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return std::ranges::none_of(hosts, [](pid_t host) {
                    return ReadProcFile("/proc/" + std::to_string(host) + "/stat")
                               .value_or(") Z ")
                               .find(") Z ") == std::string::npos;
                });
            },
            10000));
        m_messages.clear();
        Choose("反色");
        EXPECT_EQ(m_messages, std::vector<std::string>{});
        EXPECT_EQ(ResultPlane(), kInverted);
    }
}

TEST_F(HostileStepTest, AHostStartedForAnotherImageOfTheSameSizeIsNotUsed) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    m_view->UpdateInstalledSteps();
    // Three images of one size, each of one gray level; the list's next one is read ahead.
    for (const BYTE level : {10, 20, 30})
        Write("g" + std::to_string(level) + ".bmp", MakeBitmap(3, 2, 24, Bytes(18, level)));
    WriteText("grays.lst", "3 " + m_dirSystemPath + " g10.bmp g20.bmp g30.bmp");
    Open("grays.lst");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            Idle();
            return !StepHostsOf(getpid()).empty();
        },
        10000));
    m_view->FinishReadAhead();
    Key(Qt::Key_PageDown);
    Idle();
    Choose("反色");
    EXPECT_EQ(ResultPlane(), Bytes(6, 255 - 20));
}

// With user namespaces used up, as where a system turns them off: the program says so once,
// naming the cause, and runs the step as before. This test runs itself again in such a place.
TEST_F(HostileStepTest, WhereNothingCanBeSealedTheProgramAndTheRunnerSaySoOnce) {
    constexpr char kInside[] = "VEXLAN_TEST_NO_USER_NAMESPACES";
    const QString noNamespaces = "echo 0 > /proc/sys/user/max_user_namespaces && exec \"$@\"";
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    if (!std::getenv(kInside)) {
        QProcess inside;
        inside.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kInside, "1");
        inside.setProcessEnvironment(environment);
        inside.start("unshare", {"-Ur", "sh", "-c", noNamespaces, "sh",
                                 QString::fromStdString(fs::read_symlink("/proc/self/exe")),
                                 "--gtest_filter=*WhereNothingCanBeSealed*"});
        ASSERT_TRUE(inside.waitForFinished(120000));
        EXPECT_EQ(inside.exitCode(), 0) << inside.readAll().toStdString();

        QProcess runner;
        runner.start("unshare",
                     {"-Ur", "sh", "-c", noNamespaces, "sh", QString::fromStdString(BatchProgram()),
                      "-o", m_dir.filePath("out"), "invert",
                      QString::fromStdString(HostPath("cat.bmp"))});
        ASSERT_TRUE(runner.waitForFinished(60000));
        EXPECT_EQ(runner.exitCode(), kBatchAllSaved);
        const std::string said = runner.readAllStandardError().toStdString();
        EXPECT_NE(said.find("无法把步骤隔离开：用户命名空间的数量已到上限"), std::string::npos)
            << said;
        EXPECT_EQ(ReadBack("out/outcat.raw").size(), 8u + 6);
        return;
    }
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    for (int run = 0; run < 2; ++run) {
        Choose("反色");
        EXPECT_EQ(ResultPlane(), kInverted);
    }
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("无法把步骤隔离开：用户命名空间的数量已到上限（sysctl "
                                 "user.max_user_namespaces"),
              std::string::npos)
        << m_messages[0];
}

} // namespace
