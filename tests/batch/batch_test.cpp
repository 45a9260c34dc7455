// vexlan-batch end to end: the same images through the GUI's File Open, segmentation and
// File Save and through the batch runner give the same RAW bytes; refusals do not stop the
// rest; the command line follows the usual conventions.
#include "batchcapture.h"
#include "imagefiles.h"
#include "imagesetfixture.h"
#include "steptable.h"

#include <QProcess>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

class BatchTest : public ImageSetTest, protected BatchCapture {
protected:
    // A list of an 8-bit and a 24-bit image, with an entry that does not exist between them
    // and one whose depth is not decoded.
    void WriteMixedList() {
        Write("cat.bmp", MakeBitmap(3, 2, 8, Bytes{0, 1, 2, 2, 1, 0}, {0x0000FF, 0x00FF00}));
        Write("scan.01.bmp", MakeBitmap(2, 2, 24, Bytes{0, 0, 255, 255, 0, 0, 9, 9, 9, 0, 200, 0}));
        Write("deep.bmp", MakeBitmap(1, 1, 32, Bytes{1, 2, 3, 4}));
        WriteText("set.lst", "4 " + m_dirSystemPath + " cat.bmp missing.bmp scan.01.bmp deep.bmp");
    }
};

TEST_F(BatchTest, ListWithRefusedEntriesSavesTheRestWithTheGuisBytes) {
    WriteMixedList();
    Open("set.lst");
    for (int entry = 0; entry < 4; ++entry) {
        m_view->OnColorSegmentation();
        m_view->OnFileSave();
        Key(Qt::Key_PageDown);
    }
    const QTemporaryDir results;
    const std::string folder = results.path().toStdString();
    EXPECT_EQ(Batch({"-o", folder, "segment", HostPath("set.lst")}), kBatchSomeFailed);

    for (const char* saved : {"outcat.raw", "outscan.raw"}) {
        SCOPED_TRACE(saved);
        const Bytes gui = ReadBack(saved);
        EXPECT_EQ(gui.size(), 8u + (saved[3] == 'c' ? 6 : 4));
        EXPECT_EQ(ReadFile(folder + "/" + saved), gui);
    }
    EXPECT_EQ(QDir(results.path()).entryList(QDir::Files).size(), 2);
    EXPECT_NE(m_out.find("[1/4] cat.bmp -> " + folder + "/outcat.raw\n"), std::string::npos)
        << m_out;
    EXPECT_NE(m_err.find("[2/4] 文件 " + HostPath("missing.bmp") + " 无法打开"), std::string::npos)
        << m_err;
    EXPECT_NE(m_err.find("[4/4] 文件 " + HostPath("deep.bmp") + " "), std::string::npos) << m_err;
    EXPECT_NE(m_out.find("共 4 个图像：保存 2 个，失败 2 个。"), std::string::npos) << m_out;
    EXPECT_EQ(AfxLiveBlockCount("batchrunner"), 0u);
}

