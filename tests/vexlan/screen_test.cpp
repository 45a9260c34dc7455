// What the user sees: the real main window on an X server, its pixels read back from the
// server after each action and compared with what the planes say must be there at the view's
// scroll position and zoom, and the status bar's readout of the pixel under the pointer.
// Rendering the widget afresh would paint the right picture even when the screen never got it.
#include "batchcapture.h"
#include "hostilefiles.h"
#include "imagefiles.h"
#include "imagesetfixture.h"
#include "resource.h"
#include "stepbuild.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>

#include <chrono>
#include <cstdio>
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
        // The menu's keys work in the active window.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
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
        if ((!v.m_pGrayImage && !v.m_pResultImage) || y < 0 || y >= v.m_nHeight)
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

    // The logical pixel that a point of the viewport shows at the scroll position and zoom:
    // enlarged e times, each pixel is an e x e block; reduced r times, every r-th is shown.
    CPoint Under(QPoint at) const {
        const CPoint scroll = m_view->GetScrollPosition();
        const int e = m_view->GetZoom().Enlargement();
        const int r = m_view->GetZoom().Reduction();
        return CPoint{(scroll.x + at.x()) / e * r, (scroll.y + at.y()) / e * r};
    }

    // The first pixel where the screen differs from the planes at the scroll position and
    // zoom: enlarged, every image pixel must be a block of its colour; reduced, each screen
    // pixel the colour of the image pixel it samples.
    std::optional<std::string> FirstMismatch() const {
        const QImage shot = Screen();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const CPoint shown = Under(QPoint(x, y));
                const QRgb want = Expected(shown.x, shown.y);
                if (Rgb(shot, x, y) != want) {
                    const CPoint scroll = m_view->GetScrollPosition();
                    std::ostringstream out;
                    out << "screen (" << x << ", " << y << ") is " << std::hex << Rgb(shot, x, y)
                        << ", the planes say " << want << " (scrolled to " << std::dec << scroll.x
                        << ", " << scroll.y << " at " << m_view->GetZoom().Text() << ")";
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

    void Wheel(QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QPointF at = QPointF(40, 40)) {
        QWheelEvent wheel(at, Area().viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Area().viewport(), &wheel);
    }
    CPoint Position() const { return m_view->GetScrollPosition(); }
    QMainWindow& Window() const {
        return *qobject_cast<QMainWindow*>(AfxGetWidget(theApp.m_pMainWnd));
    }
    void CtrlKey(Qt::Key key) { QTest::keyClick(AfxGetWidget(m_view), key, Qt::ControlModifier); }
    // Triggers the item of View > Zoom whose text starts with item.
    void ChooseZoom(const QString& item) {
        const auto popup = [](const QList<QAction*>& actions, const QString& text) {
            for (QAction* action : actions)
                if (action->text().startsWith(text))
                    return action;
            return static_cast<QAction*>(nullptr);
        };
        QAction* view = popup(Window().menuBar()->actions(), "查看");
        QAction* zoom = view ? popup(view->menu()->actions(), "缩放") : nullptr;
        QAction* chosen = zoom ? popup(zoom->menu()->actions(), item) : nullptr;
        ASSERT_NE(chosen, nullptr) << item.toStdString();
        chosen->trigger();
    }
    std::string MessagePane() const {
        return Window().statusBar()->findChild<QLabel*>("pane0")->text().toStdString();
    }
    // The message pane after the pointer moves to a point of the viewport.
    std::string ReadoutAt(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, Area().viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Area().viewport(), &move);
        return MessagePane();
    }
    void PointerLeaves() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(Area().viewport(), &leave);
    }
    // What the readout must say over image pixel p of an image of WriteImage's.
    static std::string ImageReadout(CPoint p, int seed) {
        return "x " + std::to_string(p.x) + ", y " + std::to_string(p.y) + "  R " +
               std::to_string((p.x * p.y + 60 * seed) % 256) + " G " + std::to_string(p.y % 256) +
               " B " + std::to_string((p.x + seed) % 256);
    }
    std::string ResultReadout(CPoint p) const {
        const int x = p.x - m_view->m_nWidth;
        return "x " + std::to_string(x) + ", y " + std::to_string(p.y) + "  结果 " +
               std::to_string(m_view->m_pResultImage[p.y * m_view->m_nWidth + x]);
    }
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
    WriteImage("wider.bmp", 8192, 12, 9);
    // Palette indices 0, 1, 2: blue, green and red; as .raw painted as gray.
    for (const char* name : {"indexed.bmp", "indexed.raw"})
        Write(name, MakeBitmap(3, 1, 8, Bytes{0, 1, 2}, {0x0000FF, 0x00FF00, 0xFF0000}));
    for (int i = 0; i < 3; ++i)
        WriteImage("page" + std::to_string(i) + ".bmp", 500, 300, 5 + i);
    std::ofstream(HostPath("pages.lst")) << "3\n"
                                         << m_dirSystemPath << "\npage0.bmp page1.bmp page2.bmp\n";
    QImage photo(90, 60, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb(2 * x, 4 * y, 255 - x - y));
    Write("photo.png", testimages::Encoded(photo, "png"));
    Write("photo.jpg", testimages::Encoded(photo, "jpeg"));
    // Gray levels 0, 17, 34 of a gray PNG, and the same pixels as indices into a palette.
    QImage levels(3, 1, QImage::Format_Grayscale8);
    for (int x = 0; x < 3; ++x)
        levels.scanLine(0)[x] = static_cast<uchar>(17 * x);
    Write("levels.png", testimages::Encoded(levels, "png"));
    QImage indexed(3, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(9, 9, 9), qRgb(200, 0, 0), qRgb(0, 90, 90)});
    for (int x = 0; x < 3; ++x)
        indexed.setPixel(x, 0, static_cast<uint>(x));
    Write("indices.png", testimages::Encoded(indexed, "png"));
    std::ofstream(HostPath("photos.lst")) << "2 " << m_dirSystemPath << " photo.png photo.jpg\n";
    // A result saved elsewhere, of no image that is open: it stands beside an empty slot.
    QDir(m_dir.path()).mkdir("saved");
    Bytes alone = {40, 0, 0, 0, 30, 0, 0, 0};
    for (int i = 0; i < 40 * 30; ++i)
        alone.push_back(static_cast<BYTE>(7 * i));
    Write("saved/outalone.raw", alone);
    Bytes saved;
    int before = 0;
    CPoint pixel;
    const QPoint pointer(300, 200);
    std::string readout;

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
        {"zoom in by Ctrl++ and scroll",
         [&] {
             CtrlKey(Qt::Key_Plus);
             Key(Qt::Key_End);
         },
         "page1.bmp", [&] { return m_view->GetZoom() == CZoom::Enlarging(2) && Position().x > 0; }},
        {"Page Down keeps the zoom and the position",
         [&] {
             before = Position().x;
             Key(Qt::Key_PageDown);
         },
         "page2.bmp",
         [&] { return m_view->GetZoom() == CZoom::Enlarging(2) && Position().x == before; }},
        {"zoom out by Ctrl+- below 1",
         [&] {
             CtrlKey(Qt::Key_Minus);
             CtrlKey(Qt::Key_Minus);
         },
         "page2.bmp", [&] { return m_view->GetZoom() == CZoom::Reducing(2); }},
        {"File Open starts at zoom 1", [&] { Open("large.bmp"); }, "large.bmp",
         [&] { return m_view->GetZoom() == CZoom() && Position().x == 0; }},
        {"zoom in twice by Ctrl+=",
         [&] {
             CtrlKey(Qt::Key_Equal);
             CtrlKey(Qt::Key_Equal);
         },
         "large.bmp",
         [&] {
             return m_view->GetZoom() == CZoom::Enlarging(4) &&
                    Window().windowTitle().endsWith("(400%)");
         }},
        {"the readout at 4 times", [&] { readout = ReadoutAt(pointer); }, "large.bmp",
         [&] { return readout == ImageReadout(Under(pointer), 2); }},
        {"actual size from the menu", [&] { ChooseZoom("实际大小"); }, "large.bmp",
         [&] {
             return m_view->GetZoom() == CZoom() && Window().windowTitle() == "large.bmp - Vexlan";
         }},
        {"Ctrl+wheel zooms in about the pointer",
         [&] {
             pixel = Under(pointer);
             Wheel(QPoint(0, 120), Qt::ControlModifier, pointer);
         },
         "large.bmp",
         [&] {
             const CPoint now = Under(pointer);
             return m_view->GetZoom() == CZoom::Enlarging(2) && now.x == pixel.x &&
                    now.y == pixel.y;
         }},
        {"and out again", [&] { Wheel(QPoint(0, -120), Qt::ControlModifier, pointer); },
         "large.bmp",
         [&] {
             const CPoint now = Under(pointer);
             return m_view->GetZoom() == CZoom() && now.x == pixel.x && now.y == pixel.y;
         }},
        {"segment it for the readout over the result",
         [&] {
             ChooseZoom("实际大小");
             m_view->OnColorSegmentation();
             readout = ReadoutAt(QPoint(950, 10) - QPoint(Position().x, Position().y));
         },
         "large.bmp",
         [&] {
             return readout == ResultReadout(CPoint{950, 10});
         }},
        {"the pointer leaves the view", [&] { PointerLeaves(); }, "large.bmp",
         [&] { return MessagePane() == "就绪"; }},
        {"an 8-bit file's readout has the palette index",
         [&] {
             Open("indexed.bmp");
             readout = ReadoutAt(QPoint(2, 0));
         },
         "indexed.bmp", [&] { return readout == "x 2, y 0  R 255 G 0 B 0  索引 2"; }},
        {"a gray image's has its gray level",
         [&] {
             Open("levels.png");
             readout = ReadoutAt(QPoint(2, 0));
         },
         "levels.png", [&] { return readout == "x 2, y 0  R 34 G 34 B 34  灰度 34"; }},
        {"an indexed one's its palette index",
         [&] {
             Open("indices.png");
             readout = ReadoutAt(QPoint(2, 0));
         },
         "indices.png", [&] { return readout == "x 2, y 0  R 0 G 90 B 90  索引 2"; }},
        {"a .raw file's is the gray painted",
         [&] {
             Open("indexed.raw");
             readout = ReadoutAt(QPoint(1, 0));
         },
         "indexed.raw", [&] { return readout == "x 1, y 0  灰度 1"; }},
        {"nothing painted under the pointer", [&] { readout = ReadoutAt(QPoint(100, 100)); },
         "indexed.raw", [&] { return readout == "就绪"; }},
        {"nothing right of an image without a result", [&] { readout = ReadoutAt(QPoint(3, 0)); },
         "indexed.raw", [&] { return readout == "就绪"; }},
        {"nor right of the result or below the image",
         [&] {
             m_view->OnColorSegmentation();
             readout = ReadoutAt(QPoint(6, 0)) + "; " + ReadoutAt(QPoint(0, 1));
         },
         "indexed.raw", [&] { return readout == "就绪; 就绪"; }},
        {"a saved result opens beside its image",
         [&] {
             Open("granite61x37.bmp");
             m_view->OnColorSegmentation();
             m_view->OnFileSave();
             saved = ReadBack("outgranite61x37.raw");
             Open("granite61x37.bmp");
             OpenResult("outgranite61x37.raw");
             readout = ReadoutAt(QPoint(61 + 5, 7));
         },
         "granite61x37.bmp",
         [&] {
             return m_view->m_bColorMode == 1 && m_view->m_bShowResult == 1 &&
                    readout == ResultReadout(CPoint{61 + 5, 7}) &&
                    readout == "x 5, y 7  结果 " + std::to_string(saved[8 + 7 * 61 + 5]);
         }},
        {"and File Save writes the same bytes",
         [&] {
             std::remove(HostPath("outgranite61x37.raw").c_str());
             m_view->OnFileSave();
         },
         "granite61x37.bmp", [&] { return ReadBack("outgranite61x37.raw") == saved; }},
        {"a result of no open image stands beside an empty slot",
         [&] {
             OpenResult("saved/outalone.raw");
             readout = ReadoutAt(QPoint(40 + 3, 2)) + "|" + ReadoutAt(QPoint(3, 2));
         },
         "outalone.raw",
         [&] {
             return !m_view->m_pGrayImage &&
                    readout == "x 3, y 2  结果 " + std::to_string(alone[8 + 2 * 40 + 3]) + "|就绪";
         }},
        {"File Save writes it byte for byte", [&] { m_view->OnFileSave(); }, "outalone.raw",
         [&] { return ReadBack("outalone.raw") == alone; }},
        {"fit an 8192-wide image and its result to the window",
         [&] {
             Open("wider.bmp");
             m_view->OnColorSegmentation();
             ChooseZoom("适合窗口");
         },
         "wider.bmp",
         [&] {
             return m_view->GetZoom().DeviceOffset(2 * 8192) <= Area().viewport()->width() &&
                    !Area().horizontalScrollBar()->isVisible() && Position().x == 0;
         }},
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
        {"a PNG shows its own pixels", [&] { Open("photos.lst"); }, "photo.png",
         [&] {
             return Screen().copy(photo.rect()).convertToFormat(QImage::Format_RGB32) == photo;
         }},
        {"Page Down to a JPEG", [&] { Key(Qt::Key_PageDown); }, "photo.jpg"},
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

