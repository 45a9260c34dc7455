// Command routing through the class layer: view, document, frame, application; the first
// class with a row handles the command. Each handler tags a log with who saw the command.
// Also what a frame holds besides: menu items added at run time and the controls of a pane.
#include "afxwin.h"
#include "wndimpl.h"

#include <QAbstractScrollArea>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string routeLog;

enum : UINT {
    idEveryone = 2001,
    idDocFrameApp,
    idFrameApp,
    idAppOnly,
    idNowhere,
    idViewBaseOnly,
    idUpdateOnly,
    idDerivedAndBase,
};

class RoutingApp : public CWinApp {
public:
    RoutingApp() : CWinApp("RoutingTest") {}
    void OnEveryone() { routeLog += "app;"; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RoutingApp, CWinApp)
ON_COMMAND(idEveryone, &RoutingApp::OnEveryone)
ON_COMMAND(idDocFrameApp, &RoutingApp::OnEveryone)
ON_COMMAND(idFrameApp, &RoutingApp::OnEveryone)
ON_COMMAND(idAppOnly, &RoutingApp::OnEveryone)
END_MESSAGE_MAP()

class RoutingDoc : public CDocument {
    DECLARE_DYNCREATE(RoutingDoc)
public:
    void OnCommandSeen() { routeLog += "doc;"; }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(RoutingDoc, CDocument)
BEGIN_MESSAGE_MAP(RoutingDoc, CDocument)
ON_COMMAND(idEveryone, &RoutingDoc::OnCommandSeen)
ON_COMMAND(idDocFrameApp, &RoutingDoc::OnCommandSeen)
END_MESSAGE_MAP()

class RoutingFrame : public CFrameWnd {
    DECLARE_DYNCREATE(RoutingFrame)
public:
    void OnCommandSeen() { routeLog += "frame;"; }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(RoutingFrame, CFrameWnd)
BEGIN_MESSAGE_MAP(RoutingFrame, CFrameWnd)
ON_COMMAND(idEveryone, &RoutingFrame::OnCommandSeen)
ON_COMMAND(idDocFrameApp, &RoutingFrame::OnCommandSeen)
ON_COMMAND(idFrameApp, &RoutingFrame::OnCommandSeen)
END_MESSAGE_MAP()

// A view base class of its own, to see that a class's table comes before its base's.
class RoutingViewBase : public CView {
public:
    void OnBaseCommand() { routeLog += "viewbase;"; }
    void OnDraw(CDC*) override {}
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RoutingViewBase, CView)
ON_COMMAND(idViewBaseOnly, &RoutingViewBase::OnBaseCommand)
ON_COMMAND(idDerivedAndBase, &RoutingViewBase::OnBaseCommand)
END_MESSAGE_MAP()

class RoutingView : public RoutingViewBase {
    DECLARE_DYNCREATE(RoutingView)
public:
    void OnCommandSeen() { routeLog += "view;"; }
    void OnUpdateSeen(CCmdUI* pCmdUI) {
        routeLog += "update;";
        pCmdUI->Enable(FALSE);
    }
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
        routeLog += "key " + std::to_string(nChar) + " " + std::to_string(nRepCnt) + " " +
                    std::to_string(nFlags & (KF_EXTENDED | KF_REPEAT | KF_UP)) + ";";
        CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
    }
    void OnLButtonDown(UINT, CPoint point) {
        routeLog += "down " + std::to_string(point.x) + "," + std::to_string(point.y) + ";";
    }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(RoutingView, RoutingViewBase)
BEGIN_MESSAGE_MAP(RoutingView, RoutingViewBase)
ON_COMMAND(idEveryone, &RoutingView::OnCommandSeen)
ON_COMMAND(idDerivedAndBase, &RoutingView::OnCommandSeen)
ON_UPDATE_COMMAND_UI(idUpdateOnly, &RoutingView::OnUpdateSeen)
ON_WM_KEYDOWN()
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

class RoutingTest : public ::testing::Test {
protected:
    void SetUp() override {
        routeLog.clear();
        m_template =
            DEBUG_NEW CSingleDocTemplate(128, RUNTIME_CLASS(RoutingDoc),
                                         RUNTIME_CLASS(RoutingFrame), RUNTIME_CLASS(RoutingView));
        m_app.AddDocTemplate(m_template);
        ASSERT_NE(m_template->OpenDocumentFile(nullptr), nullptr);
        m_frame = m_template->GetFrame();
    }
    void TearDown() override { m_app.ExitInstance(); }

    std::string Route(UINT id) {
        routeLog.clear();
        const BOOL handled = m_frame->SendCommand(id);
        return (handled ? "" : "unhandled;") + routeLog;
    }

