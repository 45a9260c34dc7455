#include "dockpane.h"

#include "framewnd.h"
#include "wndimpl.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QVBoxLayout>

IMPLEMENT_DYNAMIC(CDockPane, CControlBar)

CDockPane::CDockPane() = default;

CDockPane::~CDockPane() = default;

BOOL CDockPane::Create(CFrameWnd* pFrame, const std::string& title, UINT nID) {
    auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(pFrame));
    if (window == nullptr)
        return FALSE;
    auto* dock = new QDockWidget(QString::fromStdString(title), window);
    dock->setObjectName(QString("pane%1").arg(nID));
    auto* content = new QWidget(dock);
    auto* layout = new QVBoxLayout(content);
    layout->setAlignment(Qt::AlignTop);
    dock->setWidget(content);
    dock->hide();
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    AfxAttachWidget(this, dock);
    AttachToFrame(pFrame, WS_CHILD | CBRS_ALIGN_RIGHT, nID);
    return TRUE;
}

std::unique_ptr<CDockPane> CDockPane::Make(CFrameWnd* pFrame, const std::string& title, UINT nID) {
    auto pane = std::make_unique<CDockPane>();
    return pFrame && pane->Create(pFrame, title, nID) ? std::move(pane) : nullptr;
}

void CDockPane::Show(bool show) {
    if (QWidget* dock = AfxGetWidget(this))
        dock->setVisible(show);
}

bool CDockPane::IsShown() const {
    const QWidget* dock = AfxGetWidget(this);
    return dock && !dock->isHidden();
}

void CDockPane::Place(CWnd& control) {
    auto* dock = qobject_cast<QDockWidget*>(AfxGetWidget(this));
    QWidget* widget = AfxGetWidget(&control);
    if (dock && widget)
        dock->widget()->layout()->addWidget(widget);
}
