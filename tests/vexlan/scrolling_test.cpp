// The scrolling view: scroll sizes that follow what is painted, the pixels shown at a scroll
// position, the keys and the wheel that scroll, painting limited to a clip box, and loads of
// the same size that decode into the planes already held.
#include "imagesetfixture.h"
#include "resource.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <tuple>

namespace {

constexpr COLORREF kUntouched = 0x00ABCDEF;

class ScrollingTest : public ImageSetTest {
protected:
    QAbstractScrollArea& Area() const {
        return *qobject_cast<QAbstractScrollArea*>(AfxGetWidget(m_view));
    }
    QSize Client() const { return Area().viewport()->size(); }
    CSize Total() const { return m_view->GetTotalSize(); }
    CPoint Position() const { return m_view->GetScrollPosition(); }
    // A 24-bit image whose pixel (x, y) is blue x, green y, red x + y, all modulo 256.
    void WriteGradient(const std::string& name, int width, int height) {
        Bytes pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.insert(pixels.end(), {static_cast<BYTE>(x), static_cast<BYTE>(y),
                                             static_cast<BYTE>(x + y)});
        Write(name, MakeBitmap(width, height, 24, pixels));
    }
    void WriteList(const std::string& name, const std::string& entries, int count) {
        std::ofstream(HostPath(name)) << count << "\n" << m_dirSystemPath << "\n" << entries;
    }
    void Wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QPoint pixels = QPoint()) {
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), pixels, QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Area().viewport(), &wheel);
    }
    static QRgb Color(int red, int green, int blue) { return qRgb(red, green, blue) & 0xFFFFFF; }
};

TEST_F(ScrollingTest, ScrollSizesFollowLoadSegmentationListStepsAndFileOpen) {
    EXPECT_EQ(Total().cx, 0); // nothing painted yet
    WriteGradient("a.bmp", 30, 20);
    WriteGradient("b.bmp", 30, 20);
    WriteGradient("wide.bmp", 50, 10);
    WriteList("set.lst", "a.bmp b.bmp", 2);

    Open("set.lst");
    EXPECT_EQ(std::pair(Total().cx, Total().cy), std::pair(30, 20));
    m_view->OnColorSegmentation();
    EXPECT_EQ(std::pair(Total().cx, Total().cy), std::pair(60, 20));
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_EQ(std::pair(Total().cx, Total().cy), std::pair(30, 20)); // the result is dropped
    Open("wide.bmp");
    EXPECT_EQ(std::pair(Total().cx, Total().cy), std::pair(50, 10));
    EXPECT_FALSE(Area().horizontalScrollBar()->isVisibleTo(&Area()));
    EXPECT_FALSE(Area().verticalScrollBar()->isVisibleTo(&Area()));

    // A cancelled or refused File Open paints nothing, so there is nothing to scroll over.
    WriteText("bad.lst", "x\n");
    for (const char* chosen : {"", "bad.lst"}) {
        m_view->OnColorSegmentation();
        ASSERT_EQ(Total().cx, 100);
        AnswerFileDialog(*chosen ? HostPath(chosen) : "");
        EXPECT_EQ(std::pair(Total().cx, Total().cy), std::pair(0, 0)) << chosen;
        Open("wide.bmp");
    }
}

