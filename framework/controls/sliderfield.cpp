#include "sliderfield.h"

#include "dockpane.h"
#include "wndimpl.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

struct CSliderField::Parts : QObject {
    QSlider* slider = nullptr;
    QDoubleSpinBox* box = nullptr;
    double scale = 1; // slider positions per unit

    int Position(double value) const { return static_cast<int>(std::lround(value * scale)); }
    // The box's value to the places it shows: stepping by the arrow keys adds up rounding
    // errors, and 0.7 + 0.1 must hand over 0.8 itself.
    double Shown() const { return Position(box->value()) / scale; }
};

IMPLEMENT_DYNAMIC(CSliderField, CWnd)

CSliderField::CSliderField() = default;

CSliderField::~CSliderField() = default;

BOOL CSliderField::Create(CDockPane* pPane, const std::string& label, double minimum,
                          double maximum, int decimals, double step, double value,
                          std::function<void(double)> changed) {
    auto* row = new QWidget;
    auto* layout = new QGridLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* parts = new Parts;
    parts->setParent(row);
    parts->scale = std::pow(10.0, decimals);
    parts->slider = new QSlider(Qt::Horizontal, row);
    parts->slider->setRange(parts->Position(minimum), parts->Position(maximum));
    parts->slider->setSingleStep(std::max(1, parts->Position(step)));
    parts->slider->setPageStep(
        std::max(1, (parts->slider->maximum() - parts->slider->minimum()) / 16));
    parts->box = new QDoubleSpinBox(row);
    parts->box->setDecimals(decimals);
    parts->box->setRange(minimum, maximum);
    parts->box->setSingleStep(step);
    parts->box->setKeyboardTracking(false);
    layout->addWidget(new QLabel(QString::fromStdString(label), row), 0, 0, 1, 2);
    layout->addWidget(parts->slider, 1, 0);
    layout->addWidget(parts->box, 1, 1);
    m_pParts = parts;
    AfxAttachWidget(this, row);
    SetValue(value);
    QObject::connect(parts->slider, &QSlider::valueChanged, parts, [parts, changed](int position) {
        const QSignalBlocker quiet(parts->box);
        parts->box->setValue(position / parts->scale);
        changed(parts->Shown());
    });
    QObject::connect(parts->box, &QDoubleSpinBox::valueChanged, parts, [parts, changed](double) {
        const QSignalBlocker quiet(parts->slider);
        parts->slider->setValue(parts->Position(parts->box->value()));
        changed(parts->Shown());
    });
    if (pPane)
        pPane->Place(*this);
    return TRUE;
}

double CSliderField::GetValue() const {
    return m_pParts ? m_pParts->Shown() : 0;
}

void CSliderField::SetValue(double value) {
    if (!m_pParts)
        return;
    const QSignalBlocker quietBox(m_pParts->box);
    const QSignalBlocker quietSlider(m_pParts->slider);
    m_pParts->box->setValue(value);
    m_pParts->slider->setValue(m_pParts->Position(m_pParts->box->value()));
}
