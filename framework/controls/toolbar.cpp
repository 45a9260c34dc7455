#include "toolbar.h"

#include "dibimage.h"
#include "framewnd.h"
#include "menuresource.h"
#include "resourcefile.h"
#include "wndimpl.h"

#include <QAction>
#include <QEvent>
#include <QMainWindow>
#include <QToolBar>

namespace {

// The button face colour of tool-bar bitmaps; it shows the bar's own background.
constexpr QRgb buttonFace = 0xFFC0C0C0;

QToolBar* ToolBarWidget(const CToolBar* bar) {
    return static_cast<QToolBar*>(AfxGetWidget(bar));
}

QIcon ButtonIcon(const QImage& strip, int index, int width, int height) {
    QImage image =
        strip.copy(index * width, 0, width, height).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == buttonFace)
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QIcon(QPixmap::fromImage(image));
}

Qt::ToolBarAreas AreasOf(DWORD dockStyle) {
    Qt::ToolBarAreas areas;
    if (dockStyle & CBRS_ALIGN_TOP)
        areas |= Qt::TopToolBarArea;
    if (dockStyle & CBRS_ALIGN_BOTTOM)
        areas |= Qt::BottomToolBarArea;
    if (dockStyle & CBRS_ALIGN_LEFT)
        areas |= Qt::LeftToolBarArea;
    if (dockStyle & CBRS_ALIGN_RIGHT)
        areas |= Qt::RightToolBarArea;
    return areas;
}

} // namespace

IMPLEMENT_DYNAMIC(CToolBar, CControlBar)

CToolBar::CToolBar() = default;

CToolBar::~CToolBar() = default;

BOOL CToolBar::CreateEx(CWnd* pParentWnd, DWORD, DWORD dwStyle, CRect, UINT nID) {
    auto* frame = dynamic_cast<CFrameWnd*>(pParentWnd);
    auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(pParentWnd));
    if (frame == nullptr || window == nullptr)
        return FALSE;
    auto* bar = new QToolBar(window);
    bar->setObjectName("toolBar");
    bar->setMovable((dwStyle & CBRS_GRIPPER) != 0);
    bar->setFloatable(true);
    bar->setAllowedAreas(Qt::NoToolBarArea);
    bar->setIconSize(QSize(16, 15));
    bar->setVisible((dwStyle & WS_VISIBLE) != 0);
    AfxAttachWidget(this, bar);
    window->addToolBar(dwStyle & CBRS_ALIGN_BOTTOM ? Qt::BottomToolBarArea : Qt::TopToolBarArea,
                       bar);
    AttachToFrame(frame, dwStyle, nID);
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT nIDResource) {
    const CResourceFile& resources = AfxGetResources();
    const CResourceEntry* layout = resources.Find(RT_TOOLBAR, static_cast<WORD>(nIDResource));
    const CResourceEntry* bitmap = resources.Find(RT_BITMAP, static_cast<WORD>(nIDResource));
    QToolBar* bar = ToolBarWidget(this);
    if (!layout || !bitmap || !bar)
        return FALSE;
    const auto toolBar = AfxParseToolBar(layout->data, layout->size);
    const auto strip = AfxImageFromDib(bitmap->data, bitmap->size);
    if (!toolBar || !strip)
        return FALSE;
    const bool showTips = (GetBarStyle() & CBRS_TOOLTIPS) != 0;
    const bool flyBy = (GetBarStyle() & CBRS_FLYBY) != 0;
    int image = 0;
    for (const WORD id : toolBar->ids) {
        m_buttonIds.push_back(id);
        if (id == ID_SEPARATOR) {
            bar->addSeparator();
            continue;
        }
        const std::string text = AfxLoadString(id);
        const auto lineFeed = text.find('\n');
        const std::string tip = lineFeed == std::string::npos ? "" : text.substr(lineFeed + 1);
        QAction* action =
            bar->addAction(ButtonIcon(*strip, image++, toolBar->width, toolBar->height),
                           QString::fromStdString(tip));
        action->setData(id);
        action->setToolTip(showTips ? QString::fromStdString(tip) : QString());
        CFrameWnd* frame = GetOwnerFrame();
        QObject::connect(action, &QAction::triggered, bar, [frame, id] { frame->SendCommand(id); });
        if (flyBy)
            QObject::connect(action, &QAction::hovered, bar,
                             [frame, id] { frame->ShowPrompt(id); });
    }
    return TRUE;
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* pTarget) {
    if (QToolBar* bar = ToolBarWidget(this))
        for (QAction* action : bar->actions())
            if (!action->isSeparator())
                action->setEnabled(pTarget->QueryCommandUI(action->data().toUInt()).m_bEnabled);
}

void CToolBar::ApplyDocking() {
    if (QToolBar* bar = ToolBarWidget(this))
        bar->setAllowedAreas(AreasOf(GetDockingStyle()));
}