TEST_F(ScrollingTest, ScrolledViewShowsTheImageAndResultPixelsOfItsPosition) {
    WriteGradient("big.bmp", 1200, 900);
    Open("big.bmp");
    m_view->OnColorSegmentation();
    QApplication::processEvents(); // the scroll area shows its bars from its event queue
    ASSERT_EQ(std::pair(Total().cx, Total().cy), std::pair(2400, 900));
    EXPECT_EQ(Position().x, 0);
    EXPECT_EQ(Rgb(Painted(), 3, 2), Color(5, 2, 3)); // at the origin as without scrolling
    EXPECT_TRUE(Area().horizontalScrollBar()->isVisibleTo(&Area()));
    EXPECT_TRUE(Area().verticalScrollBar()->isVisibleTo(&Area()));

    m_view->ScrollToPosition(CPoint{1000, 300});
    ASSERT_EQ(std::pair(Position().x, Position().y), std::pair(1000, 300));
    const QImage shot = Painted();
    EXPECT_EQ(Rgb(shot, 0, 0), Color((1000 + 300) % 256, 300 % 256, 1000 % 256));
    const BYTE result = m_view->m_pResultImage[310 * 1200 + 50];
    EXPECT_EQ(Rgb(shot, 250, 10), Color(result, result, result)); // image column 1250

    m_view->ScrollToPosition(CPoint{99999, 99999}); // clamped to the far corner
    EXPECT_EQ(std::pair(Position().x, Position().y),
              std::pair(2400 - Client().width(), 900 - Client().height()));
}

TEST_F(ScrollingTest, KeysAndTheWheelScrollWhilePageDownStepsTheList) {
    WriteGradient("one.bmp", 1500, 900);
    WriteGradient("two.bmp", 1500, 900);
    WriteGradient("small.bmp", 900, 700);
    WriteList("set.lst", "one.bmp two.bmp small.bmp", 3);
    Open("set.lst");
    const int line = Area().verticalScrollBar()->singleStep();
    ASSERT_GT(line, 0);

    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    EXPECT_EQ(std::pair(Position().x, Position().y),
              std::pair(Area().horizontalScrollBar()->singleStep(), line));
    Key(Qt::Key_End);
    EXPECT_EQ(std::pair(Position().x, Position().y),
              std::pair(1500 - Client().width(), 900 - Client().height()));
    Key(Qt::Key_Home);
    EXPECT_EQ(std::pair(Position().x, Position().y), std::pair(0, 0));
    Wheel(-120);
    EXPECT_EQ(Position().y, 3 * line);
    Wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(Position().x, 3 * Area().horizontalScrollBar()->singleStep());

    m_view->ScrollToPosition(CPoint{150, 120});
    Key(Qt::Key_PageDown); // an image of the same size: the position stays
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_EQ(std::pair(Position().x, Position().y), std::pair(150, 120));
    Key(Qt::Key_PageDown); // a smaller one: clamped
    EXPECT_EQ(m_view->m_nCurrentFile, 2);
    EXPECT_EQ(Position().x, std::min(150, 900 - Client().width()));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    Open("two.bmp"); // File Open starts at the corner, whatever the size
    EXPECT_EQ(std::pair(Position().x, Position().y), std::pair(0, 0));

    // 放大 and 缩小 are grayed at the ends of the range, and only there.
    auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
    for (const auto& [zoom, in, out] :
         {std::tuple(CZoom::Enlarging(64), false, true), std::tuple(CZoom(), true, true),
          std::tuple(CZoom::Reducing(32), true, false)}) {
        ASSERT_TRUE(m_view->SetZoom(zoom));
        EXPECT_EQ(frame->QueryCommandUI(ID_VIEW_ZOOM_IN).m_bEnabled, in) << zoom.Text();
        EXPECT_EQ(frame->QueryCommandUI(ID_VIEW_ZOOM_OUT).m_bEnabled, out) << zoom.Text();
    }

    // At a zoom the keys and the wheel move over the zoomed extent.
    for (const CZoom zoom : {CZoom::Enlarging(4), CZoom::Reducing(2)}) {
        ASSERT_TRUE(m_view->SetZoom(zoom));
        const auto extent = [&zoom](int logical) {
            return static_cast<int>(zoom.DeviceOffset(logical));
        };
        EXPECT_EQ(Area().horizontalScrollBar()->maximum(),
                  std::max(extent(1500) - Client().width(), 0))
            << zoom.Text();
        Key(Qt::Key_End);
        EXPECT_EQ(Position().y, std::max(extent(900) - Client().height(), 0)) << zoom.Text();
        Key(Qt::Key_Home);
        Wheel(-120);
        Key(Qt::Key_Down);
        EXPECT_EQ(Position().y, std::min(4 * Area().verticalScrollBar()->singleStep(),
                                         Area().verticalScrollBar()->maximum()))
            << zoom.Text();
    }
}

