#include "checkbox.h"

#include "dockpane.h"
#include "wndimpl.h"

#include <QCheckBox>

IMPLEMENT_DYNAMIC(CCheckBox, CWnd)

CCheckBox::CCheckBox() = default;

CCheckBox::~CCheckBox() = default;

BOOL CCheckBox::Create(CDockPane* pPane, const std::string& text, bool checked,
                       std::function<void(bool)> toggled) {
    auto* box = new QCheckBox(QString::fromStdString(text));
    box->setChecked(checked);
    QObject::connect(box, &QCheckBox::toggled, box, std::move(toggled));
    AfxAttachWidget(this, box);
    if (pPane)
        pPane->Place(*this);
    return TRUE;
}
