// Steps installed as files, end to end: vexlan-step builds one into a step folder, the
// program lists and runs it in a process of its own, File Save and vexlan-batch write the
// same bytes; a faulty step is reported and leaves the program, the image and the result
// alone; refused folders and versions; a rebuilt step redraws its result.
#include "batchcapture.h"
#include "imagesetfixture.h"
#include "installedsteps.h"
#include "stepprocess.h"

#include <vexlan/step.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The guide's example: each pixel's gray level, inverted.
constexpr char kInvert[] = R"(#include <vexlan/step.h>
VEXLAN_STEP(invert, "反色", "把每个像素的灰度反过来") {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image->result[y * image->width + x] = 255 - vexlan_gray_at(image, x, y);
}
)";

std::string StepWithBody(const std::string& name, const std::string& body) {
    return "#include <vexlan/step.h>\n#include <stdexcept>\n#include <cstdlib>\nVEXLAN_STEP(" +
           name + ", \"" + name + "\", \"试验\") {\n" + body + "\n}\n";
}

class InstalledStepTest : public ImageSetTest, protected BatchCapture {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_data.path().toLocal8Bit().constData(), 1);
        ImageSetTest::SetUp();
        WriteColors();
    }
    // Black, white, red; blue, green, gray 128, as blue, green, red bytes.
    void WriteColors() {
        Write("cat.bmp", MakeBitmap(3, 2, 24,
                                    Bytes{0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 0, 255, 0,
                                          128, 128, 128}));
    }
    std::string StepFolder() const { return UserStepFolder(); }

    // vexlan-step build on source saved as name.cpp; its exit status, its output in m_built.
    int BuildStep(const std::string& name, const std::string& source) {
        const std::string file =
            m_sources.filePath(QString::fromStdString(name + ".cpp")).toStdString();
        std::ofstream(file) << source;
        QProcess build;
        build.setProcessChannelMode(QProcess::MergedChannels);
        build.start(QString::fromStdString(
                        (fs::path(StepHostProgram()).parent_path() / "vexlan-step").string()),
                    {"build", QString::fromStdString(file)});
        build.waitForFinished(120000);
        m_built = build.readAll().toStdString();
        return build.exitStatus() == QProcess::NormalExit ? build.exitCode() : -1;
    }

    QAction* MenuItem(const std::string& text) const {
        auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(theApp.m_pMainWnd));
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->text().toStdString() == text)
                    return action;
        return nullptr;
    }
    // Chooses the menu item and waits for the step's process to end.
    void Choose(const std::string& text) {
        QAction* item = MenuItem(text);
        ASSERT_NE(item, nullptr) << text;
        item->trigger();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsStepRunning(); }, 20000));
    }
    Bytes ResultPlane() const {
        const BYTE* plane = m_view->m_pResultImage.get();
        return plane ? Bytes(plane, plane + 6) : Bytes{};
    }

    QTemporaryDir m_data;
    QTemporaryDir m_sources;
    std::string m_built;
};

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
        EXPECT_NE(message.find("gdb --args vexlan-batch --in-process " + std::string(fault.name)),
                  std::string::npos)
            << message;
        EXPECT_EQ(ResultPlane(), before);
        EXPECT_EQ(m_view->m_bShowResult, 1);

        // The runner reports each image and goes on with the next.
        EXPECT_EQ(Batch({fault.name, HostPath("cat.bmp"), HostPath("cat.bmp")}), kBatchSomeFailed);
        EXPECT_NE(m_err.find("[2/2] 步骤 " + std::string(fault.name)), std::string::npos) << m_err;
        EXPECT_NE(m_err.find(fault.reported), std::string::npos) << m_err;
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
    Key(Qt::Key_Escape);
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
    ASSERT_EQ(BuildStep("newer", withVersion("newer", 2)), 0) << m_built;
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
        "invert2.so：已经有名为 invert 的步骤", "第 2 版编译的，本程序需要第 1 版",
        "第 0 版编译的，本程序需要第 1 版", "segment.so：已经有名为 segment 的步骤",
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

TEST(StepHeader, GrayLevelAndClampedNeighbourhood) {
    // A 2 x 2 image: black, white; red, blue.
    const unsigned char color[] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0};
    const vexlan_image image{2, 2, nullptr, color, nullptr};
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
