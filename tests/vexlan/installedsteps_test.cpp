// Steps installed as files, end to end: vexlan-step builds one into a step folder, the
// program lists and runs it in a process of its own, File Save and vexlan-batch write the
// same bytes; a faulty step is reported and leaves the program, the image and the result
// alone; refused folders and versions; a rebuilt step redraws its result.
#include "installedstepfixture.h"
#include "processes.h"
#include "stepprocess.h"

#include <vexlan/step.h>

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QProcess>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

bool MapsPlanes(pid_t host) {
    return ReadProcFile("/proc/" + std::to_string(host) + "/maps")
               .value_or("")
               .find("vexlan-plane") != std::string::npos;
}

// Children of this process that ended and were never reaped.
int ZombieChildren() {
    int zombies = 0;
    for (const CProcessInfo& process : Processes())
        zombies += process.state == 'Z' && process.parent == getpid() ? 1 : 0;
    return zombies;
}

TEST_F(InstalledStepTest, BuiltStepIsListedRunSavedAndBatchedWithTheSameBytes) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    EXPECT_NE(m_built.find(StepFolder() + "/invert.so"), std::string::npos) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    Choose("反色");
    EXPECT_EQ(ResultPlane(), (Bytes{255, 0, 255 - 76, 255 - 28, 255 - 149, 255 - 128}));
    m_view->OnFileSave();
    const Bytes saved = ReadBack("outcat.raw");
    ASSERT_EQ(saved.size(), 8u + 6);
    auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
    EXPECT_EQ(dynamic_cast<CStatusBar*>(frame->GetControlBar(AFX_IDW_STATUS_BAR))->GetPaneText(0),
              "已保存 D:\\outcat.raw (" + HostPath("outcat.raw") + ")");

    ASSERT_EQ(Batch({"--list"}), kBatchAllSaved) << m_err;
    EXPECT_NE(m_out.find("segment\n"), std::string::npos);
    EXPECT_NE(m_out.find("invert\t反色\t"), std::string::npos) << m_out;
    const QTemporaryDir results;
    ASSERT_EQ(Batch({"-o", results.path().toStdString(), "invert", HostPath("cat.bmp")}),
              kBatchAllSaved)
        << m_err;
    EXPECT_EQ(ReadFile(results.filePath("outcat.raw").toStdString()), saved);
}

TEST_F(InstalledStepTest, CompilerErrorsAreShownWithTheCompilersStatus) {
    EXPECT_NE(BuildStep("broken", "#include <vexlan/step.h>\nint main( {"), 0);
    EXPECT_NE(m_built.find("broken.cpp:2"), std::string::npos) << m_built;
    EXPECT_NE(m_built.find("退出状态"), std::string::npos) << m_built;
    EXPECT_FALSE(fs::exists(StepFolder() + "/broken.so"));
}

struct FaultCase {
    const char* name;
    const char* body;
    const char* reported;
};

const FaultCase kFaults[] = {
    {"nullwrite", "*(volatile unsigned char*)nullptr = 1;", "SIGSEGV"},
    {"pastplane", "for (long i = 0;; i += 4096) image->result[i] = 1;", "SIGSEGV"},
    {"intoinput", "((unsigned char*)image->color)[0] = 1;", "SIGSEGV"},
    {"aborts", "std::abort();", "SIGABRT"},
    {"throws", "throw std::runtime_error(\"坏了\");", "未捕获的异常：坏了"},
    {"throwsint", "throw 42;", "未捕获的异常：一个 int 类型的值"},
    {"divides", "volatile int zero = 0; image->result[0] = (unsigned char)(image->width / zero);",
     "SIGFPE"},
};

TEST_F(InstalledStepTest, FaultsAreReportedAndTheImageAndResultBeforeStay) {
    for (const FaultCase& fault : kFaults)
        ASSERT_EQ(BuildStep(fault.name, StepWithBody(fault.name, fault.body)), 0) << m_built;
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    Choose("反色");
    const Bytes before = ResultPlane();
    for (const FaultCase& fault : kFaults) {
        SCOPED_TRACE(fault.name);
        m_messages.clear();
        Choose(fault.name);
        ASSERT_EQ(m_messages.size(), 1u);
        const std::string& message = m_messages[0];
        EXPECT_NE(message.find("步骤 " + std::string(fault.name)), std::string::npos) << message;
        EXPECT_NE(message.find(fault.reported), std::string::npos) << message;
        EXPECT_NE(message.find("图像和之前的结果保持不变"), std::string::npos) << message;
        EXPECT_NE(message.find("gdb --args " + BatchProgram() + " --in-process " + fault.name),
                  std::string::npos)
            << message;
        EXPECT_EQ(ResultPlane(), before);
        EXPECT_EQ(m_view->m_bShowResult, 1);

        // The runner reports each image and goes on with the next.
        EXPECT_EQ(Batch({fault.name, HostPath("cat.bmp"), HostPath("cat.bmp")}), kBatchSomeFailed);
        EXPECT_NE(m_err.find("[2/2] 步骤 " + std::string(fault.name)), std::string::npos) << m_err;
        EXPECT_NE(m_err.find(fault.reported), std::string::npos) << m_err;
        EXPECT_NE(m_err.find("没有为这个图像写出任何文件"), std::string::npos) << m_err;
    }
}

