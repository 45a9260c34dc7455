#include "framewnd.h"

#include "controlbar.h"
#include "document.h"
#include "keymap.h"
#include "menuresource.h"
#include "resourcefile.h"
#include "resourceicon.h"
#include "statusbar.h"
#include "toolbar.h"
#include "winapp.h"
#include "wndimpl.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QToolBar>

#include <algorithm>
#include <map>

namespace {

constexpr int defaultFrameWidth = 800;
constexpr int defaultFrameHeight = 600;

std::string FirstField(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

bool IsMenuOpen() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr;
}

// Status tips are the frame's own business: the message pane shows prompts, and a pointer
// leaving a bar brings back the idle text. While a menu is open its highlighted item's prompt
// stays, whatever the pointer does: a menu opened from the keyboard takes the pointer away
// from the window under it.
class PromptFilter : public QObject {
public:
    explicit PromptFilter(CFrameWnd& frame) : m_frame(frame) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::StatusTip)
            return true;
        if (event->type() == QEvent::Leave && !IsMenuOpen())
            m_frame.ShowIdlePrompt();
        return false;
    }

private:
    CFrameWnd& m_frame;
};

QKeySequence KeySequenceOf(const CAccelEntry& entry) {
    QKeyCombination combination(static_cast<Qt::Key>(AfxQtKeyOf(entry.key)));
    Qt::KeyboardModifiers modifiers;
    if (entry.flags & FSHIFT)
        modifiers |= Qt::ShiftModifier;
    if (entry.flags & FCONTROL)
        modifiers |= Qt::ControlModifier;
    if (entry.flags & FALT)
        modifiers |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(modifiers, combination.key()));
}

} // namespace

// The toolkit side of the frame's menu and keys.
struct CFrameUi {
    QMainWindow* window = nullptr;
    PromptFilter* promptFilter = nullptr;
    std::vector<std::pair<QShortcut*, UINT>> shortcuts;
    std::vector<QAction*> listItems;     // items that stand in for a placeholder's list
    std::vector<QAction*> addedItems;    // SetAddedMenuItems's, their separator first
    std::map<UINT, std::string> prompts; // of the commands added at run time
};

IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_COMMAND_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, &CFrameWnd::OnBarCheck)
ON_UPDATE_COMMAND_UI_RANGE(ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, &CFrameWnd::OnUpdateControlBarMenu)
END_MESSAGE_MAP()

CFrameWnd::CFrameWnd() : m_pUi(std::make_unique<CFrameUi>()) {}

CFrameWnd::~CFrameWnd() {
    // The view's widget is a child of the frame's: it goes first.
    m_pView.reset();
}

namespace {

QAction* NewCommandItem(CFrameWnd& frame, QMenu* menu, const QString& text, UINT id) {
    auto* action = new QAction(text, menu);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, menu, [&frame, id] { frame.SendCommand(id); });
    QObject::connect(action, &QAction::hovered, menu, [&frame, id] { frame.ShowPrompt(id); });
    return action;
}

void UpdateListItems(CFrameWnd& frame, CFrameUi& ui, QMenu* menu, QAction* placeholder,
                     const CCmdUI& state) {
    for (QAction* item : ui.listItems)
        delete item;
    ui.listItems.clear();
    placeholder->setVisible(!state.m_replacement);
    placeholder->setEnabled(state.m_bEnabled);
    if (!state.m_replacement)
        return;
    UINT id = state.m_nID;
    for (const std::string& text : *state.m_replacement) {
        QAction* item = NewCommandItem(frame, menu, QString::fromStdString(text), id);
        item->setData(QVariant()); // the placeholder's update rule covers it
        menu->insertAction(placeholder, item);
        ui.listItems.push_back(item);
        ++id;
    }
}

// Applies the command-update rule to a popup's items each time it opens.
void UpdatePopup(CFrameWnd& frame, CFrameUi& ui, QMenu* menu) {
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->menu() || !action->data().isValid())
            continue;
        const CCmdUI state = frame.QueryCommandUI(action->data().toUInt());
        if (action->property("placeholder").toBool()) {
            UpdateListItems(frame, ui, menu, action, state);
            continue;
        }
        action->setEnabled(state.m_bEnabled);
        action->setCheckable(state.m_nCheck >= 0);
        action->setChecked(state.m_nCheck == 1);
    }
}

QAction* AddCommandItem(CFrameWnd& frame, QMenu* menu, const QString& text, UINT id) {
    QAction* action = NewCommandItem(frame, menu, text, id);
    menu->addAction(action);
    return action;
}