    RoutingApp m_app;
    CSingleDocTemplate* m_template = nullptr;
    CFrameWnd* m_frame = nullptr;
};

TEST_F(RoutingTest, FirstClassOnThePathHandlesTheCommand) {
    EXPECT_EQ(Route(idEveryone), "view;");
    EXPECT_EQ(Route(idDocFrameApp), "doc;");
    EXPECT_EQ(Route(idFrameApp), "frame;");
    EXPECT_EQ(Route(idAppOnly), "app;");
    EXPECT_EQ(Route(idNowhere), "unhandled;");
}

TEST_F(RoutingTest, ClassTableComesBeforeItsBaseClassTable) {
    EXPECT_EQ(Route(idDerivedAndBase), "view;");
    EXPECT_EQ(Route(idViewBaseOnly), "viewbase;");
}

TEST_F(RoutingTest, RowQueryCoversCommandAndUpdateRowsOnThePath) {
    for (UINT id : {idEveryone, idDocFrameApp, idFrameApp, idAppOnly, idViewBaseOnly, idUpdateOnly})
        EXPECT_TRUE(m_frame->HasCommandRow(id)) << id;
    EXPECT_FALSE(m_frame->HasCommandRow(idNowhere));

    CCmdUI state(idUpdateOnly);
    routeLog.clear();
    EXPECT_TRUE(m_frame->OnCmdMsg(idUpdateOnly, CN_UPDATE_COMMAND_UI, &state));
    EXPECT_EQ(routeLog, "update;");
    EXPECT_FALSE(state.m_bEnabled);
}

TEST_F(RoutingTest, KeysReachTheViewAsVirtualKeysAndGoOnToTheFrame) {
    QWidget* view = AfxGetWidget(m_frame->GetActiveView());
    QWidget* frame = AfxGetWidget(m_frame);
    struct KeySpy : QObject {
        std::vector<int> keys;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::KeyPress)
                keys.push_back(static_cast<QKeyEvent*>(event)->key());
            return false;
        }
    } spy;
    frame->installEventFilter(&spy);

    routeLog.clear();
    QTest::keyClick(view, Qt::Key_PageDown);
    QTest::keyClick(view, Qt::Key_PageUp);
    QTest::keyClick(view, Qt::Key_A);
    QTest::keyClick(view, Qt::Key_F6);
    EXPECT_EQ(routeLog, "key 34 1 256;key 33 1 256;key 65 1 0;key 117 1 0;");
    // The base handler lets each key go on to the frame, as the toolkit would.
    EXPECT_EQ(spy.keys,
              (std::vector<int>{Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_A, Qt::Key_F6}));

    routeLog.clear();
    QTest::keyPress(view, Qt::Key_PageDown, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(view, &repeat);
    EXPECT_EQ(routeLog, "key 34 1 256;key 34 1 16640;");
    frame->removeEventFilter(&spy);
}

TEST_F(RoutingTest, LeftButtonReachesTheViewTable) {
    routeLog.clear();
    // The view's client area is its scroll area's viewport.
    auto* view = qobject_cast<QAbstractScrollArea*>(AfxGetWidget(m_frame->GetActiveView()));
    ASSERT_NE(view, nullptr);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(7, 9));
    EXPECT_EQ(routeLog, "down 7,9;");
}

// Items a program adds at run time: at the end of a popup, or before an item, each separator
// where it was asked for.
TEST_F(RoutingTest, MenuCommandsGoWhereTheyAreAskedForWithTheirSeparators) {
    m_frame->AppendMenuCommands({"文件"}, {{idEveryone, "一", "", {}}, {idFrameApp, "三", "", {}}});
    m_frame->AppendMenuCommands({"文件"}, {{ID_SEPARATOR, {}, {}, {}}, {idAppOnly, "四", "", {}}});
    m_frame->AppendMenuCommands(
        {"文件"}, {{idDocFrameApp, "二", "", {}}, {ID_SEPARATOR, {}, {}, {}}}, idFrameApp);
    QStringList items;
    auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(m_frame));
    for (QAction* action : window->menuBar()->actions().front()->menu()->actions())
        items << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items, (QStringList{"一", "二", "-", "三", "-", "四"}));
}

// A slider and its number box show one value; each the user moves hands it over once, and the
// program's own SetValue hands over nothing.
TEST_F(RoutingTest, SliderAndNumberBoxOfAFieldStayEqual) {
    CDockPane pane;
    ASSERT_TRUE(pane.Create(m_frame, "参数", 0xDF40));
    std::vector<double> handed;
    CSliderField field;
    field.Create(&pane, "σ", 0.5, 5, 1, 0.1, 1.5, [&](double value) { handed.push_back(value); });
    auto* slider = AfxGetWidget(&field)->findChild<QSlider*>();
    auto* box = AfxGetWidget(&field)->findChild<QDoubleSpinBox*>();
    ASSERT_TRUE(slider && box);
    EXPECT_EQ(slider->value(), 15);
    EXPECT_EQ(std::pair(slider->minimum(), slider->maximum()), std::pair(5, 50));
    slider->setValue(42);
    EXPECT_EQ(box->value(), 4.2);
    box->setValue(0.7);
    EXPECT_EQ(slider->value(), 7);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(handed, (std::vector<double>{4.2, 0.7, 0.8}));
    field.SetValue(2);
    EXPECT_EQ(std::pair(slider->value(), field.GetValue()), std::pair(20, 2.0));
    EXPECT_EQ(handed.size(), 3u);
    EXPECT_FALSE(pane.IsShown());
    pane.Show(true);
    EXPECT_TRUE(pane.IsShown());
}

TEST(HistogramCtrl, BarsStandAsHighAsTheirShareOfTheLargestCount) {
    struct Case {
        std::uint64_t count, largest;
        bool logScale;
        int height;
    };
    for (const Case& c :
         {Case{0, 100, false, 0}, Case{100, 100, false, 100}, Case{50, 100, false, 50},
          Case{1, 1000000, false, 1}, Case{1, 1000000, true, 5}, Case{512, 1024, true, 90},
          Case{3, 0, false, 0}})
        EXPECT_EQ(CHistogramCtrl::BarHeight(c.count, c.largest, c.logScale), c.height)
            << c.count << " of " << c.largest << (c.logScale ? " log" : "");
}

} // namespace
