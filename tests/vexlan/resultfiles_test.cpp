// Result files in the window: File > Open Result takes only a result a view can hold, puts it
// beside its image only when that image is shown at its very size, and takes the name File Save
// prints; the largest result allowed opens and scrolls to its far corner; Export Result as PNG
// is offered for a result shown, named after it, and one that makes nothing replaces nothing.
#include "imagesetfixture.h"
#include "modaldialogs.h"
#include "resource.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <unistd.h>

namespace {

Bytes RawFile(std::uint32_t width, std::uint32_t height, const Bytes& pixels) {
    Bytes file;
    for (const std::uint32_t field : {width, height})
        testbitmaps::PutLe(file, field, 4);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

class ResultFileTest : public ImageSetTest {
protected:
    // A result file of width x height whose pixels are zero but for the last one, sparse on
    // disk so that a large one costs no space.
    void WriteSparseResult(const std::string& name, std::uint32_t width, std::uint32_t height,
                           BYTE last) {
        Write(name, RawFile(width, height, {}));
        const off_t length = 8 + off_t{width} * height;
        ASSERT_EQ(truncate(HostPath(name).c_str(), length - 1), 0);
        std::ofstream(HostPath(name), std::ios::binary | std::ios::app)
            .put(static_cast<char>(last));
    }
    bool ExportOffered() {
        return static_cast<CFrameWnd*>(theApp.m_pMainWnd)
            ->QueryCommandUI(ID_FILE_EXPORT_PNG)
            .m_bEnabled;
    }
    // What Export Result as PNG's dialog proposes, cancelled.
    std::string ProposedExportName() {
        std::string proposed;
        OnModalDialog([this] { m_view->OnFileExportPng(); },
                      [&](QDialog& dialog) {
                          const auto& files = static_cast<QFileDialog&>(dialog).selectedFiles();
                          proposed = files.isEmpty() ? "" : files.front().toStdString();
                          dialog.reject();
                      });
        return proposed;
    }
};

TEST_F(ResultFileTest, OnlyAResultAViewCanHoldOpensAndARefusalChangesNothing) {
    WriteIndexed("cat.bmp", 1);
    Open("cat.bmp");
    m_view->OnColorSegmentation();
    const BYTE* shown = m_view->m_pResultImage.get();
    WriteSparseResult("outhuge.raw", 46341, 46341, 9);
    Write("outnone.raw", RawFile(0, 0, {}));
    Write("outlong.raw", RawFile(2, 1, {1, 2, 3}));
    const std::pair<const char*, const char*> refused[] = {
        {"outhuge.raw", "尺寸 46341 × 46341 像素太大"},
        {"outnone.raw", "尺寸 0 × 0 像素，没有一个像素"},
        {"outlong.raw", "2×1 的结果文件应有 10 字节，实际是 11 字节"},
    };
    for (const auto& [name, problem] : refused) {
        SCOPED_TRACE(name);
        m_messages.clear();
        OpenResult(name);
        EXPECT_EQ(m_messages,
                  std::vector<std::string>{"文件 " + HostPath(name) + " " + problem + "。"});
        EXPECT_EQ(m_view->m_pResultImage.get(), shown);
        EXPECT_EQ(Title(), "cat.bmp");
    }
}

// A result stands beside its image only when the image shown is its stem's at both its width
// and its height; else it stands beside an empty slot of its own size, painted from its plane.
TEST_F(ResultFileTest, AResultOpensBesideItsImageOnlyAtItsVerySize) {
    Write("cat.bmp", MakeBitmap(2, 2, 24, Bytes(12, 40)));
    struct Case {
        std::uint32_t width, height;
        bool besideImage;
    };
    for (const Case& c : {Case{2, 3, false}, Case{3, 2, false}, Case{2, 2, true}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Bytes pixels;
        for (std::uint32_t i = 0; i < c.width * c.height; ++i)
            pixels.push_back(static_cast<BYTE>(10 + 20 * i));
        Write("outcat.raw", RawFile(c.width, c.height, pixels));
        Open("cat.bmp");
        OpenResult("outcat.raw");
        ASSERT_EQ(m_messages, std::vector<std::string>{});
        EXPECT_EQ(m_view->m_bColorMode == 1, c.besideImage);
        EXPECT_EQ(m_view->m_pGrayImage != nullptr, c.besideImage);
        ASSERT_EQ(m_view->m_nWidth, static_cast<int>(c.width));
        ASSERT_EQ(m_view->m_nHeight, static_cast<int>(c.height));
        const QImage painted = Painted();
        const int last = static_cast<int>(c.width * c.height - 1);
        const int value = 10 + 20 * last;
        EXPECT_EQ(Rgb(painted, static_cast<int>(2 * c.width - 1), static_cast<int>(c.height - 1)),
                  static_cast<QRgb>(value * 0x010101));
    }
}

// The largest result the limit allows, square and one row high, opens beside an empty slot,
// and End scrolls to its far corner, which is painted from the plane's last byte.
TEST_F(ResultFileTest, TheLargestResultOpensAndScrollsToItsFarCorner) {
    constexpr std::uint32_t side = 1 << 14;
    struct Shape {
        std::uint32_t width, height;
    };
    for (const Shape shape : {Shape{side, side}, Shape{side * side, 1}}) {
        SCOPED_TRACE(shape.width);
        WriteSparseResult("outlargest.raw", shape.width, shape.height, 200);
        m_messages.clear();
        OpenResult("outlargest.raw");
        ASSERT_EQ(m_messages, std::vector<std::string>{});
        ASSERT_EQ(m_view->m_nWidth, static_cast<int>(shape.width));
        Key(Qt::Key_End);
        const QImage painted = Painted();
        const QRect client =
            AfxGetWidget(m_view)->findChild<QWidget*>("qt_scrollarea_viewport")->geometry();
        const CPoint corner = m_view->GetScrollPosition();
        EXPECT_EQ(corner.x + client.width(), static_cast<int>(2 * shape.width));
        EXPECT_EQ(Rgb(painted, client.right(),
                      std::min(client.bottom(),
                               static_cast<int>(shape.height) - 1 - corner.y + client.top())),
                  0xC8C8C8u);
        std::remove(HostPath("outlargest.raw").c_str());
    }
}

// "D:\out<stem>.raw", as File Save says where it saved, typed into the dialog's name field.
TEST_F(ResultFileTest, TheNameFileSavePrintsOpensAsItIsWritten) {
    Write("outcat.raw", RawFile(2, 1, {30, 60}));
    OnModalDialog([this] { m_view->OnFileOpenResult(); },
                  [](QDialog& dialog) {
                      dialog.findChild<QLineEdit*>("fileNameEdit")->setText("D:\\outcat.raw");
                      dialog.accept();
                  });
    EXPECT_EQ(m_messages, std::vector<std::string>{});
    EXPECT_EQ(Title(), "outcat.raw");
    ASSERT_TRUE(m_view->m_pResultImage);
    EXPECT_EQ(m_view->m_pResultImage[1], 60);
}

// A stem fills a name slot of 100 characters but for its terminator.
TEST_F(ResultFileTest, AResultsStemMayTakeNinetyNineCharacters) {
    for (const std::size_t length : {std::size_t{99}, std::size_t{100}}) {
        SCOPED_TRACE(length);
        const std::string name = "out" + std::string(length, 's') + ".raw";
        Write(name, RawFile(1, 1, {5}));
        m_messages.clear();
        OpenResult(name);
        if (length == 99) {
            EXPECT_EQ(m_messages, std::vector<std::string>{});
            EXPECT_EQ(std::string(m_view->EntryName(0)), std::string(99, 's'));
        } else {
            EXPECT_EQ(m_messages,
                      std::vector<std::string>{"文件 " + HostPath(name) +
                                               " 无法打开：名称太长，最多 99 个字符。"});
        }
    }
}

TEST_F(ResultFileTest, ExportIsOfferedForAResultShownAndNamedAfterIt) {
    Write("cat.bmp", MakeBitmap(2, 2, 24, Bytes(12, 200)));
    Open("cat.bmp");
    EXPECT_FALSE(ExportOffered());
    m_view->OnColorSegmentation();
    EXPECT_TRUE(ExportOffered());
    EXPECT_EQ(ProposedExportName(), HostPath("outcat.png"));
    // Opened again, the image hides the result it still holds.
    Open("cat.bmp");
    ASSERT_TRUE(m_view->m_pResultImage);
    EXPECT_FALSE(ExportOffered());
}

// An export whose encoding makes nothing (a result of no pixels) is reported and leaves the
// file it would have replaced as it was.
TEST_F(ResultFileTest, AnExportThatMakesNothingReplacesNothing) {
    Write("cat.bmp", MakeBitmap(2, 2, 24, Bytes(12, 200)));
    Open("cat.bmp");
    m_view->OnColorSegmentation();
    WriteText("kept.png", "an earlier export");
    m_view->m_nWidth = 0;
    // The dialog asks before a file is replaced: yes.
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    confirm.start(20);
    AnswerFileDialog(HostPath("kept.png"), [this] { m_view->OnFileExportPng(); });
    confirm.stop();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("无法保存结果文件 " + HostPath("kept.png") + "：", 0), 0u)
        << m_messages[0];
    const Bytes kept = ReadBack("kept.png");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier export");
    m_view->m_nWidth = 2;
}

} // namespace