void FollowUpdateRule(CFrameWnd& frame, CFrameUi& ui, QMenu* menu) {
    QObject::connect(menu, &QMenu::aboutToShow, menu,
                     [&frame, &ui, menu] { UpdatePopup(frame, ui, menu); });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [&frame] { frame.ShowIdlePrompt(); });
}

void AddMenuItems(CFrameWnd& frame, CFrameUi& ui, QMenu* menu,
                  const std::vector<CMenuItemTemplate>& items) {
    for (const CMenuItemTemplate& item : items) {
        const QString text = QString::fromStdString(item.text);
        if (item.IsPopup()) {
            QMenu* popup = menu->addMenu(text);
            AddMenuItems(frame, ui, popup, item.children);
            continue;
        }
        if (item.IsSeparator()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = AddCommandItem(frame, menu, text, item.id);
        action->setEnabled((item.flags & MF_GRAYED) == 0);
        action->setProperty("placeholder", item.id == ID_FILE_MRU_FILE1);
    }
    FollowUpdateRule(frame, ui, menu);
}

QMenu* FindOrAddPopup(CFrameWnd& frame, CFrameUi& ui, QWidget* parent, const QString& text) {
    for (QAction* action : parent->actions())
        if (action->menu() && action->text() == text)
            return action->menu();
    auto* bar = qobject_cast<QMenuBar*>(parent);
    QMenu* popup = bar ? bar->addMenu(text) : static_cast<QMenu*>(parent)->addMenu(text);
    FollowUpdateRule(frame, ui, popup);
    return popup;
}

QAction* FindCommandItem(QMainWindow* window, UINT id) {
    for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (!action->menu() && action->data().isValid() && action->data().toUInt() == id)
                return action;
    return nullptr;
}

void BuildMenuBar(CFrameWnd& frame, CFrameUi& ui, UINT nIDResource) {
    const CResourceEntry* resource =
        AfxGetResources().Find(RT_MENU, static_cast<WORD>(nIDResource));
    const auto items = resource ? AfxParseMenu(resource->data, resource->size) : std::nullopt;
    if (!items)
        return;
    QMenuBar* bar = ui.window->menuBar();
    for (const CMenuItemTemplate& item : *items) {
        if (!item.IsPopup())
            continue;
        QMenu* popup = bar->addMenu(QString::fromStdString(item.text));
        AddMenuItems(frame, ui, popup, item.children);
    }
}

void AddShortcut(CFrameWnd& frame, CFrameUi& ui, const QKeySequence& keys, UINT id) {
    auto* shortcut = new QShortcut(keys, ui.window);
    QObject::connect(shortcut, &QShortcut::activated, ui.window, [&frame, id] {
        if (frame.QueryCommandUI(id).m_bEnabled)
            frame.SendCommand(id);
    });
    ui.shortcuts.emplace_back(shortcut, id);
}

void BuildShortcuts(CFrameWnd& frame, CFrameUi& ui, UINT nIDResource) {
    const CResourceEntry* resource =
        AfxGetResources().Find(RT_ACCELERATOR, static_cast<WORD>(nIDResource));
    const auto entries =
        resource ? AfxParseAccelerators(resource->data, resource->size) : std::nullopt;
    if (!entries)
        return;
    for (const CAccelEntry& entry : *entries) {
        if (!(entry.flags & FVIRTKEY) || AfxQtKeyOf(entry.key) == 0)
            continue;
        AddShortcut(frame, ui, KeySequenceOf(entry), entry.id);
    }
}

} // namespace

BOOL CFrameWnd::LoadFrame(UINT nIDResource, CCreateContext* pContext) {
    m_strTitle = FirstField(AfxLoadString(nIDResource));
    CREATESTRUCT cs;
    cs.lpCreateParams = pContext;
    cs.lpszName = m_strTitle.c_str();
    cs.style = 0x00CF0000; // WS_OVERLAPPEDWINDOW
    if (!PreCreateWindow(cs))
        return FALSE;
    auto* window = new QMainWindow;
    AfxAttachWidget(this, window);
    m_pUi->window = window;
    m_pUi->promptFilter = new PromptFilter(*this);
    m_pUi->promptFilter->setParent(window);
    window->installEventFilter(m_pUi->promptFilter);
    window->resize(cs.cx > 0 ? cs.cx : defaultFrameWidth, cs.cy > 0 ? cs.cy : defaultFrameHeight);
    SetWindowText(m_strTitle);
    window->setWindowIcon(AfxLoadIcon(static_cast<WORD>(nIDResource)));
    BuildMenuBar(*this, *m_pUi, nIDResource);
    BuildShortcuts(*this, *m_pUi, nIDResource);
    if (!SendCreate(cs)) {
        m_pView.reset();
        m_controlBars.clear();
        delete window;
        return FALSE;
    }
    // The event loop waits for the next event; a repaint already asked for may be among them
    // (the toolkit paints on a short timer), and idle work must never delay it: that waits
    // until the view's frame is on the screen.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     window, [this] {
                         OnIdleUpdateCmdUI();
                         if (CWinApp* app = AfxGetApp();
                             app && QApplication::activeModalWidget() == nullptr &&
                             !(m_pView && m_pView->IsPaintPending()))
                             app->OnIdle(0);
                     });
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    return CWnd::PreCreateWindow(cs);
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    auto* context = static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams);
    return context && context->m_pNewViewClass && !CreateView(context) ? -1 : 0;
}

