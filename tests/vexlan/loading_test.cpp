// Loading off the window's thread: a large file's load leaves the workspace as it is until it
// ends, Esc gives back what the command that started it changed, a refused File Open keeps the
// image set it would have replaced, and File Save says why it writes nothing afterwards.
#include "hostilefiles.h"
#include "imagefiles.h"
#include "imagesetfixture.h"
#include "resource.h"

#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace {

// More pixels than a load decodes while the window waits.
constexpr int kLargeSide = 2100;

class LoadingTest : public ImageSetTest {
protected:
    // A gray PNG whose pixel (x, y) holds (x + y + seed) % 256.
    void WriteLargePng(const std::string& name, int seed) {
        QImage image(kLargeSide, kLargeSide, QImage::Format_Grayscale8);
        for (int y = 0; y < kLargeSide; ++y)
            for (int x = 0; x < kLargeSide; ++x)
                image.scanLine(y)[x] = static_cast<uchar>(x + y + seed);
        Write(name, testimages::Encoded(image, "png"));
    }
    // Opens the list small.bmp, then each name, and segments small.bmp.
    void OpenListAfterSmall(const std::vector<std::string>& names) {
        WriteIndexed("small.bmp", 1);
        std::string list = std::to_string(names.size() + 1) + " " + m_dirSystemPath + " small.bmp";
        for (const std::string& name : names)
            list += " " + name;
        WriteText("set.lst", list);
        Open("set.lst");
        m_view->OnColorSegmentation();
        ASSERT_TRUE(m_view->m_pOutputImage);
    }
    CFrameWnd& Frame() const { return *static_cast<CFrameWnd*>(theApp.m_pMainWnd); }
    std::string MessagePane() const {
        auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(theApp.m_pMainWnd));
        return window->statusBar()->findChild<QLabel*>("pane0")->text().toStdString();
    }
    bool EscEnabled() { return Frame().QueryCommandUI(ID_END_RUNNING_STEP).m_bEnabled; }

    // What a command may change, and what must come back when its load is cancelled.
    struct Workspace {
        const BYTE* gray;
        const BYTE* result;
        const BYTE* output;
        int width, current, count, showResult;
        std::string title;
        bool operator==(const Workspace&) const = default;
    };
    Workspace Now() const {
        return {m_view->m_pGrayImage.get(),   m_view->m_pResultImage.get(),
                m_view->m_pOutputImage.get(), m_view->m_nWidth,
                m_view->m_nCurrentFile,       m_view->m_nFileCount,
                m_view->m_bShowResult,        Title()};
    }
};

TEST_F(LoadingTest, ALargeFileLoadsWhileTheWorkspaceStaysAsItIsUntilTheEnd) {
    WriteLargePng("large.png", 3);
    OpenListAfterSmall({"large.png"});
    const BYTE* smallGray = m_view->m_pGrayImage.get();

    Key(Qt::Key_PageDown);
    // The load ends in the event loop, which has not run yet: the window shows the image before.
    ASSERT_TRUE(m_view->IsLoading());
    EXPECT_TRUE(EscEnabled());
    EXPECT_EQ(m_view->m_pGrayImage.get(), smallGray);
    EXPECT_EQ(m_view->m_nWidth, 2);
    EXPECT_EQ(Title(), "large.png");
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_FALSE(m_view->PlanesAreCurrent());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_view->IsLoading(); }, 60000));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_view->m_nWidth, kLargeSide);
    EXPECT_TRUE(m_view->PlanesAreCurrent());
    EXPECT_EQ(m_view->m_pGrayImage[std::size_t{kLargeSide} * 7 + 11], 7 + 11 + 3);
    EXPECT_FALSE(EscEnabled());
}