// A step that never returns, started after a message box took the focus away from the view:
// Esc still ends it, and the status bar says that it runs while the pointer reads pixels.
TEST_F(ScreenTest, EscEndsARunningStepWhereverTheFocusIs) {
    const QTemporaryDir data;
    setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
    std::string built;
    ASSERT_EQ(BuildStepFile(data.path().toStdString(), "endless",
                            "#include <vexlan/step.h>\nVEXLAN_STEP(endless, \"无尽\", \"\") {\n"
                            "    for (volatile int i = 0;; i = 0) {}\n}\n",
                            built),
              0)
        << built;
    m_view->UpdateInstalledSteps();
    WriteImage("small.bmp", 61, 37, 1);
    Open("small.bmp");

    // A real message box, answered with its own key as a user would.
    AfxSetMessageBoxHandler({});
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key_Return);
    });
    answer.start(50);
    Load("missing.bmp");
    answer.stop();
    // Xvfb has no window manager to give the window back its activation.
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    const std::string notice = "正在运行步骤“无尽”（endless），按 Esc 结束";
    for (bool viewHasFocus : {false, true}) {
        SCOPED_TRACE(viewHasFocus);
        if (viewHasFocus)
            AfxGetWidget(m_view)->setFocus();
        else if (QWidget* focus = QApplication::focusWidget())
            focus->clearFocus();
        m_view->OnInstalledStep(ID_FIRST_INSTALLED_STEP);
        Idle();
        ASSERT_TRUE(m_view->IsStepRunning());
        EXPECT_EQ(ReadoutAt(QPoint(2, 3)), ImageReadout(CPoint{2, 3}, 1) + "    " + notice);
        PointerLeaves();
        EXPECT_EQ(MessagePane(), notice);
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &Window(), Qt::Key_Escape);
        EXPECT_FALSE(m_view->IsStepRunning());
        EXPECT_EQ(MessagePane(), "步骤 endless 已结束，没有结果");
    }
    unsetenv("XDG_DATA_HOME");
}