BOOL CFrameWnd::CreateView(CCreateContext* pContext) {
    CObject* object = pContext->m_pNewViewClass->CreateObject();
    auto* view = dynamic_cast<CView*>(object);
    if (view == nullptr) {
        delete object;
        return FALSE;
    }
    m_pView.reset(view);
    if (!view->Create(this, AFX_IDW_PANE_FIRST, pContext))
        return FALSE;
    m_pUi->window->setCentralWidget(AfxGetWidget(view));
    return TRUE;
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return m_pView ? m_pView->GetDocument() : nullptr;
}

void CFrameWnd::InitialUpdateFrame(CDocument*, BOOL bMakeVisible) {
    if (m_pView) {
        m_pView->OnInitialUpdate();
        if (QWidget* widget = AfxGetWidget(m_pView.get()))
            widget->setFocus();
    }
    OnUpdateFrameTitle(TRUE);
    ShowIdlePrompt();
    OnIdleUpdateCmdUI();
    if (bMakeVisible)
        ShowWindow(SW_SHOW);
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
    const CDocument* document = GetActiveDocument();
    if (bAddToTitle && document)
        SetWindowText(document->GetTitle() + " - " + m_strTitle);
    else
        SetWindowText(m_strTitle);
}

BOOL CFrameWnd::SendCommand(UINT nID) {
    return OnCmdMsg(nID, CN_COMMAND, nullptr);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, UINT nCode, void* pExtra) {
    if (m_pView && m_pView->OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    if (CWnd::OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID, nCode, pExtra);
}

bool CFrameWnd::HasCommandRow(UINT nID) const {
    const CWinApp* app = AfxGetApp();
    return (m_pView && m_pView->HasCommandRow(nID)) || HasOwnCommandRow(nID) ||
           (app && app->HasCommandRow(nID));
}

CCmdUI CFrameWnd::QueryCommandUI(UINT nID) {
    CCmdUI state(nID);
    state.m_bEnabled = HasCommandRow(nID);
    OnCmdMsg(nID, CN_UPDATE_COMMAND_UI, &state);
    return state;
}

void CFrameWnd::EnableDocking(DWORD dwDockStyle) {
    m_dwDockStyle = dwDockStyle;
    if (m_pUi->window)
        m_pUi->window->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);
}

void CFrameWnd::DockControlBar(CControlBar* pBar, UINT, const CRect*) {
    auto* toolBar = qobject_cast<QToolBar*>(AfxGetWidget(pBar));
    if (toolBar == nullptr || m_pUi->window == nullptr)
        return;
    const DWORD side = pBar->GetBarStyle() & CBRS_ALIGN_ANY;
    const Qt::ToolBarArea area = side & CBRS_ALIGN_BOTTOM  ? Qt::BottomToolBarArea
                                 : side & CBRS_ALIGN_LEFT  ? Qt::LeftToolBarArea
                                 : side & CBRS_ALIGN_RIGHT ? Qt::RightToolBarArea
                                                           : Qt::TopToolBarArea;
    m_pUi->window->addToolBar(area, toolBar);
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL) {
    if (QWidget* widget = AfxGetWidget(pBar))
        widget->setVisible(bShow != FALSE);
}

CControlBar* CFrameWnd::GetControlBar(UINT nID) const {
    const auto found =
        std::find_if(m_controlBars.begin(), m_controlBars.end(),
                     [nID](const CControlBar* bar) { return bar->GetDlgCtrlID() == nID; });
    return found == m_controlBars.end() ? nullptr : *found;
}