// Zoom In and Out from the menu or the keys keep the pixel under the window's centre where it
// is; Fit fills the window as it is without scroll bars.
TEST_F(ScrollingTest, ZoomKeepsTheCentreAndFitIgnoresTheScrollBars) {
    WriteGradient("big.bmp", 1500, 900);
    Open("big.bmp");
    const CPoint centre{700, 450};
    auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
    m_view->ScrollToPosition(
        CPoint{centre.x - Client().width() / 2, centre.y - Client().height() / 2});
    // Device pixel d shows logical pixels d * r / e up to (d + 1) * r / e.
    const auto showsCentre = [&](int device, int logical) {
        const std::int64_t e = m_view->GetZoom().Enlargement();
        const std::int64_t r = m_view->GetZoom().Reduction();
        return device * r < (logical + 1) * e && logical * e < (device + 1) * r;
    };
    for (const auto& [command, zoom] :
         {std::pair(ID_VIEW_ZOOM_IN, CZoom::Enlarging(2)),
          std::pair(ID_VIEW_ZOOM_IN, CZoom::Enlarging(4)),
          std::pair(ID_VIEW_ZOOM_OUT, CZoom::Enlarging(2)), std::pair(ID_VIEW_ZOOM_OUT, CZoom())}) {
        frame->SendCommand(command);
        ASSERT_EQ(m_view->GetZoom(), zoom);
        EXPECT_TRUE(showsCentre(Position().x + Client().width() / 2, centre.x)) << zoom.Text();
        EXPECT_TRUE(showsCentre(Position().y + Client().height() / 2, centre.y)) << zoom.Text();
    }

    const QSize largest = Area().maximumViewportSize();
    WriteGradient("tall.bmp", largest.width(), 2 * largest.height());
    Open("tall.bmp");
    QApplication::processEvents();
    ASSERT_TRUE(Area().verticalScrollBar()->isVisibleTo(&Area()));
    frame->SendCommand(ID_VIEW_ZOOM_FIT);
    EXPECT_EQ(m_view->GetZoom().Text(), "50%");
}

TEST_F(ScrollingTest, WheelPartsAddUpToNotchesAndPixelDeltasScrollExactly) {
    WriteGradient("big.bmp", 1500, 900);
    Open("big.bmp");
    const int line = Area().verticalScrollBar()->singleStep();
    for (int i = 0; i < 8; ++i)
        Wheel(-15);
    EXPECT_EQ(Position().y, QApplication::wheelScrollLines() * line);
    for (int i = 0; i < 8; ++i)
        Wheel(-15, Qt::ShiftModifier);
    EXPECT_EQ(Position().x,
              QApplication::wheelScrollLines() * Area().horizontalScrollBar()->singleStep());
    Wheel(-120, Qt::NoModifier, QPoint(-3, -37)); // a touchpad's pixels win over its angle
    EXPECT_EQ(
        std::pair(Position().x, Position().y),
        std::pair(QApplication::wheelScrollLines() * Area().horizontalScrollBar()->singleStep() + 3,
                  QApplication::wheelScrollLines() * line + 37));
}