// A file that takes seconds to read, stepped onto in a list: meanwhile the window repaints and
// opens its menus, and the status bar shows how far the load has come once it has taken half a
// second; Esc cancels it, and the image before is on the screen again, under its own title.
TEST_F(ScreenTest, ASlowFileLoadsWhileTheWindowGoesOnAndEscCancelsIt) {
    WriteImage("before.bmp", 1500, 900, 2);
    Write("slow.png", hostilefiles::SlowPng(4000, 1200));
    std::ofstream(HostPath("slow.lst")) << "2 " << m_dirSystemPath << " before.bmp slow.png\n";
    Open("slow.lst");
    ASSERT_EQ(ScreenSettles(), std::nullopt);
    Key(Qt::Key_PageDown);
    ASSERT_TRUE(m_view->IsLoading());
    EXPECT_EQ(Title(), "slow.png");

    // Scrolled, the image before reaches the screen at its new position.
    m_view->ScrollToPosition(CPoint{400, 300});
    EXPECT_EQ(ScreenSettles(), std::nullopt);
    QMenu* fileMenu = Window().menuBar()->actions().front()->menu();
    fileMenu->popup(Window().mapToGlobal(QPoint(10, 30)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fileMenu));
    EXPECT_FALSE(fileMenu->actions().isEmpty());
    fileMenu->close();
    const std::string loading = "正在打开 " + HostPath("slow.png") + "：";
    ASSERT_TRUE(QTest::qWaitFor([&] { return MessagePane().starts_with(loading); }, 10000))
        << MessagePane();
    EXPECT_NE(MessagePane().find("%，按 Esc 取消"), std::string::npos) << MessagePane();
    Idle(); // the window's keys are brought up to date while it waits for the user
    ASSERT_TRUE(m_view->IsLoading());

    QTest::keyClick(&Window(), Qt::Key_Escape);
    EXPECT_FALSE(m_view->IsLoading());
    EXPECT_EQ(m_view->m_nCurrentFile, 0);
    EXPECT_EQ(Title(), "before.bmp");
    EXPECT_EQ(MessagePane(), "已取消打开 " + HostPath("slow.png"));
    EXPECT_EQ(ScreenSettles(), std::nullopt);
    EXPECT_EQ(Position().x, 400);
    EXPECT_TRUE(m_messages.empty());
}