void CFrameWnd::AddControlBar(CControlBar* pBar) {
    m_controlBars.push_back(pBar);
    if (QWidget* widget = AfxGetWidget(pBar))
        widget->installEventFilter(m_pUi->promptFilter);
}

void CFrameWnd::RemoveControlBar(CControlBar* pBar) {
    m_controlBars.erase(std::remove(m_controlBars.begin(), m_controlBars.end(), pBar),
                        m_controlBars.end());
}

void CFrameWnd::AppendMenuCommands(const std::vector<std::string>& path,
                                   const std::vector<CMenuCommand>& commands, UINT beforeId) {
    if (m_pUi->window == nullptr || path.empty())
        return;
    QWidget* parent = m_pUi->window->menuBar();
    for (const std::string& text : path)
        parent = FindOrAddPopup(*this, *m_pUi, parent, QString::fromStdString(text));
    auto* menu = static_cast<QMenu*>(parent);
    QAction* before = beforeId != 0 ? FindCommandItem(m_pUi->window, beforeId) : nullptr;
    if (before && before->parent() != menu)
        before = nullptr;
    for (const CMenuCommand& command : commands) {
        if (command.id == ID_SEPARATOR) {
            menu->insertSeparator(before);
            continue;
        }
        menu->insertAction(
            before, NewCommandItem(*this, menu, QString::fromStdString(command.text), command.id));
        m_pUi->prompts[command.id] = command.prompt;
        AddCommandKeys(command.id, command.keys);
    }
}

void CFrameWnd::AddCommandKeys(UINT nID, const std::vector<std::string>& keys) {
    for (const std::string& key : keys)
        AddShortcut(*this, *m_pUi,
                    QKeySequence(QString::fromStdString(key), QKeySequence::PortableText), nID);
}

void CFrameWnd::ShowPrompt(UINT nID) {
    const auto added = m_pUi->prompts.find(nID);
    SetMessageText(added != m_pUi->prompts.end() ? added->second : FirstField(AfxLoadString(nID)));
}

void CFrameWnd::SetAddedMenuItems(UINT afterId, const std::vector<CMenuCommand>& items) {
    for (QAction* action : m_pUi->addedItems) {
        m_pUi->prompts.erase(action->data().toUInt());
        delete action;
    }
    m_pUi->addedItems.clear();
    QAction* anchor = m_pUi->window ? FindCommandItem(m_pUi->window, afterId) : nullptr;
    if (!anchor || items.empty())
        return;
    auto* menu = qobject_cast<QMenu*>(anchor->parent());
    const QList<QAction*> actions = menu->actions();
    const qsizetype next = actions.indexOf(anchor) + 1;
    QAction* before = next < actions.size() ? actions[next] : nullptr;
    auto* separator = new QAction(menu);
    separator->setSeparator(true);
    m_pUi->addedItems.push_back(separator);
    for (const CMenuCommand& item : items) {
        m_pUi->addedItems.push_back(
            NewCommandItem(*this, menu, QString::fromStdString(item.text), item.id));
        m_pUi->prompts[item.id] = item.prompt;
    }
    for (QAction* action : m_pUi->addedItems)
        menu->insertAction(before, action);
}

void CFrameWnd::ShowIdlePrompt() {
    SetMessageText(m_idleText.empty() ? AfxLoadString(AFX_IDS_IDLEMESSAGE) : m_idleText);
}

void CFrameWnd::SetIdleText(const std::string& text) {
    m_idleText = text;
    ShowIdlePrompt();
}

void CFrameWnd::SetMessageText(const std::string& text) {
    if (auto* bar = dynamic_cast<CStatusBar*>(GetControlBar(AFX_IDW_STATUS_BAR)))
        bar->SetPaneText(0, text.c_str());
}

void CFrameWnd::OnIdleUpdateCmdUI() {
    for (CControlBar* bar : m_controlBars)
        bar->OnUpdateCmdUI(this);
    for (const auto& [shortcut, id] : m_pUi->shortcuts)
        shortcut->setEnabled(QueryCommandUI(id).m_bEnabled);
}

void CFrameWnd::OnBarCheck(UINT nID) {
    if (CControlBar* bar = GetControlBar(nID))
        ShowControlBar(bar, AfxGetWidget(bar)->isHidden(), FALSE);
}

void CFrameWnd::OnUpdateControlBarMenu(CCmdUI* pCmdUI) {
    CControlBar* bar = GetControlBar(pCmdUI->m_nID);
    pCmdUI->Enable(bar != nullptr);
    pCmdUI->SetCheck(bar && !AfxGetWidget(bar)->isHidden() ? 1 : 0);
}
