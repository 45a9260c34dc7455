// The program's start-up: the template, the document, frame and view made through their
// run-time class records, the caption, the settings on disk, a file on the command line.
#include "mainfrm.h"
#include "vexlan.h"
#include "vexlandoc.h"
#include "vexlanview.h"

#include <QDir>
#include <QFile>
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

    std::vector<std::string> m_args;
    std::vector<char*> m_argv;
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