TEST_F(ScrollingTest, PaintingWithinAClipBoxAtAZoomEqualsAFullPaintMapped) {
    constexpr int width = 37, height = 23;
    std::mt19937 random(7);
    const auto plane = [&random](std::size_t size) {
        CByteBlock block = DEBUG_NEW_BYTES(size);
        for (std::size_t i = 0; i < size; ++i)
            block[i] = static_cast<BYTE>(random());
        return block;
    };
    m_view->m_nWidth = width;
    m_view->m_nHeight = height;
    m_view->m_pGrayImage = plane(width * height);
    m_view->m_pColorImage = plane(3 * width * height);
    m_view->m_pResultImage = plane(width * height);
    m_view->m_bShowResult = 1;

    for (const auto& [gray, color] : {std::pair(1, 0), std::pair(0, 1), std::pair(1, 1)}) {
        m_view->m_bGrayMode = gray;
        m_view->m_bColorMode = color;
        std::vector<std::uint32_t> fullBits((2 * width + 3) * (height + 3));
        CDC full(fullBits.data(), 2 * width + 3, height + 3, 2 * width + 3);
        full.FillSolidRect(CRect{0, 0, 2 * width + 3, height + 3}, kUntouched);
        m_view->OnDraw(&full);

        // Enlarged, each device pixel shows the full paint's pixel of its block; reduced, the
        // one it samples, whatever the clip cuts.
        for (const CZoom zoom : {CZoom(), CZoom::Enlarging(3), CZoom::Reducing(3)})
            for (const CPoint origin :
                 {CPoint{0, 0}, CPoint{-5, -3}, CPoint{-30, -20}, CPoint{2, 1}})
                for (const CRect clip :
                     {CRect{0, 0, 16, 12}, CRect{3, 2, 9, 11}, CRect{15, 0, 16, 1}}) {
                    std::vector<std::uint32_t> bits(16 * 12);
                    CDC part(bits.data(), 16, 12, 16);
                    part.FillSolidRect(CRect{0, 0, 16, 12}, kUntouched);
                    part.IntersectClipRect(clip);
                    part.SetViewportOrg(origin.x, origin.y);
                    part.SetZoom(zoom);
                    m_view->OnDraw(&part);
                    for (int y = 0; y < 12; ++y)
                        for (int x = 0; x < 16; ++x) {
                            const auto fx = zoom.LogicalAt(x - origin.x);
                            const auto fy = zoom.LogicalAt(y - origin.y);
                            const bool shown = clip.PtInRect(x, y) && fx >= 0 && fy >= 0 &&
                                               fx < 2 * width + 3 && fy < height + 3;
                            const COLORREF expected =
                                shown ? full.GetPixel(static_cast<int>(fx), static_cast<int>(fy))
                                      : kUntouched;
                            ASSERT_EQ(CDC(bits.data(), 16, 12, 16).GetPixel(x, y), expected)
                                << x << "," << y << " origin " << origin.x << "," << origin.y
                                << " zoom " << zoom.Text();
                        }
                }
    }
}

TEST_F(ScrollingTest, SameSizeLoadDecodesIntoThePlanesItHolds) {
    WriteGradient("a.bmp", 6, 4);
    WriteGradient("b.bmp", 6, 4);
    Write("indexed.bmp", MakeBitmap(6, 4, 8, Bytes(24, 9)));
    Load("a.bmp");
    const BYTE* gray = m_view->m_pGrayImage.get();
    const BYTE* color = m_view->m_pColorImage.get();
    const std::size_t blocks = AfxLiveBlockCount("vexlanview");
    std::memset(m_view->m_pGrayImage.get(), 0x77, 24);
    std::memset(m_view->m_pColorImage.get(), 0x77, 72);

    Load("b.bmp");
    EXPECT_EQ(m_view->m_pGrayImage.get(), gray);
    EXPECT_EQ(m_view->m_pColorImage.get(), color);
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), blocks);
    EXPECT_EQ(Bytes(gray, gray + 24), Bytes(24, 0)); // a 24-bit file's gray plane, cleared
    EXPECT_EQ(color[3 * (6 * 2 + 5) + 2], 2 + 5);    // red of pixel (5, 2)

    Load("indexed.bmp"); // the same size at another depth gets new planes
    EXPECT_NE(m_view->m_pColorImage.get(), color);
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), blocks);
    EXPECT_EQ(m_view->m_pGrayImage[23], 9);
}

} // namespace