TEST_F(LoadingTest, EscGivesBackWhatTheCommandChanged) {
    WriteLargePng("large.png", 3);
    WriteLargePng("other.png", 5);
    OpenListAfterSmall({"large.png"});
    const Workspace before = Now();

    // A step through the list, and a File Open that would replace the list.
    const std::vector<std::pair<const char*, std::function<void()>>> commands{
        {"Page Down", [&] { Key(Qt::Key_PageDown); }},
        {"File Open", [&] { Open("other.png"); }},
    };
    for (const auto& [what, command] : commands) {
        SCOPED_TRACE(what);
        m_view->m_bShowResult = 1;
        command();
        ASSERT_TRUE(m_view->IsLoading());
        ASSERT_NE(Now(), before);
        Frame().SendCommand(ID_END_RUNNING_STEP);
        EXPECT_FALSE(m_view->IsLoading());
        EXPECT_EQ(Now(), before);
        EXPECT_EQ(std::string(m_view->EntryName(1)), "large.png");
        EXPECT_EQ(m_view->m_bColorMode, 1);
        EXPECT_TRUE(m_view->PlanesAreCurrent());
        EXPECT_EQ(MessagePane().rfind(
                      "已取消打开 " + HostPath(what[0] == 'P' ? "large.png" : "other.png"), 0),
                  0u)
            << MessagePane();
        // The cancelled decoding leaves nothing behind to be shown later.
        Idle();
        EXPECT_EQ(Now(), before);
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(LoadingTest, ALoadInFlightGivesWayToTheNextStep) {
    WriteLargePng("one.png", 1);
    WriteLargePng("two.png", 2);
    OpenListAfterSmall({"one.png", "two.png"});
    const Workspace before = Now();
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    ASSERT_TRUE(m_view->IsLoading());
    m_view->FinishLoading();
    EXPECT_EQ(m_view->m_nCurrentFile, 2);
    EXPECT_EQ(m_view->m_pGrayImage[0], 2);
    Idle();
    EXPECT_EQ(m_view->m_pGrayImage[0], 2); // the first one's end shows nothing

    // Cancelled half way, the two steps go back to where they began.
    m_view->m_nCurrentFile = 0;
    m_view->LoadImageAt(0);
    const Workspace first = Now();
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    m_view->CancelLoading();
    EXPECT_EQ(Now(), first);
    EXPECT_NE(first, before); // the result went with the reload

    // A step onto an entry that cannot be opened gives the load in flight up as well: its image
    // would show under the other entry's index.
    WriteText("set.lst", "3 " + m_dirSystemPath + " small.bmp one.png gone.bmp");
    Open("set.lst");
    Key(Qt::Key_PageDown);
    ASSERT_TRUE(m_view->IsLoading());
    m_messages.clear();
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_messages, std::vector<std::string>{"Cannot open the list file"});
    EXPECT_FALSE(m_view->IsLoading());
    Idle();
    EXPECT_EQ(m_view->m_nCurrentFile, 2);
    EXPECT_EQ(m_view->m_nWidth, 2);
}

// A refusal changes no data: a refused File Open keeps the list and its position, quick or
// not, and File Save then says in the status bar why it writes nothing.
TEST_F(LoadingTest, ARefusedFileOpenKeepsTheSetAndFileSaveSaysWhy) {
    WriteIndexed("b.bmp", 2);
    OpenListAfterSmall({"b.bmp"});
    Key(Qt::Key_PageDown);
    m_view->OnColorSegmentation();
    const Workspace before = Now();
    const std::string table(m_view->m_pFileNames.get(), 200);

    Bytes large = hostilefiles::Png(kLargeSide, kLargeSide, 8, 0, Bytes(kLargeSide + 1, 0));
    large[large.size() - 20] ^= 1; // inside the data's checksum
    Write("damaged.png", large);
    QImage small(3, 2, QImage::Format_RGB32);
    small.fill(qRgb(1, 2, 3));
    const Bytes whole = testimages::Encoded(small, "png");
    Write("short.png", Bytes(whole.begin(), whole.begin() + whole.size() * 6 / 10));
    for (const char* name : {"short.png", "damaged.png"}) {
        SCOPED_TRACE(name);
        m_messages.clear();
        Open(name);
        m_view->FinishLoading();
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_NE(m_messages[0].find("不是 Vexlan 能读取的图像：PNG 文件"), std::string::npos)
            << m_messages[0];
        Workspace after = Now();
        EXPECT_EQ(after.title, name);
        EXPECT_FALSE(after.output);
        after.title = before.title;
        after.output = before.output;
        EXPECT_EQ(after, before);
        EXPECT_EQ(std::string(m_view->m_pFileNames.get(), 200), table);
        EXPECT_EQ(m_view->m_bColorMode, 1);

        m_view->OnFileSave();
        EXPECT_EQ(MessagePane(),
                  "没有保存：显示的图像不是 " + std::string(name) + "，那个文件没有打开");
        EXPECT_TRUE(QDir(m_dir.path()).entryList({"out*"}).isEmpty());
    }
    // Before any step has run there is nothing to save either.
    Open("b.bmp");
    m_view->OnFileSave();
    EXPECT_EQ(MessagePane(), "没有保存：还没有处理结果，先运行一个处理步骤");
}

} // namespace