// The exercise's loop: a threshold turned by keyboard in the 参数 panel, the new result on the
// screen exactly as vexlan-batch makes it for that value, and the histogram that tells where
// to put the threshold, its bars read back from the X server.
class TurnAndWatchTest : public ScreenTest, protected BatchCapture {
protected:
    QWidget* Pane(UINT id) const {
        return Window().findChild<QDockWidget*>(QString("pane%1").arg(id));
    }
    // A screen region of widget, as the server holds it.
    QImage Grab(QWidget* widget, const QRect& rect) const {
        const QPoint origin = widget->mapTo(&Window(), rect.topLeft());
        return Window()
            .screen()
            ->grabWindow(Window().winId(), origin.x(), origin.y(), rect.width(), rect.height())
            .toImage();
    }
    // The rows of each column of a plot that show a bar, counted from its bottom row up.
    std::vector<int> BarHeights(int series) const {
        QWidget* widget = AfxGetWidget(m_view->Histogram().Histogram());
        const CRect plot = m_view->Histogram().Histogram()->PlotRect(series);
        const QImage shot = Grab(widget, QRect(plot.left, plot.top, plot.Width(), plot.Height()));
        std::vector<int> heights(static_cast<std::size_t>(plot.Width()));
        for (int x = 0; x < shot.width(); ++x)
            for (int y = shot.height() - 1; y >= 0 && Rgb(shot, x, y) == 0x303030; --y)
                ++heights[static_cast<std::size_t>(x)];
        return heights;
    }
    // Bar heights of a plot whose levels have these heights, the others none.
    static std::vector<int> Bars(std::initializer_list<std::pair<int, int>> levels) {
        std::vector<int> heights(256, 0);
        for (const auto& [level, height] : levels)
            heights[static_cast<std::size_t>(level)] = height;
        return heights;
    }
    // The result the runner writes for the image with threshold.
    Bytes Batched(int threshold) {
        const QTemporaryDir results;
        EXPECT_EQ(
            Batch({"-o", results.path().toStdString(), "--set",
                   "threshold=" + std::to_string(threshold), "thresh", HostPath("levels.bmp")}),
            kBatchAllSaved)
            << m_err;
        const Bytes saved = ReadFile(results.filePath("outlevels.raw").toStdString());
        return saved.size() > 8 ? Bytes(saved.begin() + 8, saved.end()) : Bytes{};
    }
    // The result half of the view as the server shows it, one byte per pixel.
    Bytes ResultOnScreen() const {
        const QImage shot = Screen();
        Bytes shown;
        for (int y = 0; y < 32; ++y)
            for (int x = 64; x < 128; ++x)
                shown.push_back(static_cast<BYTE>(qRed(shot.pixel(x, y))));
        return shown;
    }
};

