// The program's start-up: the template, the document, frame and view made through their
// run-time class records, the caption, the settings on disk, a file on the command line.
#include "mainfrm.h"
#include "pathmap.h"
#include "printing.h"
#include "vexlan.h"
#include "vexlandoc.h"
#include "vexlanview.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

class StartupTest : public ::testing::Test {
protected:
    BOOL Start(std::vector<std::string> args) {
        m_args = std::move(args);
        m_argv.clear();
        for (auto& arg : m_args)
            m_argv.push_back(arg.data());
        theApp.InitApplication(static_cast<int>(m_argv.size()), m_argv.data());
        return theApp.InitInstance();
    }
    void TearDown() override {
        theApp.ExitInstance();
        AfxSetMessageBoxHandler({});
    }

    CSingleDocTemplate* Template() const {
        return static_cast<CSingleDocTemplate*>(theApp.GetDocTemplates().front().get());
    }

    void Parse(std::vector<std::string> args, CCommandLineInfo& info) {
        m_args = std::move(args);
        m_argv.clear();
        for (auto& arg : m_args)
            m_argv.push_back(arg.data());
        theApp.InitApplication(static_cast<int>(m_argv.size()), m_argv.data());
        theApp.ParseCommandLine(info);
    }
    void RecordMessages() {
        AfxSetMessageBoxHandler([this](const std::string& text, UINT) {
            m_messages.push_back(text);
            return IDOK;
        });
    }

    std::vector<std::string> m_args;
    std::vector<char*> m_argv;
    std::vector<std::string> m_messages;
};

TEST_F(StartupTest, WithoutArgumentsMakesAnUntitledDocumentInTheMainFrame) {
    ASSERT_TRUE(Start({"vexlan"}));

    ASSERT_EQ(theApp.GetDocTemplates().size(), 1u);
    const CSingleDocTemplate* docTemplate = Template();
    EXPECT_EQ(docTemplate->GetResourceID(), 128u);
    EXPECT_EQ(docTemplate->GetDocClass(), RUNTIME_CLASS(CVexlanDoc));
    EXPECT_EQ(docTemplate->GetFrameClass(), RUNTIME_CLASS(CMainFrame));
    EXPECT_EQ(docTemplate->GetViewClass(), RUNTIME_CLASS(CVexlanView));

    auto* frame = dynamic_cast<CMainFrame*>(theApp.m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsWindowVisible());
    EXPECT_TRUE(frame->GetActiveView()->IsKindOf(RUNTIME_CLASS(CVexlanView)));
    EXPECT_TRUE(frame->GetActiveDocument()->IsKindOf(RUNTIME_CLASS(CVexlanDoc)));
    EXPECT_EQ(frame->GetWindowText(), "无标题 - Vexlan");

    // The records' creation functions take each object from the debug allocator.
    EXPECT_EQ(AfxLiveBlockCount("vexlan"), 1u);
    EXPECT_EQ(AfxLiveBlockCount("vexlandoc"), 1u);
    EXPECT_EQ(AfxLiveBlockCount("mainfrm"), 1u);
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), 1u);
}

TEST_F(StartupTest, RuntimeClassRecordsNameTheClasses) {
    for (const CRuntimeClass* cls :
         {RUNTIME_CLASS(CVexlanDoc), RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CVexlanView)}) {
        EXPECT_EQ(cls->m_wSchema, 0xFFFFu);
        EXPECT_NE(cls->m_pfnCreateObject, nullptr);
    }
    EXPECT_STREQ(RUNTIME_CLASS(CVexlanDoc)->m_lpszClassName, "CVexlanDoc");
    EXPECT_STREQ(RUNTIME_CLASS(CMainFrame)->m_lpszClassName, "CMainFrame");
    EXPECT_EQ(RUNTIME_CLASS(CVexlanView)->m_nObjectSize, static_cast<int>(sizeof(CVexlanView)));
    EXPECT_TRUE(RUNTIME_CLASS(CVexlanView)->IsDerivedFrom(RUNTIME_CLASS(CView)));
}