TEST_F(InstalledStepTest, EndlessStepIsEndedByEscapeAndByTheTimeout) {
    ASSERT_EQ(BuildStep("endless", StepWithBody("endless", "for (volatile int i = 0;; i = 0) {}")),
              0)
        << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    MenuItem("endless")->trigger();
    QTest::qWait(200);
    ASSERT_TRUE(m_view->IsStepRunning());
    auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
    auto* statusBar = dynamic_cast<CStatusBar*>(frame->GetControlBar(AFX_IDW_STATUS_BAR));
    ASSERT_NE(statusBar, nullptr);
    EXPECT_NE(statusBar->GetPaneText(0).find("正在运行步骤“endless”"), std::string::npos);
    // Esc belongs to the whole window while the step runs, wherever the focus is.
    Idle();
    QApplication::setActiveWindow(AfxGetWidget(theApp.m_pMainWnd));
    QTest::keyClick(AfxGetWidget(theApp.m_pMainWnd), Qt::Key_Escape);
    EXPECT_FALSE(m_view->IsStepRunning());
    EXPECT_EQ(statusBar->GetPaneText(0), "步骤 endless 已结束，没有结果");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_view->m_pOutputImage, nullptr);

    MenuItem("endless")->trigger();
    Key(Qt::Key_PageDown); // a single file: nothing to step to, the step runs on
    EXPECT_TRUE(m_view->IsStepRunning());
    Open("cat.bmp");
    EXPECT_FALSE(m_view->IsStepRunning());

    EXPECT_EQ(Batch({"--timeout", "0.3", "endless", HostPath("cat.bmp")}), kBatchSomeFailed);
    EXPECT_NE(m_err.find("超时"), std::string::npos) << m_err;
}

// Each run's process and descriptors are gone when it ends, however it ends: a long run with
// few descriptors saves every image, and timed-out steps leave no zombie behind.
TEST_F(InstalledStepTest, RunsLeaveNoProcessOrDescriptorBehind) {
    ASSERT_EQ(BuildStep("endless", StepWithBody("endless", "for (volatile int i = 0;; i = 0) {}")),
              0)
        << m_built;
    ASSERT_EQ(BuildStep("slow", "#include <unistd.h>\n" + StepWithBody("slow", "usleep(300000);")),
              0)
        << m_built;
    ASSERT_EQ(BuildStep("quick", StepWithBody("quick", "")), 0) << m_built;
    const QTemporaryDir results;
    EXPECT_EQ(
        Batch({"--timeout", "2", "-o", results.path().toStdString(), "slow", HostPath("cat.bmp")}),
        kBatchAllSaved)
        << m_err;

    std::vector<std::string> args{"--timeout", "0.05", "-o", results.path().toStdString(),
                                  "endless"};
    std::string list = "40\n" + m_dir.path().toStdString() + "\n";
    for (int i = 0; i < 40; ++i) {
        const std::string name = "c" + std::to_string(i) + ".bmp";
        std::filesystem::copy_file(HostPath("cat.bmp"), HostPath(name));
        list += name + "\n";
        if (i < 30)
            args.push_back(HostPath(name));
    }
    EXPECT_EQ(Batch(args), kBatchSomeFailed);
    EXPECT_EQ(ZombieChildren(), 0);

    WriteText("forty.lst", list);
    QProcess runner;
    runner.setChildProcessModifier([] {
        const rlimit few{32, 32};
        setrlimit(RLIMIT_NOFILE, &few);
    });
    runner.start(QString::fromStdString(BatchProgram()),
                 {"-o", results.path(), "quick", QString::fromStdString(HostPath("forty.lst"))});
    ASSERT_TRUE(runner.waitForFinished(60000));
    EXPECT_EQ(runner.exitCode(), kBatchAllSaved) << runner.readAllStandardError().toStdString();
}