TEST_F(TurnAndWatchTest, ATurnedThresholdIsPaintedAsTheRunnerMakesItAndTheHistogramShowsWhere) {
    const QTemporaryDir data;
    setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
    std::string built;
    ASSERT_EQ(BuildStepFile(data.path().toStdString(), "thresh",
                            "#include <vexlan/step.h>\n"
                            "VEXLAN_PARAM(threshold, \"阈值\", 0, 255, 128);\n"
                            "VEXLAN_STEP(thresh, \"阈值分割\", \"\") {\n"
                            "    const int t = vexlan_int_param(image, threshold);\n"
                            "    for (int y = 0; y < image->height; ++y)\n"
                            "        for (int x = 0; x < image->width; ++x)\n"
                            "            image->result[y * image->width + x] =\n"
                            "                vexlan_gray_at(image, x, y) >= t ? 255 : 0;\n"
                            "}\n",
                            built),
              0)
        << built;
    m_view->UpdateInstalledSteps();
    // 64 x 32 in three gray levels: 1024 pixels of 40, 512 of 120 and 512 of 200.
    Bytes pixels;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            pixels.insert(pixels.end(), 3, static_cast<BYTE>(x < 32 ? 40 : y < 16 ? 120 : 200));
    Write("levels.bmp", MakeBitmap(64, 32, 24, pixels));
    Open("levels.bmp");
    m_view->OnViewHistogram();
    m_view->OnInstalledStep(ID_FIRST_INSTALLED_STEP);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsStepRunning(); }, 20000));
    auto* box = Pane(IDW_PARAMETER_PANE)->findChild<QDoubleSpinBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Pane(IDW_PARAMETER_PANE)->isVisible());
    EXPECT_EQ(ScreenSettles(), std::nullopt);
    EXPECT_EQ(ResultOnScreen(), Batched(128));

    // Typed and entered, then one down by the arrow key: each value is painted as the runner
    // makes it, and the status bar names it.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, "120");
    QTest::keyClick(box, Qt::Key_Return);
    for (const int threshold : {120, 119}) {
        SCOPED_TRACE(threshold);
        if (threshold == 119)
            QTest::keyClick(box, Qt::Key_Down);
        ASSERT_TRUE(QTest::qWaitFor(
            [this, threshold] {
                return !m_view->IsStepRunning() &&
                       MessagePane() == "thresh（阈值 " + std::to_string(threshold) + "）";
            },
            20000))
            << MessagePane();
        EXPECT_EQ(ScreenSettles(), std::nullopt);
        const Bytes expected = Batched(threshold);
        EXPECT_EQ(Bytes(m_view->m_pResultImage.get(), m_view->m_pResultImage.get() + 64 * 32),
                  expected);
        EXPECT_EQ(ResultOnScreen(), expected);
    }
    // 120 and 200 pass 119, 40 does not: 1024 pixels each of 0 and 255.
    EXPECT_EQ(BarHeights(0), Bars({{40, 100}, {120, 50}, {200, 50}}));
    EXPECT_EQ(BarHeights(1), Bars({{0, 100}, {255, 100}}));

    // The count under the pointer, and the logarithmic scale.
    QWidget* histogram = AfxGetWidget(m_view->Histogram().Histogram());
    const CRect plot = m_view->Histogram().Histogram()->PlotRect(0);
    const QPoint over(plot.left + 120, plot.top + 50);
    QMouseEvent move(QEvent::MouseMove, over, histogram->mapToGlobal(over), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(histogram, &move);
    EXPECT_EQ(MessagePane(), "图像 灰度 120：512 个像素（25.00%）");
    auto* logScale = Pane(IDW_HISTOGRAM_PANE)->findChild<QCheckBox*>();
    ASSERT_NE(logScale, nullptr);
    logScale->setFocus();
    QTest::keyClick(logScale, Qt::Key_Space);
    // log(1 + 512) / log(1 + 1024) of the plot's 100 rows.
    EXPECT_TRUE(QTest::qWaitFor([this] { return BarHeights(0)[120] == 90; }, 2000))
        << BarHeights(0)[120];
    EXPECT_EQ(BarHeights(0), Bars({{40, 100}, {120, 90}, {200, 90}}));
    EXPECT_TRUE(m_messages.empty()) << m_messages[0];
    unsetenv("XDG_DATA_HOME");
}

} // namespace
