// Printing: the job's hooks and its page, one printer dot per image pixel; printing to a PDF
// file through the real print dialog; the preview; printer setup on the shared printer.
#include "appfixture.h"
#include "modaldialogs.h"
#include "printing.h"

#include <QFile>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRadioButton>

#include <string>
#include <vector>

namespace {

constexpr QRgb kUntouched = 0xFF123456;

// A view that paints three known pixels and records each printing hook it sees.
class RecordingView : public CView {
public:
    struct Hook {
        std::string name;
        bool printing;
    };

    void OnDraw(CDC* pDC) override {
        hooks.push_back({"draw", pDC->IsPrinting()});
        pDC->SetPixel(0, 0, RGB(255, 0, 0));
        pDC->SetPixel(1, 0, RGB(0, 0, 255));
        pDC->SetPixel(farCorner.x, farCorner.y, RGB(0, 128, 0));
    }
    BOOL OnPreparePrinting(CPrintInfo* pInfo) override {
        pInfo->m_bDirect = direct;
        return DoPreparePrinting(pInfo);
    }
    void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo) override {
        hooks.push_back({"begin", pDC->IsPrinting()});
        drawRect = pInfo->m_rectDraw;
    }
    void OnEndPrinting(CDC* pDC, CPrintInfo*) override {
        hooks.push_back({"end", pDC->IsPrinting()});
    }

    std::vector<std::string> HookNames() const {
        std::vector<std::string> names;
        for (const Hook& hook : hooks)
            names.push_back(hook.name);
        return names;
    }

    CPoint farCorner;
    BOOL direct = FALSE;
    std::vector<Hook> hooks;
    CRect drawRect;
};

QImage Sheet(QSize size) {
    QImage sheet(size, QImage::Format_RGB32);
    sheet.fill(kUntouched);
    return sheet;
}

TEST(PrintJob, HooksRunAroundOnePagePutAtTheCornerOneDotPerPixel) {
    RecordingView view;
    view.farCorner = {59, 39};
    QImage sheet = Sheet({100, 80});
    CPrintInfo info;
    {
        QPainter painter(&sheet);
        EXPECT_TRUE(AfxRunPrintJob(view, info, painter, QRect(10, 20, 60, 40)));
    }
    EXPECT_EQ(view.HookNames(), (std::vector<std::string>{"begin", "draw", "end"}));
    for (const auto& hook : view.hooks)
        EXPECT_TRUE(hook.printing) << hook.name;
    EXPECT_EQ(view.drawRect.Width(), 60);
    EXPECT_EQ(view.drawRect.Height(), 40);
    EXPECT_EQ(info.m_nCurPage, 1u);

    EXPECT_EQ(sheet.pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(sheet.pixel(11, 20), qRgb(0, 0, 255));
    EXPECT_EQ(sheet.pixel(69, 59), qRgb(0, 128, 0));
    EXPECT_EQ(sheet.pixel(12, 20), qRgb(255, 255, 255)) << "the page is erased";
    EXPECT_EQ(sheet.pixel(9, 20), kUntouched) << "left of the printable area";
    EXPECT_EQ(sheet.pixel(70, 59), kUntouched) << "right of the printable area";
}

TEST(PrintJob, RefusesEmptyAndHugePagesBeforeAnyHook) {
    RecordingView view;
    QImage sheet = Sheet({4, 4});
    QPainter painter(&sheet);
    CPrintInfo info;
    EXPECT_FALSE(AfxRunPrintJob(view, info, painter, QRect(0, 0, 0, 10)));
    EXPECT_FALSE(AfxRunPrintJob(view, info, painter, QRect(0, 0, 100000, 100000)));
    EXPECT_TRUE(view.hooks.empty());
}

class PrintingTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Printer().setOutputFormat(QPrinter::PdfFormat);
        Printer().setOutputFileName(QString::fromStdString(m_pdf));
    }
    void TearDown() override {
        Printer().setPageOrientation(QPageLayout::Portrait);
        Printer().setOutputFileName({});
        AppFixture::TearDown();
    }

    static QPrinter& Printer() { return AfxGetPrinter(); }
    CFrameWnd* Frame() const { return static_cast<CFrameWnd*>(theApp.m_pMainWnd); }
    // Sends a command that opens a modal dialog of type D and hands it to act.
    template <typename D> void CommandDialog(UINT id, const std::function<void(D&)>& act) {
        OnModalDialog([&] { EXPECT_TRUE(Frame()->SendCommand(id)); },
                      [&](QDialog& dialog) {
                          auto* expected = qobject_cast<D*>(&dialog);
                          ASSERT_NE(expected, nullptr) << dialog.metaObject()->className();
                          act(*expected);
                      });
    }
    QByteArray Pdf() const {
        QFile file(QString::fromStdString(m_pdf));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A 40 x 30 sheet whose printable area starts at (5, 7).
    QImage PrintedSheet() {
        QImage sheet = Sheet({40, 30});
        CPrintInfo info;
        QPainter painter(&sheet);
        EXPECT_TRUE(AfxRunPrintJob(*m_view, info, painter, QRect(5, 7, 20, 10)));
        painter.end();
        return sheet;
    }

    const std::string m_pdf = HostPath("page.pdf");
};