TEST_F(BatchTest, ImageFilesOfOtherKindsGiveTheGuisBytesToo) {
    QImage photo(4, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            photo.setPixel(x, y, qRgb(60 * x, 90 * y, 200 - 50 * x));
    Write("photo.jpg", testimages::Encoded(photo, "jpeg"));
    Write("scan.PNG", testimages::Encoded(photo.convertToFormat(QImage::Format_ARGB32), "png"));
    Write("page.pgm", testimages::Netpbm("P5", 2, 2, 255, {0, 80, 160, 255}));
    WriteText("set.lst", "3 " + m_dirSystemPath + " photo.jpg scan.PNG page.pgm");
    Open("set.lst");
    for (int entry = 0; entry < 3; ++entry) {
        m_view->OnColorSegmentation();
        m_view->OnFileSave();
        Key(Qt::Key_PageDown);
    }
    ASSERT_EQ(m_messages, std::vector<std::string>{});
    const QTemporaryDir results;
    const std::string folder = results.path().toStdString();
    EXPECT_EQ(Batch({"-o", folder, "segment", HostPath("set.lst")}), 0);
    for (const char* saved : {"outphoto.raw", "outscan.raw", "outpage.raw"}) {
        SCOPED_TRACE(saved);
        const Bytes gui = ReadBack(saved);
        EXPECT_EQ(gui.size(), 8u + (saved[3] == 'p' && saved[4] == 'a' ? 4 : 12));
        EXPECT_EQ(ReadFile(folder + "/" + saved), gui);
    }
}

TEST_F(BatchTest, ResultsGoToDriveDAsFileSaveNamesThem) {
    Write("cat.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    EXPECT_EQ(Batch({"segment", HostPath("cat.bmp")}), kBatchAllSaved) << m_err;
    EXPECT_EQ(m_out.substr(0, m_out.find('\n')),
              "[1/1] cat.bmp -> D:\\outcat.raw (" + HostPath("outcat.raw") + ")");
    EXPECT_EQ(ReadBack("outcat.raw").size(), 9u);
    EXPECT_TRUE(m_err.empty()) << m_err;
}

TEST_F(BatchTest, RefusedFilesAreReportedAndTheOthersStillRun) {
    Write("cat.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    WriteText("broken.lst", "0 D:\\images");
    EXPECT_EQ(Batch({"segment", HostPath("broken.lst"), HostPath("cat.bmp")}), kBatchSomeFailed);
    EXPECT_EQ(m_err.rfind("列表文件 " + HostPath("broken.lst"), 0), 0u) << m_err;
    EXPECT_NE(m_out.find("[1/1] cat.bmp -> "), std::string::npos) << m_out;
}

TEST_F(BatchTest, CommandLineConventions) {
    EXPECT_EQ(Batch({"--help"}), kBatchAllSaved);
    EXPECT_EQ(m_out.rfind("用法：vexlan-batch [-o 目录] ", 0), 0u) << m_out;
    EXPECT_TRUE(m_err.empty());
    // Every built-in step, one a line; a new step must not break this test.
    EXPECT_EQ(Batch({"--list"}), kBatchAllSaved);
    for (const CProcessingStep& step : ProcessingSteps())
        EXPECT_NE(m_out.find(std::string(step.name) + "\n"), std::string::npos) << m_out;
    EXPECT_EQ(Batch({"segment", "a.bmp", "--vers"}), kBatchAllSaved);
    EXPECT_EQ(m_out.rfind("vexlan-batch (Vexlan) 1.", 0), 0u) << m_out;
    EXPECT_EQ(Batch({"segment", "-"}), kBatchSomeFailed); // "-" alone names a file
    EXPECT_NE(m_err.find("/- 不是 Vexlan 能打开的图像或列表文件"), std::string::npos) << m_err;

    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong{
        {{}, "缺少处理步骤"},
        {{"segment"}, "缺少文件"},
        {{"sobel", "a.bmp"}, "没有名为 sobel 的处理步骤"},
        {{"-x", "segment", "a.bmp"}, "未知的选项 -x"},
        {{"-o"}, "选项 -o 后面缺少目录"},
        {{"segment", "a.bmp", "--output"}, "选项 --output 后面缺少目录"},
        {{"--list=all"}, "选项 --list 不带参数"},
        {{"--no-such", "segment"}, "未知的选项 --no-such"},
        {{"--timeout", "0", "segment", "a.bmp"}, "选项 --timeout 后面应是一个大于 0 的秒数"},
        {{"segment", "a.bmp", "--timeout=soon"}, "选项 --timeout 后面应是一个大于 0 的秒数"},
    };
    for (const auto& [args, problem] : wrong) {
        SCOPED_TRACE(problem);
        EXPECT_EQ(Batch(args), kBatchUsageError);
        EXPECT_TRUE(m_out.empty()) << m_out;
        EXPECT_EQ(m_err.rfind("vexlan-batch：" + problem, 0), 0u) << m_err;
    }
}

// Options before, between or after the files, in every GNU form; the output folder and the
// folders below it are made.
TEST_F(BatchTest, OptionsAnywhereInEveryForm) {
    Write("cat.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    Write("-dash.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    const std::string cat = HostPath("cat.bmp");
    const std::string folder = HostPath("res");
    const std::vector<std::pair<std::vector<std::string>, std::string>> accepted{
        {{"segment", cat, "-o", folder}, "res/outcat.raw"},
        {{"--output=" + folder + "/new/sub", "segment", cat}, "res/new/sub/outcat.raw"},
        {{"segment", "--out", folder + "2", cat}, "res2/outcat.raw"},
        {{"-o" + folder + "3", "segment", "--", "-dash.bmp"}, "res3/out-dash.raw"},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path().toStdString());
    for (const auto& [args, result] : accepted) {
        SCOPED_TRACE(result);
        EXPECT_EQ(Batch(args), kBatchAllSaved) << m_err;
        EXPECT_EQ(ReadBack(result).size(), 9u);
    }
    std::filesystem::current_path(previous);
}

// Names with folders keep them below the output folder, as below D:\ (sub\kitten.bmp gives
// outsub\kitten.raw); a result is never written over an input or over an earlier result.
TEST_F(BatchTest, EveryResultGoesWhereFileSavePutsItAndNothingIsLost) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("sub"));
    Write("cat.1.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    Write("cat.2.bmp", MakeBitmap(2, 1, 24, Bytes{1, 2, 3, 4, 5, 6}));
    Write("sub/kitten.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    Write("sub/puppy.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    WriteText("set.lst",
              "4 " + m_dirSystemPath + " cat.1.bmp cat.2.bmp sub\\kitten.bmp sub/puppy.bmp");
    const QTemporaryDir results;
    const std::string folder = results.path().toStdString();
    EXPECT_EQ(Batch({"-o", folder, "segment", HostPath("set.lst")}), kBatchSomeFailed);
    EXPECT_EQ(ReadFile(folder + "/outcat.raw").size(), 9u); // cat.1's, not cat.2's
    EXPECT_EQ(ReadFile(folder + "/outsub/kitten.raw").size(), 9u);
    EXPECT_EQ(ReadFile(folder + "/outsub/puppy.raw").size(), 9u);
    EXPECT_EQ(m_err, "[2/4] 无法保存结果文件 " + folder + "/outcat.raw：这次运行已把 cat.1.bmp " +
                         "的结果写在那里。\n");
    EXPECT_NE(m_out.find("保存 3 个，失败 1 个"), std::string::npos) << m_out;

    // outcat.raw is read as a bitmap, and also where cat.bmp's result would go.
    Write("cat.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    const Bytes input = MakeBitmap(3, 1, 24, Bytes(9, 7));
    Write("outcat.raw", input);
    ASSERT_TRUE(QFile::link(QString::fromStdString(HostPath("outcat.raw")),
                            QString::fromStdString(HostPath("link.raw"))));
    for (const char* other : {"outcat.raw", "link.raw"}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(Batch({"-o", m_dir.path().toStdString(), "segment", HostPath("cat.bmp"),
                         HostPath(other)}),
                  kBatchSomeFailed);
        EXPECT_EQ(ReadBack("outcat.raw"), input);
        EXPECT_EQ(m_err.rfind("[1/2] 无法保存结果文件 " + HostPath("outcat.raw") +
                                  "：那是这次运行要读取的文件。\n",
                              0),
                  0u)
            << m_err;
    }
}

// The program itself, as a teacher runs it: the status reaches the shell.
TEST_F(BatchTest, ProgramBesideVexlanExitsWithTheStatus) {
    Write("cat.bmp", MakeBitmap(1, 1, 24, Bytes{1, 2, 3}));
    QProcess batch;
    batch.setWorkingDirectory(m_dir.path());
    batch.start(VEXLAN_BATCH_PROGRAM, {"segment", "cat.bmp", "missing.bmp"});
    ASSERT_TRUE(batch.waitForFinished());
    EXPECT_EQ(batch.exitCode(), kBatchSomeFailed);
    EXPECT_EQ(batch.readAllStandardOutput().toStdString().substr(0, 23),
              "[1/2] cat.bmp -> D:\\out");
    EXPECT_EQ(ReadBack("outcat.raw").size(), 9u);
}

} // namespace

namespace {

// Stopped while it writes, the program ends between two images with one line and the shell's
// status for the signal; no temporary file and no cut-off result is left. A signal ignored
// when it started stays ignored.
TEST_F(BatchTest, ASignalStopsTheRunBetweenTwoImages) {
    constexpr int kImages = 200;
    constexpr int kSide = 600;
    Write("big.bmp", MakeBitmap(kSide, kSide, 8, Bytes(kSide * kSide, 1), {0x0000FF, 0x00FF00}));
    std::string list = std::to_string(kImages) + " " + m_dirSystemPath;
    for (int i = 0; i < kImages; ++i) {
        const std::string name = "big" + std::to_string(i) + ".bmp";
        ASSERT_TRUE(QFile::link(QString::fromStdString(HostPath("big.bmp")),
                                QString::fromStdString(HostPath(name))));
        list += " " + name;
    }
    WriteText("set.lst", list);
    struct Stop {
        int signal;
        bool ignoredAtStart; // as under nohup: the run goes on
        int status;
        std::string said;
    };
    for (const Stop& stop : {Stop{SIGINT, false, 130, "vexlan-batch：收到 SIGINT，处理完 "},
                             Stop{SIGTERM, false, 143, "vexlan-batch：收到 SIGTERM，处理完 "},
                             Stop{SIGHUP, true, kBatchAllSaved, ""}}) {
        SCOPED_TRACE(stop.signal);
        const QTemporaryDir results;
        QDir folder(results.path());
        QProcess batch;
        if (stop.ignoredAtStart)
            batch.setChildProcessModifier([] { std::signal(SIGHUP, SIG_IGN); });
        batch.start(VEXLAN_BATCH_PROGRAM,
                    {"-o", results.path(), "segment", QString::fromStdString(HostPath("set.lst"))});
        ASSERT_TRUE(batch.waitForStarted());
        while (folder.entryList({"*.raw"}, QDir::Files).isEmpty() &&
               batch.state() == QProcess::Running)
            QThread::usleep(200);
        kill(static_cast<pid_t>(batch.processId()), stop.signal);
        ASSERT_TRUE(batch.waitForFinished());
        EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(batch.exitCode(), stop.status);
        const QStringList left = folder.entryList(QDir::Files);
        EXPECT_EQ(left.size() == kImages, stop.ignoredAtStart) << left.size();
        for (const QString& name : left) {
            SCOPED_TRACE(name.toStdString());
            EXPECT_TRUE(name.endsWith(".raw"));
            EXPECT_EQ(QFileInfo(folder.filePath(name)).size(), 8 + kSide * kSide);
        }
        const std::string err = batch.readAllStandardError().toStdString();
        EXPECT_EQ(err.substr(0, stop.said.size()), stop.said) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), stop.said.empty() ? 0 : 1) << err;
    }
}

} // namespace
