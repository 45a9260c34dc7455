// The application shell on the offscreen platform: the menu bar, the keys, the tool bar and
// the status bar built from the resources, the command-update rule, the bar toggles, the
// recent-file list, and start-up failing when a bar cannot be made.
#include "appfixture.h"
#include "mainfrm.h"
#include "resourcefile.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" const BYTE vexlanResourceImageBegin[];
extern "C" const std::size_t vexlanResourceImageSize;

namespace {

class ShellTest : public AppFixture {
protected:
    CMainFrame* Frame() const { return static_cast<CMainFrame*>(theApp.m_pMainWnd); }
    QMainWindow* Window() const { return static_cast<QMainWindow*>(AfxGetWidget(Frame())); }
    QMenu* Popup(int index) const { return Window()->menuBar()->actions().at(index)->menu(); }
    // Opens a popup the way the user does, so that its items are brought up to date.
    QMenu* OpenPopup(int index) const {
        QMenu* menu = Popup(index);
        emit menu->aboutToShow();
        return menu;
    }
    QAction* Item(QMenu* menu, const QString& text) const {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        ADD_FAILURE() << "no item " << text.toStdString();
        return nullptr;
    }
    std::string MessagePane() const { return Frame()->m_wndStatusBar.GetPaneText(0); }
    void Activate() const {
        QApplication::setActiveWindow(Window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
    }
};

TEST_F(ShellTest, MenuBarHoldsTheFivePopupsWithTheirItems) {
    QStringList popups;
    for (QAction* action : Window()->menuBar()->actions())
        popups << action->text();
    EXPECT_EQ(popups, (QStringList{"文件(&F)", "编辑(&E)", "查看(&V)", "帮助(&H)", "颜色"}));

    const auto itemsOf = [this](int popup) {
        QStringList items;
        for (QAction* action : Popup(popup)->actions())
            items << (action->isSeparator() ? "-" : action->text());
        return items;
    };
    // The items added at run time stand together above 退出, set off by a separator.
    EXPECT_EQ(itemsOf(0),
              (QStringList{"新建(&N)\tCtrl+N", "打开(&O)...\tCtrl+O", "保存(&S)\tCtrl+S",
                           "另存为(&A)...", "-", "打印(&P)...\tCtrl+P", "打印预览(&V)",
                           "打印设置(&R)...", "-", "最近文件", "-", "打开结果(&L)...",
                           "导出结果为 PNG(&G)...", "结果另存为(&T)...", "-", "退出(&X)"}));
    EXPECT_EQ(itemsOf(2), (QStringList{"工具栏(&T)", "状态栏(&S)", "缩放(&Z)", "直方图(&H)"}));
    EXPECT_EQ(itemsOf(4), (QStringList{"颜色分割", "-", "在结果上继续(&C)"}));
}

TEST_F(ShellTest, ItemsAreEnabledExactlyWhenSomeClassHasARow) {
    for (QAction* action : OpenPopup(1)->actions()) {
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        }
    }
    for (int popup : {0, 2, 3, 4}) {
        for (QAction* action : OpenPopup(popup)->actions()) {
            if (!action->isSeparator() && action->text() != "最近文件" &&
                !action->text().startsWith("导出结果") &&
                !action->text().startsWith("结果另存为")) {
                EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
            }
        }
    }
    EXPECT_FALSE(Item(OpenPopup(0), "最近文件")->isEnabled());
    // Until there is a result to export.
    EXPECT_FALSE(Item(OpenPopup(0), "导出结果为 PNG(&G)...")->isEnabled());
    EXPECT_FALSE(Item(OpenPopup(0), "结果另存为(&T)...")->isEnabled());
    // The two check items start unchecked.
    EXPECT_FALSE(Item(OpenPopup(4), "在结果上继续(&C)")->isChecked());
    EXPECT_FALSE(Item(OpenPopup(2), "直方图(&H)")->isChecked());
}

TEST_F(ShellTest, ToolBarHasTheEightButtonsAndFollowsTheUpdateRule) {
    QToolBar* bar = Window()->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(Window()->toolBarArea(bar), Qt::TopToolBarArea);
    EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
    EXPECT_TRUE(bar->isMovable());
    EXPECT_TRUE(bar->isFloatable());
    QStringList tips;
    std::vector<bool> enabled;
    for (QAction* action : bar->actions()) {
        tips << (action->isSeparator() ? "-" : action->toolTip());
        if (!action->isSeparator()) {
            enabled.push_back(action->isEnabled());
            EXPECT_FALSE(action->icon().isNull());
        }
    }
    EXPECT_EQ(tips, (QStringList{"新建", "打开", "保存", "-", "剪切", "复制", "粘贴", "-", "打印",
                                 "-", "关于"}));
    EXPECT_EQ(enabled, (std::vector<bool>{true, true, true, false, false, false, true, true}));
}

TEST_F(ShellTest, BarsSitWhereTheyBelong) {
    Window()->resize(640, 480);
    QApplication::processEvents();
    QToolBar* toolBar = Window()->findChild<QToolBar*>();
    QStatusBar* statusBar = Window()->statusBar();
    QWidget* view = AfxGetWidget(m_view);
    const int menuBottom = Window()->menuBar()->geometry().bottom();
    EXPECT_GT(toolBar->geometry().top(), menuBottom);
    EXPECT_GE(view->geometry().top(), toolBar->geometry().bottom());
    EXPECT_GE(statusBar->geometry().top(), view->geometry().bottom());
    EXPECT_EQ(statusBar->geometry().bottom(), Window()->height() - 1);
    EXPECT_EQ(Frame()->m_wndStatusBar.GetCount(), 4);
    EXPECT_EQ(Window()->windowIcon().availableSizes(),
              (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
}

TEST_F(ShellTest, MessagePaneShowsPromptsAndTheIdleText) {
    EXPECT_EQ(MessagePane(), "就绪");
    emit Item(OpenPopup(0), "打开(&O)...\tCtrl+O")->hovered();
    EXPECT_EQ(MessagePane(), "打开一个现有文档");
    emit Item(OpenPopup(4), "颜色分割")->hovered();
    EXPECT_EQ(MessagePane(), "");
    emit Popup(4)->aboutToHide();
    EXPECT_EQ(MessagePane(), "就绪");

    QToolBar* bar = Window()->findChild<QToolBar*>();
    emit bar->actions().last()->hovered();
    EXPECT_EQ(MessagePane(), "显示程序信息，版本号和版权");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar, &leave);
    EXPECT_EQ(MessagePane(), "就绪");
}

TEST_F(ShellTest, AMenuOpenedFromTheKeyboardKeepsItsPromptWhenThePointerLeaves) {
    Activate();
    QTest::keyClick(Window(), Qt::Key_F, Qt::AltModifier);
    QMenu* file = Popup(0);
    ASSERT_TRUE(QTest::qWaitFor([file] { return QApplication::activePopupWidget() == file; }));
    QTest::keyClick(file, Qt::Key_Down);
    ASSERT_NE(file->activeAction(), nullptr);
    const std::string prompt = MessagePane();
    EXPECT_NE(prompt, "就绪");

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Window(), &leave);
    EXPECT_EQ(MessagePane(), prompt);

    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([file] { return !file->isVisible(); }));
    QApplication::sendEvent(Window(), &leave);
    EXPECT_EQ(MessagePane(), "就绪");
}