// Each gray pixel of the image names the access: 0 copies the red channel, reading and writing
// the last byte of every plane; 1 to 12 go one byte past an end of a plane (plane * 4 +
// end * 2 + write + 1; planes gray, colour, result; ends before and after).
constexpr char kEdges[] = R"(#include <vexlan/step.h>
VEXLAN_STEP(edges, "edges", "试验") {
    const long pixels = (long)image->width * image->height;
    const int code = image->gray[0];
    if (code == 0) {
        for (long i = 0; i < pixels; ++i)
            image->result[i] = (unsigned char)(image->color[3 * i + 2] + image->gray[pixels - 1]);
        return;
    }
    unsigned char* planes[] = {(unsigned char*)image->gray, (unsigned char*)image->color,
                               image->result};
    const long sizes[] = {pixels, 3 * pixels, pixels};
    const int plane = (code - 1) / 4, after = (code - 1) / 2 % 2, write = (code - 1) % 2;
    volatile unsigned char* at = planes[plane] + (after ? sizes[plane] : -1);
    if (write)
        *at = 1;
    else
        image->result[0] = *at;
}
)";

TEST_F(InstalledStepTest, OneBytePastEitherEndOfAnyPlaneIsACrashOfTheStep) {
    ASSERT_EQ(BuildStep("edges", kEdges), 0) << m_built;
    m_view->UpdateInstalledSteps();
    constexpr int kWrite = 1, kAfter = 2;
    struct Case {
        int width, height, code;
        const char* reported;
    };
    std::vector<Case> cases;
    // 64 x 64: every plane fills whole pages, so both ends meet an inaccessible page.
    for (int code = 1; code <= 12; ++code)
        cases.push_back({64, 64, code, "SIGSEGV"});
    // 3 x 2: a plane's end still meets one; before its start, a write is seen afterwards.
    for (int plane = 0; plane < 3; ++plane) {
        cases.push_back({3, 2, plane * 4 + kAfter + 1, "SIGSEGV"});
        cases.push_back({3, 2, plane * 4 + kAfter + kWrite + 1, "SIGSEGV"});
        cases.push_back({3, 2, plane * 4 + kWrite + 1, plane == 2 ? "越界写入" : "SIGSEGV"});
    }
    std::vector<std::string> files;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.code) + ".bmp";
        const auto pixels = static_cast<std::size_t>(c.width * c.height);
        Write(name, MakeBitmap(c.width, c.height, 8, Bytes(pixels, static_cast<BYTE>(c.code))));
        files.push_back(HostPath(name));
        SCOPED_TRACE(name);
        Open(name);
        m_messages.clear();
        Choose("edges");
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_NE(m_messages[0].find(c.reported), std::string::npos) << m_messages[0];
    }
    EXPECT_EQ(Batch([&] {
                  std::vector<std::string> args{"-o", m_sources.path().toStdString(), "edges"};
                  args.insert(args.end(), files.begin(), files.end());
                  return args;
              }()),
              kBatchSomeFailed);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string line = "[" + std::to_string(i + 1) + "/" + std::to_string(cases.size()) +
                                 "] 步骤 edges 处理 " + files[i] + " 时出错：";
        const std::size_t at = m_err.find(line);
        ASSERT_NE(at, std::string::npos) << line << "\n" << m_err;
        EXPECT_LT(m_err.find(cases[i].reported, at), m_err.find('\n', at)) << m_err.substr(at, 200);
    }

    // Reading and writing up to the last byte of each plane is no fault, on a colour image
    // large enough that a plane mapped short would be seen.
    Bytes colors(3 * 1000 * 1000);
    for (std::size_t i = 0; i < colors.size(); ++i)
        colors[i] = static_cast<BYTE>(i * 7 / 3);
    Write("large.bmp", MakeBitmap(1000, 1000, 24, colors));
    Open("large.bmp");
    m_messages.clear();
    Choose("edges");
    ASSERT_TRUE(m_messages.empty()) << m_messages[0];
    const BYTE* result = m_view->m_pResultImage.get();
    ASSERT_NE(result, nullptr);
    for (std::size_t pixel : {std::size_t{0}, std::size_t{999'999}})
        EXPECT_EQ(result[pixel], colors[3 * pixel + 2]) << pixel;
}

// A step that never returns, as a terminal's Ctrl+C and a kill reach it: the runner ends at
// once, writes nothing for that image, and leaves no process behind. Ctrl+C reaches the
// runner, which ends the step's sealed process (a session of its own) at once; a signal sent
// to the step's own process ends the step.
TEST_F(InstalledStepTest, AStopSignalEndsTheRunnerAndItsStepAtOnce) {
    ASSERT_EQ(BuildStep("endless", StepWithBody("endless", "for (volatile int i = 0;; i = 0) {}")),
              0)
        << m_built;
    const QTemporaryDir results;
    enum class Target { Group, Runner, Host }; // Ctrl+C in a terminal signals the whole group
    struct Case {
        int signal;
        Target target;
        int status;
        const char* said;
    };
    for (const Case& c : {Case{SIGINT, Target::Group, 130, "处理完 0/1 个图像后停止"},
                          Case{SIGTERM, Target::Runner, 143, "处理完 0/1 个图像后停止"},
                          Case{SIGTERM, Target::Host, kBatchSomeFailed, "被信号 15（TERM）结束"}}) {
        SCOPED_TRACE(c.said);
        QProcess runner;
        runner.setChildProcessModifier([] { setpgid(0, 0); });
        runner.start(
            QString::fromStdString(BatchProgram()),
            {"-o", results.path(), "endless", QString::fromStdString(HostPath("cat.bmp"))});
        ASSERT_TRUE(runner.waitForStarted());
        const auto pid = static_cast<pid_t>(runner.processId());
        // The host that reads the step's entry comes first; the one that runs it maps planes.
        std::vector<pid_t> hosts;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                hosts = StepHostsOf(pid);
                std::erase_if(hosts, [](pid_t host) { return !MapsPlanes(host); });
                return !hosts.empty();
            },
            10000));
        QTest::qWait(200); // the step is in its loop
        QElapsedTimer stopping;
        stopping.start();
        kill(c.target == Target::Group    ? -pid
             : c.target == Target::Runner ? pid
                                          : hosts[0],
             c.signal);
        ASSERT_TRUE(runner.waitForFinished(1000));
        EXPECT_LT(stopping.elapsed(), 1000);
        EXPECT_EQ(runner.exitCode(), c.status);
        const std::string said = runner.readAllStandardError().toStdString();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_TRUE(QDir(results.path()).isEmpty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return StepHostsOf(pid).empty(); }, 1000));
    }
}

