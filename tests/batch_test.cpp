// vexlan-batch end to end: the same images through the GUI's File Open, segmentation and
// File Save and through the batch runner give the same RAW bytes; refusals do not stop the
// rest; the command line follows the usual conventions.
#include "batchcommand.h"
#include "imagesetfixture.h"
#include "steptable.h"

#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

class BatchTest : public ImageSetTest {
protected:
    int Batch(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = RunBatchCommand(args, out, err);
        m_out = out.str();
        m_err = err.str();
        return status;
    }
    // A list of an 8-bit and a 24-bit image, with an entry that does not exist between them
    // and one whose depth is not decoded.
    void WriteMixedList() {
        Write("cat.bmp", MakeBitmap(3, 2, 8, Bytes{0, 1, 2, 2, 1, 0}, {0x0000FF, 0x00FF00}));
        Write("scan.01.bmp", MakeBitmap(2, 2, 24, Bytes{0, 0, 255, 255, 0, 0, 9, 9, 9, 0, 200, 0}));
        Write("deep.bmp", MakeBitmap(1, 1, 32, Bytes{1, 2, 3, 4}));
        WriteText("set.lst", "4 " + m_dirSystemPath + " cat.bmp missing.bmp scan.01.bmp deep.bmp");
    }

    std::string m_out;
    std::string m_err;
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

    const std::vector<std::vector<std::string>> wrong{
        {},
        {"segment"},
        {"sobel", "a.bmp"},
        {"-x", "segment", "a.bmp"},
        {"-o"},
        {"--timeout", "0", "segment", "a.bmp"},
        {"--timeout", "soon", "segment", "a.bmp"},
    };
    for (const auto& args : wrong) {
        SCOPED_TRACE(args.empty() ? "(nothing)" : args[0]);
        EXPECT_EQ(Batch(args), kBatchUsageError);
        EXPECT_TRUE(m_out.empty()) << m_out;
        EXPECT_EQ(m_err.rfind("vexlan-batch：", 0), 0u) << m_err;
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