TEST_F(ShellTest, ViewMenuHidesAndShowsTheBarsWithTheirChecks) {
    QAction* toolBarItem = Item(OpenPopup(2), "工具栏(&T)");
    EXPECT_TRUE(toolBarItem->isChecked());
    toolBarItem->trigger();
    EXPECT_TRUE(Window()->findChild<QToolBar*>()->isHidden());
    EXPECT_FALSE(Item(OpenPopup(2), "工具栏(&T)")->isChecked());
    Item(Popup(2), "工具栏(&T)")->trigger();
    EXPECT_FALSE(Window()->findChild<QToolBar*>()->isHidden());

    Item(OpenPopup(2), "状态栏(&S)")->trigger();
    EXPECT_TRUE(Window()->statusBar()->isHidden());
    EXPECT_FALSE(Item(OpenPopup(2), "状态栏(&S)")->isChecked());
}

TEST_F(ShellTest, OpenAndSaveFromMenuKeysAndButtonsRunTheViewsHandlers) {
    Activate();
    // The view's File Open shows its own filter; the application's standard one would not.
    const auto seen = [&](auto&& send) {
        QStringList filters;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog) {
                filters = dialog->nameFilters();
                dialog->reject();
            }
        });
        send();
        return filters;
    };
    const auto viewFilter = [](const QStringList& filters) {
        return filters.value(0).startsWith("所有图像 (*.lst *.raw *.bmp *.png");
    };
    EXPECT_TRUE(
        viewFilter(seen([&] { QTest::keyClick(Window(), Qt::Key_O, Qt::ControlModifier); })));
    EXPECT_TRUE(
        viewFilter(seen([&] { Window()->findChild<QToolBar*>()->actions().at(1)->trigger(); })));
    EXPECT_TRUE(viewFilter(seen([&] { Item(OpenPopup(0), "打开(&O)...\tCtrl+O")->trigger(); })));

    // Ctrl+S writes the RAW result file, which only the view's File Save does.
    QTemporaryDir drive;
    setenv("VEXLAN_DRIVE_D", drive.path().toLocal8Bit().constData(), 1);
    Write("cat.bmp", testbitmaps::MakeBitmap(1, 1, 24, {1, 2, 3}));
    Load("cat.bmp");
    m_view->OnColorSegmentation();
    Activate();
    QTest::keyClick(Window(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(drive.filePath("outcat.raw")));
    unsetenv("VEXLAN_DRIVE_D");
}