// Run in the runner's own process (--in-process), a step that never returns is ended by the
// runner's own handling of the stop signals: at once, with its line and status.
TEST_F(InstalledStepTest, AStopSignalEndsAStepRunInTheRunnersOwnProcess) {
    ASSERT_EQ(BuildStep("endless", StepWithBody("endless", "for (volatile int i = 0;; i = 0) {}")),
              0)
        << m_built;
    const QTemporaryDir results;
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        QProcess runner;
        runner.start(QString::fromStdString(BatchProgram()),
                     {"--in-process", "-o", results.path(), "endless",
                      QString::fromStdString(HostPath("cat.bmp"))});
        ASSERT_TRUE(runner.waitForStarted());
        const auto pid = static_cast<pid_t>(runner.processId());
        // The step's library is loaded into the runner when its run begins.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return ReadProcFile("/proc/" + std::to_string(pid) + "/maps")
                           .value_or("")
                           .find("endless.so") != std::string::npos;
            },
            10000));
        QTest::qWait(200); // the step is in its loop
        QElapsedTimer stopping;
        stopping.start();
        kill(pid, signal);
        ASSERT_TRUE(runner.waitForFinished(2000));
        EXPECT_LT(stopping.elapsed(), 2000);
        EXPECT_EQ(runner.exitCode(), status);
        const std::string said = runner.readAllStandardError().toStdString();
        EXPECT_NE(said.find("vexlan-batch：收到 " +
                            std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") +
                            "，处理完 0/1 个图像后停止（保存 0 个）。"),
                  std::string::npos)
            << said;
        EXPECT_TRUE(QDir(results.path()).isEmpty());
    }
}

// File > Open Result ends a running step before it shows the file: the step's result would
// otherwise replace it when it ends.
TEST_F(InstalledStepTest, OpeningAResultEndsTheRunningStepFirst) {
    ASSERT_EQ(BuildStep("endless", StepWithBody("endless", "for (volatile int i = 0;; i = 0) {}")),
              0)
        << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    QAction* endless = MenuItem("endless");
    ASSERT_NE(endless, nullptr);
    endless->trigger();
    ASSERT_TRUE(m_view->IsStepRunning());
    Bytes saved{static_cast<BYTE>(m_view->m_nWidth),  0, 0, 0,
                static_cast<BYTE>(m_view->m_nHeight), 0, 0, 0};
    saved.resize(8 + static_cast<std::size_t>(m_view->m_nWidth * m_view->m_nHeight), 77);
    Write("outcat.raw", saved);
    OpenResult("outcat.raw");
    EXPECT_FALSE(m_view->IsStepRunning());
    ASSERT_TRUE(m_view->m_pResultImage);
    EXPECT_EQ(m_view->m_pResultImage[0], 77);
    EXPECT_EQ(m_view->m_bShowResult, 1);
}

// A step whose set-up never returns costs its reading the whole time limit: the main window
// shows at once all the same, and the message that names the step comes after it.
TEST_F(InstalledStepTest, TheWindowShowsAtOnceWhileAStepsEntryIsStillBeingRead) {
    ASSERT_EQ(BuildStep("loops", "static int Loop() { for (volatile int i = 0;; i = 0) {} }\n"
                                 "static int looping = Loop();\n" +
                                     StepWithBody("loops", "")),
              0)
        << m_built;
    theApp.ExitInstance();
    m_messages.clear();
    static char program[] = "vexlan";
    static char* argv[] = {program};
    theApp.InitApplication(1, argv);
    QElapsedTimer starting;
    starting.start();
    ASSERT_TRUE(theApp.InitInstance());
    EXPECT_LT(starting.elapsed(), 2000);
    EXPECT_TRUE(theApp.m_pMainWnd->IsWindowVisible());
    EXPECT_TRUE(m_messages.empty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_messages.empty(); }, 20000));
    EXPECT_NE(m_messages[0].find("loops.so：它在 5 秒内没有回应"), std::string::npos)
        << m_messages[0];
    m_view = static_cast<CVexlanView*>(static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveView());
}