TEST_F(StartupTest, DiagnosticsNameTheObjectsClass) {
    ASSERT_TRUE(Start({"vexlan"}));
    std::ostringstream out;
    CDumpContext dc(&out);
    CFrameWnd* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
    frame->GetActiveView()->Dump(dc);
    frame->GetActiveDocument()->Dump(dc);
    EXPECT_NE(out.str().find("a CVexlanView at "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("a CVexlanDoc at "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("m_strTitle = 无标题"), std::string::npos) << out.str();
    frame->AssertValid();
}

TEST_F(StartupTest, ExitReleasesEverythingAndWritesTheSettings) {
    ASSERT_TRUE(Start({"vexlan"}));
    const std::string settingsFile = theApp.GetProfileFileName();
    theApp.ExitInstance();

    for (const char* file : {"vexlan", "vexlandoc", "mainfrm", "vexlanview"})
        EXPECT_EQ(AfxLiveBlockCount(file), 0u) << file;
    // Key, then the application's sub-key, in the user's configuration folder.
    EXPECT_NE(settingsFile.find("/Local AppWizard-Generated Applications/Vexlan."),
              std::string::npos)
        << settingsFile;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(settingsFile)));
}

TEST_F(StartupTest, FileArgumentOpensTheDocumentThroughTheTemplate) {
    QTemporaryDir dir;
    const QString hostPath = dir.filePath("picture.bmp");
    QFile file(hostPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not looked at");
    file.close();

    ASSERT_TRUE(Start({"vexlan", hostPath.toStdString()}));
    const CDocument* document = Template()->GetDocument();
    std::string expectedPath = hostPath.toStdString();
    std::replace(expectedPath.begin(), expectedPath.end(), '/', '\\');
    EXPECT_EQ(document->GetPathName(), expectedPath);
    EXPECT_EQ(document->GetTitle(), "picture.bmp");
    EXPECT_EQ(theApp.m_pMainWnd->GetWindowText(), "picture.bmp - Vexlan");
    ASSERT_FALSE(theApp.GetRecentFileList()->GetEntries().empty());
    EXPECT_EQ(theApp.GetRecentFileList()->GetEntries().front(), expectedPath);

    theApp.ExitInstance();
    QSettings settings(QString::fromStdString(theApp.GetProfileFileName()), QSettings::IniFormat);
    EXPECT_EQ(settings.value("Recent File List/File1").toString().toStdString(), expectedPath);
}

TEST_F(StartupTest, RecentFileListKeepsTheFourNewestDocuments) {
    ASSERT_TRUE(Start({"vexlan"}));
    QTemporaryDir dir;
    std::vector<std::string> opened;
    for (const char* name : {"1.vex", "2.vex", "3.vex", "4.vex", "5.vex"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        opened.push_back(*AfxSystemPath(file.fileName().toStdString()));
        ASSERT_NE(theApp.OpenDocumentFile(opened.back().c_str()), nullptr);
    }
    EXPECT_EQ(theApp.GetRecentFileList()->GetEntries(),
              (std::vector<std::string>{opened[4], opened[3], opened[2], opened[1]}));

    theApp.ExitInstance();
    QSettings settings(QString::fromStdString(theApp.GetProfileFileName()), QSettings::IniFormat);
    EXPECT_EQ(settings.value("Recent File List/File4").toString().toStdString(), opened[1]);
    EXPECT_FALSE(settings.contains("Recent File List/File5"));
}

TEST_F(StartupTest, MissingFileArgumentEndsStartUpWithAMessage) {
    std::string shown;
    AfxSetMessageBoxHandler([&](const std::string& text, UINT) {
        shown = text;
        return IDOK;
    });
    EXPECT_FALSE(Start({"vexlan", "/no/such/dir/picture.bmp"}));
    // The path the user gave, not the program's form of it, and why it failed.
    EXPECT_EQ(shown, "无法打开文档 /no/such/dir/picture.bmp：文件或文件夹不存在。");
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

TEST_F(StartupTest, SlashDoesNotMakeAFileNameASwitch) {
    CCommandLineInfo info;
    m_args = {"vexlan", "-unknown", "/tmp/a.bmp"};
    m_argv = {m_args[0].data(), m_args[1].data(), m_args[2].data()};
    theApp.InitApplication(3, m_argv.data());
    theApp.ParseCommandLine(info);
    EXPECT_EQ(info.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(info.m_strFileName, "\\tmp\\a.bmp");
}

TEST_F(StartupTest, PrintSwitchesTakeThePrinterAsItIsAndTheFileAsAPath) {
    CCommandLineInfo print;
    Parse({"vexlan", "-p", "/tmp/a.bmp"}, print);
    EXPECT_EQ(print.m_nShellCommand, CCommandLineInfo::FilePrint);
    EXPECT_EQ(print.m_strFileName, "\\tmp\\a.bmp");
    EXPECT_EQ(print.m_strPrinterName, "");

    CCommandLineInfo printTo;
    Parse({"vexlan", "-pt", "Office/2nd floor", "/tmp/a.bmp"}, printTo);
    EXPECT_EQ(printTo.m_nShellCommand, CCommandLineInfo::FilePrintTo);
    EXPECT_EQ(printTo.m_strPrinterName, "Office/2nd floor");
    EXPECT_EQ(printTo.m_strFileName, "\\tmp\\a.bmp");
}

class PrintSwitchTest : public StartupTest {
protected:
    void SetUp() override {
        RecordMessages();
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void TearDown() override {
        AfxSetPrinterLookup({});
        StartupTest::TearDown();
    }
    // Prints on a printer that writes a PDF file, and records the names looked up.
    void PrintToPdf() {
        AfxSetPrinterLookup([this](QPrinter& printer, const std::string& name) {
            m_printerNames.push_back(name);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_pdf);
            return true;
        });
    }
    QByteArray Pdf() const {
        QFile file(m_pdf);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    const QString m_file = m_dir.filePath("picture.bmp");
    const QString m_pdf = m_dir.filePath("page.pdf");
    std::vector<std::string> m_printerNames;
};

TEST_F(PrintSwitchTest, PrintTheViewWithoutADialogOrAWindowAndEnd) {
    PrintToPdf();
    EXPECT_FALSE(Start({"vexlan", "-pt", "Office", m_file.toStdString()}));
    EXPECT_EQ(theApp.m_nStartExitCode, 0);
    EXPECT_TRUE(Pdf().startsWith("%PDF-"));
    ASSERT_NE(theApp.m_pMainWnd, nullptr);
    EXPECT_FALSE(theApp.m_pMainWnd->IsWindowVisible());
    EXPECT_EQ(Template()->GetDocument()->GetTitle(), "picture.bmp");
    theApp.ExitInstance();

    EXPECT_FALSE(Start({"vexlan", "-p", m_file.toStdString()}));
    EXPECT_EQ(theApp.m_nStartExitCode, 0);
    EXPECT_EQ(m_printerNames, (std::vector<std::string>{"Office", ""}));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PrintSwitchTest, WithoutThePrinterOrTheFileSaySoAndEndWithAFailure) {
    EXPECT_FALSE(Start({"vexlan", "-pt", "vexlan-no-such-printer", m_file.toStdString()}));
    EXPECT_EQ(theApp.m_nStartExitCode, 1);
    theApp.ExitInstance();
    EXPECT_FALSE(Start({"vexlan", "-p"}));
    EXPECT_EQ(theApp.m_nStartExitCode, 1);
    EXPECT_EQ(m_messages,
              (std::vector<std::string>{"找不到打印机“vexlan-no-such-printer”，无法打印。",
                                        "没有给出要打印的文件。"}));
    if (!QPrinterInfo::defaultPrinter().isNull())
        GTEST_SKIP() << "this machine has a default printer";
    theApp.ExitInstance();
    EXPECT_FALSE(Start({"vexlan", "-p", m_file.toStdString()}));
    EXPECT_EQ(theApp.m_nStartExitCode, 1);
    EXPECT_EQ(m_messages.back(), "没有默认打印机，无法打印。");
}

TEST_F(StartupTest, HostNameWithABackslashIsRefused) {
    std::string shown;
    AfxSetMessageBoxHandler([&](const std::string& text, UINT) {
        shown = text;
        return IDOK;
    });
    EXPECT_FALSE(Start({"vexlan", "/tmp/odd\\name.bmp"}));
    EXPECT_NE(shown.find("odd\\name.bmp"), std::string::npos);
}

} // namespace