TEST_F(ShellTest, KeysOfDisabledCommandsDoNothingAndPageKeysReachTheView) {
    Activate();
    QApplication::processEvents(); // the idle update disables the Edit keys
    const std::string title = Title();
    for (const auto& [key, modifiers] : std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
             {Qt::Key_Z, Qt::ControlModifier},
             {Qt::Key_X, Qt::ControlModifier},
             {Qt::Key_Backspace, Qt::AltModifier},
             {Qt::Key_Insert, Qt::ShiftModifier},
             {Qt::Key_F6, Qt::NoModifier},
             {Qt::Key_F6, Qt::ShiftModifier}})
        QTest::keyClick(AfxGetWidget(m_view), key, modifiers);
    EXPECT_EQ(Title(), title);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(Frame()->HasCommandRow(ID_NEXT_PANE));
    EXPECT_FALSE(Frame()->HasCommandRow(ID_EDIT_CUT));
}

TEST_F(ShellTest, RecentFilesReplaceThePlaceholderAndReopenThroughTheTemplate) {
    Write("notes.txt", {});
    const std::string path = *AfxSystemPath(HostPath("notes.txt"));
    theApp.OpenDocumentFile(path.c_str());
    m_view->GetDocument()->SetTitle("elsewhere");

    QMenu* file = OpenPopup(0);
    QAction* placeholder = Item(file, "最近文件");
    EXPECT_FALSE(placeholder->isVisible());
    const int at = static_cast<int>(file->actions().indexOf(placeholder));
    QAction* entry = file->actions().at(at - 1);
    EXPECT_EQ(entry->text().toStdString(), "&1 " + HostPath("notes.txt"));
    entry->trigger();
    EXPECT_EQ(Title(), "notes.txt");

    // Images loaded by the view never go on the list.
    Write("cat.bmp", testbitmaps::MakeBitmap(1, 1, 24, {1, 2, 3}));
    Load("cat.bmp");
    EXPECT_EQ(theApp.GetRecentFileList()->GetEntries().size(), 1u);
}

TEST_F(ShellTest, SaveAsStoresAnEmptyFileAndTheDocumentFollowsIt) {
    const std::string target = HostPath("saved.vex");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(target));
        static_cast<QDialog*>(dialog)->accept();
    });
    Item(OpenPopup(0), "另存为(&A)...")->trigger();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(target)));
    EXPECT_EQ(QFileInfo(QString::fromStdString(target)).size(), 0);
    EXPECT_EQ(m_view->GetDocument()->GetPathName(), *AfxSystemPath(target));
    EXPECT_EQ(Frame()->GetWindowText(), "saved.vex - Vexlan");
}