// Idle time starts the next step's host, but never before the frame of a load is painted; the
// planes were decoded into shareable memory, so nothing is copied then either.
TEST_F(InstalledStepTest, TheHostIsStartedAheadOnlyOnceTheLoadIsPainted) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    m_view->UpdateInstalledSteps();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(AfxGetWidget(theApp.m_pMainWnd)));
    Load("cat.bmp");
    EXPECT_GE(AfxSharedBlockDescriptor(m_view->m_pGrayImage.get()), 0);
    EXPECT_GE(AfxSharedBlockDescriptor(m_view->m_pColorImage.get()), 0);
    ASSERT_TRUE(m_view->IsPaintPending());
    // The event loop is about to wait, with the repaint still to come.
    QAbstractEventDispatcher::instance()->aboutToBlock();
    // A host's seal is this process's child as soon as it is started.
    EXPECT_TRUE(std::ranges::all_of(
        DescendantsOf(getpid()), [](const CProcessInfo& process) { return process.state == 'Z'; }));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsPaintPending(); }, 10000));
    QAbstractEventDispatcher::instance()->aboutToBlock();
    EXPECT_TRUE(QTest::qWaitFor([] { return StepHostsOf(getpid()).size() == 1; }, 10000));
}

TEST_F(InstalledStepTest, StepFilesAreReadInProcessesOfTheirOwnUnderOneTimeLimit) {
    const std::string pidFile = m_sources.filePath("pid").toStdString();
    const std::string loops = "static int Loop() { for (volatile int i = 0;; i = 0) {} }\n"
                              "static int looping = Loop();\n";
    ASSERT_EQ(BuildStep("loops", loops + StepWithBody("loops", "")), 0) << m_built;
    ASSERT_EQ(BuildStep("loops2", loops + StepWithBody("loops2", "")), 0) << m_built;
    ASSERT_EQ(BuildStep("aborts", "#include <cstdlib>\nstatic int a = (std::abort(), 0);\n" +
                                      StepWithBody("aborts", "")),
              0)
        << m_built;
    ASSERT_EQ(BuildStep("quiet", "#include <fstream>\n#include <unistd.h>\nstatic bool written = "
                                 "bool(std::ofstream(\"" +
                                     pidFile + "\") << getpid());\n" +
                                     "#include <vexlan/step.h>\n"
                                     "VEXLAN_STEP(quiet, \"安静\", \"\") {}\n"),
              0)
        << m_built;

    QElapsedTimer reading;
    reading.start();
    const CInstalledSteps found = FindInstalledSteps({StepFolder()});
    EXPECT_LT(reading.elapsed(), 8000); // one limit of 5 s for both endless set-ups
    ASSERT_EQ(found.steps.size(), 1u);
    EXPECT_EQ(found.steps[0].prompt, ""); // an empty prompt is a prompt
    const std::string problems = [&] {
        std::string all;
        for (const std::string& problem : found.problems)
            all += problem + "\n";
        return all;
    }();
    EXPECT_EQ(found.problems.size(), 3u) << problems;
    EXPECT_NE(problems.find("无法读取步骤文件 " + StepFolder() + "/aborts.so：调用了 abort"),
              std::string::npos)
        << problems;
    EXPECT_NE(problems.find("loops.so：它在 5 秒内没有回应"), std::string::npos) << problems;
    EXPECT_NE(problems.find("loops2.so：它在 5 秒内没有回应"), std::string::npos) << problems;
    // The set-ups ran (aborts.so's was reported) in sealed processes of their own, where what
    // quiet.so's wrote went with its process.
    EXPECT_FALSE(fs::exists(pidFile));

    // A change of the folder reads only what changed.
    reading.restart();
    const CInstalledSteps again = FindInstalledSteps({StepFolder()}, &found);
    EXPECT_LT(reading.elapsed(), 2000);
    EXPECT_EQ(again.problems, found.problems);
    EXPECT_EQ(again.steps.size(), 1u);
}