TEST_F(PrintingTest, LoadedImageIsPrintedOneDotPerPixel) {
    // 3 x 2, 24 bits: blue, green, red bytes per pixel.
    Write("small.bmp",
          testbitmaps::MakeBitmap(3, 2, 24,
                                  {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0,
                                   0xC0, 0xD0, 0xE0, 0xF0, 0x01, 0x02, 0x03}));
    Open("small.bmp");
    const QImage sheet = PrintedSheet();
    EXPECT_EQ(sheet.pixel(5, 7), qRgb(0x30, 0x20, 0x10));
    EXPECT_EQ(sheet.pixel(7, 7), qRgb(0x90, 0x80, 0x70));
    EXPECT_EQ(sheet.pixel(5, 8), qRgb(0xC0, 0xB0, 0xA0));
    EXPECT_EQ(sheet.pixel(7, 8), qRgb(0x03, 0x02, 0x01));
    EXPECT_EQ(sheet.pixel(8, 8), qRgb(255, 255, 255));
}

TEST_F(PrintingTest, ScrolledAndZoomedViewPrintsFromTheImagesCornerAtOneDotAPixel) {
    // Gray levels (x + y) modulo 256 through the default gray palette.
    testbitmaps::Bytes pixels;
    for (int y = 0; y < 900; ++y)
        for (int x = 0; x < 1200; ++x)
            pixels.push_back(static_cast<BYTE>(x + y));
    Write("big.bmp", testbitmaps::MakeBitmap(1200, 900, 8, pixels));
    Open("big.bmp");
    QApplication::processEvents();
    m_view->ScrollToPosition(CPoint{300, 200});
    ASSERT_EQ(m_view->GetScrollPosition().x, 300);
    ASSERT_EQ(Painted().pixel(0, 0), qRgb(244, 244, 244)); // 500 modulo 256

    for (const CZoom zoom : {CZoom(), CZoom::Enlarging(4), CZoom::Reducing(2)}) {
        m_view->SetZoom(zoom);
        const CPoint position = m_view->GetScrollPosition();
        const QImage sheet = PrintedSheet();
        EXPECT_EQ(m_view->GetScrollPosition().y, position.y);
        EXPECT_EQ(sheet.pixel(5, 7), qRgb(0, 0, 0)) << zoom.Text();
        EXPECT_EQ(sheet.pixel(8, 9), qRgb(5, 5, 5)) << zoom.Text();
        EXPECT_EQ(sheet.pixel(9, 9), qRgb(6, 6, 6)) << zoom.Text();
    }
}

TEST_F(PrintingTest, PrintCommandWritesTheFileChosenInThePrintDialog) {
    CommandDialog<QPrintDialog>(ID_FILE_PRINT, [](QPrintDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_pdf))) << "cancelled";

    CommandDialog<QPrintDialog>(ID_FILE_PRINT, [](QPrintDialog& dialog) { dialog.accept(); });
    EXPECT_TRUE(Pdf().startsWith("%PDF-"));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PrintingTest, DirectJobPrintsWithoutTheDialog) {
    RecordingView view;
    view.direct = TRUE;
    ExpectNoModalDialog([&] { view.OnFilePrint(); });
    EXPECT_EQ(view.HookNames(), (std::vector<std::string>{"begin", "draw", "end"}));
    EXPECT_TRUE(Pdf().startsWith("%PDF-"));
}

TEST_F(PrintingTest, DirectPrintCommandSkipsTheDialogAndPrintAsksAgainAfterIt) {
    ExpectNoModalDialog([&] { EXPECT_TRUE(Frame()->SendCommand(ID_FILE_PRINT_DIRECT)); });
    EXPECT_TRUE(Pdf().startsWith("%PDF-"));
    CommandDialog<QPrintDialog>(ID_FILE_PRINT, [](QPrintDialog& dialog) { dialog.reject(); });
}

TEST_F(PrintingTest, PrintThatCannotWriteItsFileSaysSo) {
    Printer().setOutputFileName(QString::fromStdString(HostPath("missing/page.pdf")));
    CommandDialog<QPrintDialog>(ID_FILE_PRINT, [](QPrintDialog& dialog) { dialog.accept(); });
    EXPECT_EQ(m_messages, std::vector<std::string>{"无法打印这一页。"});
}

TEST_F(PrintingTest, PreviewShowsThePageWithoutAPrintDialogOrAFile) {
    CommandDialog<QPrintPreviewDialog>(ID_FILE_PRINT_PREVIEW,
                                       [](QPrintPreviewDialog& preview) { preview.close(); });
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_pdf)));

    RecordingView view;
    OnModalDialog([&] { view.OnFilePrintPreview(); }, [](QDialog& preview) { preview.close(); });
    ASSERT_GE(view.hooks.size(), 3u);
    EXPECT_EQ(view.hooks[0].name, "begin");
    EXPECT_TRUE(view.hooks[1].printing);
}

TEST_F(PrintingTest, PrintSetupTurnsTheSharedPrinterForLaterJobs) {
    CommandDialog<QPageSetupDialog>(ID_FILE_PRINT_SETUP, [](QPageSetupDialog& dialog) {
        auto* landscape = dialog.findChild<QRadioButton*>("landscape");
        ASSERT_NE(landscape, nullptr);
        landscape->click();
        dialog.accept();
    });
    EXPECT_EQ(Printer().pageLayout().orientation(), QPageLayout::Landscape);

    RecordingView view;
    CPrintInfo info;
    ASSERT_TRUE(AfxPrintView(view, info, Printer()));
    EXPECT_GT(view.drawRect.Width(), view.drawRect.Height());
    EXPECT_FALSE(Pdf().isEmpty());
}

} // namespace