// A FIFO would hold the program in open() until something reads it; a device would swallow
// the document.
TEST_F(ShellTest, SavingOntoWhatIsNotARegularFileIsRefused) {
    const std::string fifo = HostPath("fifo.vex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // lets a blocking open through
    ASSERT_TRUE(QFile::link("/dev/null", QString::fromStdString(HostPath("null.vex"))));
    CDocument* document = m_view->GetDocument();
    const std::string before = document->GetPathName();
    for (const char* name : {"fifo.vex", "null.vex"}) {
        SCOPED_TRACE(name);
        m_messages.clear();
        EXPECT_FALSE(document->OnSaveDocument(AfxSystemPath(HostPath(name))->c_str()));
        EXPECT_EQ(m_messages,
                  std::vector<std::string>{"无法保存文档 " + HostPath(name) + "：不是普通文件。"});
    }
    close(reader);
    EXPECT_EQ(document->GetPathName(), before);
}

TEST_F(ShellTest, FileNewRetitlesTheDocumentAndKeepsTheImage) {
    Write("cat.bmp", testbitmaps::MakeBitmap(1, 1, 24, {1, 2, 3}));
    Load("cat.bmp");
    const BYTE* color = m_view->m_pColorImage.get();
    CDocument* document = m_view->GetDocument();
    Item(OpenPopup(0), "新建(&N)\tCtrl+N")->trigger();
    EXPECT_EQ(m_view->GetDocument(), document); // the one document, reused
    EXPECT_EQ(Frame()->GetWindowText(), "无标题 - Vexlan");
    EXPECT_EQ(m_view->m_pColorImage.get(), color);
    EXPECT_FALSE(document->IsModified());
}

TEST_F(ShellTest, ExitClosesTheMainWindow) {
    Item(OpenPopup(0), "退出(&X)")->trigger();
    EXPECT_FALSE(Window()->isVisible());
}

// Start-up with a copy of the resources in which one resource cannot be found.
class BrokenResourcesTest : public ::testing::Test {
protected:
    void TearDown() override {
        AfxSetResourceImage(vexlanResourceImageBegin, vexlanResourceImageSize);
        theApp.ExitInstance();
        unsetenv("VEXLAN_TRACE");
    }
    std::string StartWithout(const std::vector<BYTE>& typeAndName) {
        m_image.assign(vexlanResourceImageBegin,
                       vexlanResourceImageBegin + vexlanResourceImageSize);
        const auto found =
            std::search(m_image.begin(), m_image.end(), typeAndName.begin(), typeAndName.end());
        EXPECT_NE(found, m_image.end());
        found[2] ^= 0x40; // another type: the resource is no longer found
        AfxSetResourceImage(m_image.data(), m_image.size());
        setenv("VEXLAN_TRACE", "1", 1);
        static char program[] = "vexlan";
        static char* argv[] = {program};
        theApp.InitApplication(1, argv);
        ::testing::internal::CaptureStderr();
        m_started = theApp.InitInstance();
        return ::testing::internal::GetCapturedStderr();
    }
    std::vector<BYTE> m_image;
    BOOL m_started = TRUE;
};

TEST_F(BrokenResourcesTest, MissingToolBarEndsStartUpBeforeTheStatusBar) {
    // Type 241, name 128: the tool-bar resource.
    const std::string trace = StartWithout({0xFF, 0xFF, 0xF1, 0x00, 0xFF, 0xFF, 0x80, 0x00});
    EXPECT_FALSE(m_started);
    EXPECT_NE(trace.find("mainfrm.cpp("), std::string::npos) << trace;
    EXPECT_NE(trace.find("): Failed to create toolbar\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("status bar"), std::string::npos);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

TEST_F(BrokenResourcesTest, MissingIndicatorTextEndsStartUpAtTheStatusBar) {
    // Type 6 (strings), block 0xE71: the indicator texts 0xE700 to 0xE70F.
    const std::string trace = StartWithout({0xFF, 0xFF, 0x06, 0x00, 0xFF, 0xFF, 0x71, 0x0E});
    EXPECT_FALSE(m_started);
    EXPECT_NE(trace.find("): Failed to create status bar\n"), std::string::npos) << trace;
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

} // namespace