TEST_F(InstalledStepTest, RefusedFoldersFilesAndVersionsAreNamed) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    const std::string invert = StepFolder() + "/invert.so";
    struct Case {
        std::string path;
        mode_t mode;
        uid_t owner;
        std::string why;
    };
    const std::string writable = " 中的步骤：其他用户可以写入它";
    std::vector<Case> untrusted{{invert, 0775, geteuid(), invert + writable},
                                {StepFolder(), 0777, geteuid(), StepFolder() + writable},
                                {StepFolder(), 0757, geteuid(), StepFolder() + writable}};
    if (geteuid() == 0) // only root can give a file away
        untrusted.push_back({invert, 0755, 65534, invert + " 中的步骤：它属于另一个用户"});
    for (const Case& refused : untrusted) {
        SCOPED_TRACE(refused.why);
        struct stat before {};
        ASSERT_EQ(stat(refused.path.c_str(), &before), 0);
        ASSERT_EQ(chown(refused.path.c_str(), refused.owner, static_cast<gid_t>(-1)), 0);
        chmod(refused.path.c_str(), refused.mode);
        const CInstalledSteps found = FindInstalledSteps({StepFolder()});
        ASSERT_EQ(chown(refused.path.c_str(), before.st_uid, before.st_gid), 0);
        chmod(refused.path.c_str(), before.st_mode & 07777);
        EXPECT_EQ(found.Find("invert"), nullptr);
        ASSERT_FALSE(found.problems.empty());
        EXPECT_NE(found.problems[0].find(refused.why), std::string::npos) << found.problems[0];
    }

    // Each refused file is named, in the order of the file names; a hidden one is passed over.
    const auto withVersion = [](const char* name, int version) {
        return "#include <vexlan/step.h>\n#undef VEXLAN_STEP_API_VERSION\n"
               "#define VEXLAN_STEP_API_VERSION " +
               std::to_string(version) + "\n" + StepWithBody(name, "");
    };
    ASSERT_EQ(BuildStep("old", withVersion("old", 0)), 0) << m_built;
    ASSERT_EQ(BuildStep("newer", withVersion("newer", 3)), 0) << m_built;
    ASSERT_EQ(BuildStep("segment", StepWithBody("segment", "")), 0) << m_built;
    // Bound lazily, the missing function would only fail once the step ran.
    ASSERT_EQ(BuildStep("unbound", "extern \"C\" void vexlan_nowhere();\n" +
                                       StepWithBody("unbound", "vexlan_nowhere();")),
              0)
        << m_built;
    for (const char* copy : {"/.hidden.so", "/invert2.so"})
        fs::copy_file(invert, StepFolder() + copy);
    const CInstalledSteps found = FindInstalledSteps({StepFolder()});
    ASSERT_EQ(found.steps.size(), 1u);
    EXPECT_EQ(found.steps[0].path, invert);
    const std::vector<std::string> problems{
        "invert2.so：已经有名为 invert 的步骤", "第 3 版编译的，本程序认识第 1 到 2 版",
        "第 0 版编译的，本程序认识第 1 到 2 版", "segment.so：已经有名为 segment 的步骤",
        "undefined symbol: vexlan_nowhere"};
    ASSERT_EQ(found.problems.size(), problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i)
        EXPECT_NE(found.problems[i].find(problems[i]), std::string::npos) << found.problems[i];
}

