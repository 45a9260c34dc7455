// What the user sees: the real main window on an X server, its pixels read back from the
// server after each action and compared with what the planes say must be there. Rendering
// the widget afresh would paint the right picture even when the screen never got it.
#include "imagesetfixture.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

namespace {

constexpr QRgb kBackground = 0xFFFFFF;

class ScreenTest : public ImageSetTest {
protected:
    void SetUp() override {
        ImageSetTest::SetUp();
        QWidget* window = AfxGetWidget(theApp.m_pMainWnd);
        window->setGeometry(0, 0, 800, 600);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }

    QAbstractScrollArea& Area() const {
        return *qobject_cast<QAbstractScrollArea*>(AfxGetWidget(m_view));
    }

    // A 24-bit image: a gradient tinted by seed, so that images of one size differ everywhere.
    void WriteImage(const std::string& name, int width, int height, int seed) {
        Bytes pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.insert(pixels.end(), {static_cast<BYTE>(x + seed), static_cast<BYTE>(y),
                                             static_cast<BYTE>(x * y + 60 * seed)});
        Write(name, MakeBitmap(width, height, 24, pixels));
    }

    // The viewport's pixels as the X server holds them.
    QImage Screen() const {
        QWidget* viewport = Area().viewport();
        QWidget* window = viewport->window();
        const QPoint origin = viewport->mapTo(window, QPoint(0, 0));
        return window->screen()
            ->grabWindow(window->winId(), origin.x(), origin.y(), viewport->width(),
                         viewport->height())
            .toImage();
    }

    // What OnDraw's layers put at a logical point, or the background.
    QRgb Expected(int x, int y) const {
        const CVexlanView& v = *m_view;
        const int w = v.m_nWidth;
        if (!v.m_pGrayImage || y < 0 || y >= v.m_nHeight)
            return kBackground;
        if (x >= 0 && x < w && v.m_bColorMode == 1) {
            const BYTE* bgr = v.m_pColorImage.get() + 3 * (std::ptrdiff_t{y} * w + x);
            return qRgb(bgr[2], bgr[1], bgr[0]) & 0xFFFFFF;
        }
        if (x >= 0 && x < w && v.m_bGrayMode == 1)
            return qRgb(v.m_pGrayImage[y * w + x], v.m_pGrayImage[y * w + x],
                        v.m_pGrayImage[y * w + x]) &
                   0xFFFFFF;
        if (x >= w && x < 2 * w && v.m_bShowResult == 1 && v.m_pResultImage) {
            const BYTE value = v.m_pResultImage[y * w + x - w];
            return qRgb(value, value, value) & 0xFFFFFF;
        }
        return kBackground;
    }

    // The first pixel where the screen differs from the planes at the scroll position.
    std::optional<std::string> FirstMismatch() const {
        const QImage shot = Screen();
        const CPoint scroll = m_view->GetScrollPosition();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb want = Expected(x + scroll.x, y + scroll.y);
                if (Rgb(shot, x, y) != want) {
                    std::ostringstream out;
                    out << "screen (" << x << ", " << y << ") is " << std::hex << Rgb(shot, x, y)
                        << ", the planes say " << want << " (scrolled to " << std::dec << scroll.x
                        << ", " << scroll.y << ")";
                    return out.str();
                }
            }
        return std::nullopt;
    }

    // Repaints reach the server through the event loop: give them a while to arrive.
    std::optional<std::string> ScreenSettles() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::optional<std::string> mismatch;
        do {
            QApplication::processEvents();
            mismatch = FirstMismatch();
        } while (mismatch && std::chrono::steady_clock::now() < deadline);
        return mismatch;
    }

    void Wheel(QPoint angle) {
        const QPointF at(40, 40);
        QWheelEvent wheel(at, Area().viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Area().viewport(), &wheel);
    }
    CPoint Position() const { return m_view->GetScrollPosition(); }
};

struct ScreenRow {
    const char* action;
    std::function<void()> act;
    const char* title; // the caption's image after the action
    std::function<bool()> holds = [] { return true; };
};

TEST_F(ScreenTest, EveryActionReachesTheScreen) {
    WriteImage("granite61x37.bmp", 61, 37, 1);
    WriteImage("large.bmp", 900, 700, 2);
    WriteImage("medium.bmp", 700, 400, 3);
    WriteImage("wide.bmp", 1761, 10, 4);
    for (int i = 0; i < 3; ++i)
        WriteImage("page" + std::to_string(i) + ".bmp", 500, 300, 5 + i);
    std::ofstream(HostPath("pages.lst")) << "3\n"
                                         << m_dirSystemPath << "\npage0.bmp page1.bmp page2.bmp\n";
    int before = 0;

    const ScreenRow rows[] = {
        {"open a small image first", [&] { Open("granite61x37.bmp"); }, "granite61x37.bmp"},
        {"segment it", [&] { m_view->OnColorSegmentation(); }, "granite61x37.bmp",
         [&] { return m_view->m_pResultImage != nullptr; }},
        {"open a larger image", [&] { Open("large.bmp"); }, "large.bmp"},
        {"a smaller one after it", [&] { Open("medium.bmp"); }, "medium.bmp"},
        {"a wider one than the window", [&] { Open("wide.bmp"); }, "wide.bmp",
         [&] { return Area().horizontalScrollBar()->isVisible(); }},
        {"scroll right by arrow", [&] { Key(Qt::Key_Right); }, "wide.bmp",
         [&] { return Position().x > 0; }},
        {"segment while scrolled", [&] { m_view->OnColorSegmentation(); }, "wide.bmp"},
        {"and back to a smaller one", [&] { Open("medium.bmp"); }, "medium.bmp",
         [&] { return !Area().horizontalScrollBar()->isVisible(); }},
        {"open a list", [&] { Open("pages.lst"); }, "page0.bmp"},
        {"Page Down", [&] { Key(Qt::Key_PageDown); }, "page1.bmp"},
        {"Page Down again", [&] { Key(Qt::Key_PageDown); }, "page2.bmp"},
        {"Page Up", [&] { Key(Qt::Key_PageUp); }, "page1.bmp"},
        {"open a large image to scroll", [&] { Open("large.bmp"); }, "large.bmp"},
        {"scroll down by wheel", [&] { Wheel(QPoint(0, -120)); }, "large.bmp",
         [&] { return Position().y > 0; }},
        {"scroll down by arrow",
         [&] {
             before = Position().y;
             Key(Qt::Key_Down);
         },
         "large.bmp", [&] { return Position().y > before; }},
        {"scroll right by wheel", [&] { Wheel(QPoint(-120, 0)); }, "large.bmp",
         [&] { return Position().x > 0; }},
        {"scroll back up by arrow", [&] { Key(Qt::Key_Up); }, "large.bmp"},
    };
    for (const ScreenRow& row : rows) {
        SCOPED_TRACE(row.action);
        row.act();
        EXPECT_EQ(ScreenSettles(), std::nullopt);
        EXPECT_EQ(Title(), row.title);
        EXPECT_TRUE(row.holds());
    }
    EXPECT_TRUE(m_messages.empty());
}

} // namespace