TEST_F(InstalledStepTest, RebuildingTheShownStepRedrawsItsResult) {
    ASSERT_EQ(BuildStep("level", StepWithBody("level", "image->result[0] = 10;")), 0) << m_built;
    ASSERT_TRUE(QTest::qWaitFor([this] { return MenuItem("level") != nullptr; }, 10000));
    Open("cat.bmp");
    Choose("level");
    EXPECT_EQ(ResultPlane()[0], 10);
    // A step process may have the old file mapped: the rebuild puts a new file in its place
    // and never writes into the old one.
    const std::string path = StepFolder() + "/level.so";
    const int held = open(path.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(BuildStep("level", StepWithBody("level", "image->result[0] = 20;")), 0) << m_built;
    struct stat oldFile {};
    struct stat newFile {};
    ASSERT_EQ(fstat(held, &oldFile), 0);
    ASSERT_EQ(stat(path.c_str(), &newFile), 0);
    EXPECT_NE(newFile.st_ino, oldFile.st_ino);
    close(held);
    EXPECT_TRUE(QTest::qWaitFor([this] { return ResultPlane()[0] == 20; }, 10000));
    m_view->OnFileSave();
    EXPECT_EQ(ReadBack("outcat.raw").at(8), 20);

    fs::remove(StepFolder() + "/level.so");
    EXPECT_TRUE(QTest::qWaitFor([this] { return MenuItem("level") == nullptr; }, 10000));
}

// Gray levels of cat.bmp: 0, 255, 76; 28, 149, 128. compare decides a pixel at the threshold.
std::string ThresholdStep(const std::string& name, const std::string& compare,
                          const std::string& after = "") {
    return "#include <vexlan/step.h>\n#include <stdio.h>\n#include <unistd.h>\n"
           "VEXLAN_PARAM(threshold, \"阈值\", 0, 255, 128);\n"
           "VEXLAN_STEP(" +
           name + ", \"" + name +
           "\", \"\") {\n"
           "    const int t = vexlan_int_param(image, threshold);\n"
           "    for (int i = 0; i < image->width * image->height; ++i)\n"
           "        image->result[i] = vexlan_gray_at(image, i % image->width, i / image->width) " +
           compare + " t ? 255 : 0;\n" + after + "}\n";
}

TEST_F(InstalledStepTest, NewWritesAWorkingStepWithOneParameter) {
    QProcess tool;
    tool.setWorkingDirectory(m_sources.path());
    tool.start(
        QString::fromStdString(
            (std::filesystem::path(StepHostProgram()).parent_path() / "vexlan-step").string()),
        {"new", "gate"});
    ASSERT_TRUE(tool.waitForFinished(20000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    std::ifstream written(m_sources.filePath("gate.cpp").toStdString());
    ASSERT_EQ(BuildStep("gate", std::string(std::istreambuf_iterator<char>(written), {})), 0)
        << m_built;
    const CInstalledSteps found = FindInstalledSteps({StepFolder()});
    ASSERT_EQ(found.steps.size(), 1u);
    EXPECT_EQ(found.steps[0].parameters,
              (std::vector<CStepParameter>{{"threshold", "阈值", true, 0, 255, 128}}));
    // The 3 x 3 mean against the threshold: around cat.bmp's first pixel, 715 / 9.
    EXPECT_EQ(Batched({"--set", "threshold=79", "gate"})[0], 255);
    EXPECT_EQ(Batched({"--set", "threshold=80", "gate"})[0], 0);
}

TEST_F(InstalledStepTest, ValuesAreTurnedInThePanelKeptAndNamedInTheStatusBar) {
    ASSERT_EQ(BuildStep("thresh", ThresholdStep("thresh", ">=")), 0) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    Choose("thresh");
    EXPECT_EQ(ResultPlane(), (Bytes{0, 255, 0, 0, 255, 255}));
    ASSERT_EQ(ParameterBoxes().size(), 1u);
    EXPECT_EQ(ParameterBoxes()[0]->value(), 128);
    EXPECT_EQ(MessagePane(), "thresh（阈值 128）");

    SetInPanel(76);
    EXPECT_EQ(ResultPlane(), (Bytes{0, 255, 255, 0, 255, 255}));
    EXPECT_EQ(ResultPlane(), Batched({"--set", "threshold=76", "thresh"}));
    EXPECT_EQ(MessagePane(), "thresh（阈值 76）");
    Idle(); // the settings file is written while the program is idle
    EXPECT_EQ(theApp.GetProfileString("StepParameters/thresh", "threshold", ""), "76");
    m_view->OnFileSave();
    const Bytes saved = ReadBack("outcat.raw");
    EXPECT_EQ(Bytes(saved.begin() + 8, saved.end()), ResultPlane());

    // Rebuilt, the step runs again with the value kept; chosen again, it starts from it.
    ASSERT_EQ(BuildStep("thresh", ThresholdStep("thresh", ">")), 0) << m_built;
    EXPECT_TRUE(QTest::qWaitFor([this] { return ResultPlane()[2] == 0; }, 10000));
    EXPECT_EQ(ResultPlane(), (Bytes{0, 255, 0, 0, 255, 255}));
    EXPECT_EQ(ParameterBoxes()[0]->value(), 76);
    Choose("thresh");
    EXPECT_EQ(MessagePane(), "thresh（阈值 76）");

    // A result of a step without parameters, or none, hides the panel.
    m_view->OnColorSegmentation();
    EXPECT_TRUE(ParameterBoxes().empty());
    EXPECT_EQ(MessagePane(), "就绪");
    EXPECT_TRUE(m_messages.empty()) << m_messages[0];
}

// What this process, and the steps' processes it starts, write to standard error while it
// lives: a sealed step can write nowhere else the test could read.
class CapturedStandardError {
public:
    CapturedStandardError() : m_file(std::tmpfile()), m_saved(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        dup2(fileno(m_file), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        std::fclose(m_file);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

    // The lines written so far that begin with prefix, each with its line end.
    std::string LinesBeginningWith(const std::string& prefix) const {
        std::string text(static_cast<std::size_t>(lseek(fileno(m_file), 0, SEEK_END)), '\0');
        text.resize(static_cast<std::size_t>(
            std::max<ssize_t>(pread(fileno(m_file), text.data(), text.size(), 0), 0)));
        std::istringstream lines(text);
        std::string found;
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with(prefix))
                found += line + "\n";
        return found;
    }

private:
    std::FILE* m_file;
    int m_saved;
};

// Each value runs the step again at once: a run that a newer value makes stale is ended, never
// finished and shown after; Esc ends the newest, and the panel shows the values of what is shown.
TEST_F(InstalledStepTest, ANewValueEndsTheRunOfTheValueBefore) {
    const CapturedStandardError printed;
    ASSERT_EQ(BuildStep("slow", ThresholdStep("slow", ">=",
                                              "    usleep(400000);\n"
                                              "    fprintf(stderr, \"finished %d\\n\", t);\n"
                                              "    fflush(stderr);\n")),
              0)
        << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    Choose("slow");
    for (const double value : {10, 20, 30}) {
        ParameterBoxes().front()->setValue(value);
        QApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsStepRunning(); }, 20000));
    EXPECT_EQ(printed.LinesBeginningWith("finished "), "finished 128\nfinished 30\n");
    EXPECT_EQ(ResultPlane(), (Bytes{0, 255, 255, 0, 255, 255}));

    ParameterBoxes().front()->setValue(200);
    QApplication::processEvents();
    ASSERT_TRUE(m_view->IsStepRunning());
    m_view->EndRunningStep();
    EXPECT_EQ(ParameterBoxes().front()->value(), 30);
    EXPECT_EQ(MessagePane(), "步骤 slow 已结束，没有结果");
    Idle();
    EXPECT_EQ(theApp.GetProfileString("StepParameters/slow", "threshold", ""), "30");
}

// 颜色 > 在结果上继续: the next step takes the result shown as its image, as in a chain of the
// runner; turning a value runs the last step again on the same result; the result is saved
// under a name of the user's choice, as RAW or as PNG.
TEST_F(InstalledStepTest, AChainInTheWindowEqualsTheRunnersAndIsSavedUnderAChosenName) {
    ASSERT_EQ(BuildStep("invert", kInvert), 0) << m_built;
    ASSERT_EQ(BuildStep("cut", ThresholdStep("cut", ">=")), 0) << m_built;
    m_view->UpdateInstalledSteps();
    Open("cat.bmp");
    Choose("反色");
    MenuItem("在结果上继续(&C)")->trigger();
    Choose("cut");
    EXPECT_EQ(ResultPlane(), Batched({"invert,cut"}));
    EXPECT_EQ(MessagePane(), "invert → cut（阈值 128）");
    SetInPanel(150);
    EXPECT_EQ(ResultPlane(), Batched({"--set", "threshold=150", "invert,cut"}));
    EXPECT_NE(ResultPlane(), Batched({"--set", "threshold=150", "cut"}));
    EXPECT_EQ(MessagePane(), "invert → cut（阈值 150）");

    const DialogSeen seen =
        AnswerFileDialog(HostPath("chosen.raw"), [this] { m_view->OnFileSaveResultAs(); });
    EXPECT_EQ(seen.filters, (QStringList{"(*.raw) (*.raw)", "(*.png) (*.png)"}));
    const Bytes raw = ReadBack("chosen.raw");
    ASSERT_EQ(raw.size(), 8u + 6);
    EXPECT_EQ(Bytes(raw.begin() + 8, raw.end()), ResultPlane());
    EXPECT_EQ(MessagePane(), "已保存 " + HostPath("chosen.raw"));
    AnswerFileDialog(HostPath("chosen.PNG"), [this] { m_view->OnFileSaveResultAs(); });
    const QImage png(QString::fromStdString(HostPath("chosen.PNG")));
    ASSERT_EQ(png.format(), QImage::Format_Grayscale8);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(qGray(png.pixel(i % 3, i / 3)), ResultPlane()[static_cast<std::size_t>(i)]) << i;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(HostPath("outcat.raw"))));
}

TEST(StepHeader, GrayLevelAndClampedNeighbourhood) {
    // A 2 x 2 image: black, white; red, blue.
    const unsigned char color[] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0};
    const vexlan_image image{2, 2, nullptr, color, nullptr, nullptr, 0};
    EXPECT_EQ(vexlan_gray_at(&image, 1, 0), 255);
    EXPECT_EQ(vexlan_gray_at(&image, 0, 1), 76);
    EXPECT_EQ(vexlan_gray_at(&image, 1, 1), 28);
    struct Case {
        int x, y, n;
        std::vector<int> expected;
    };
    for (const Case& c : {Case{0, 0, 1, {0}}, Case{0, 0, 3, {0, 0, 255, 0, 0, 255, 76, 76, 28}},
                          Case{1, 1, 3, {0, 255, 255, 76, 28, 28, 76, 28, 28}}}) {
        std::vector<int> around(static_cast<std::size_t>(c.n * c.n));
        vexlan_neighbourhood(&image, c.x, c.y, c.n, around.data());
        EXPECT_EQ(around, c.expected) << c.x << "," << c.y << " n=" << c.n;
    }
}

} // namespace
