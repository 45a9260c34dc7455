// A value the user sets in a pane: its label, a slider and a number box side by side, kept
// equal. Either one, moved by the mouse or the keyboard, hands each new value over at once;
// a number typed in the box goes over when Enter is pressed or the box is left.
#pragma once

#include "wnd.h"

#include <functional>
#include <string>

class CDockPane;

class CSliderField : public CWnd {
    DECLARE_DYNAMIC(CSliderField)
public:
    CSliderField();
    ~CSliderField() override;

    // Values from minimum to maximum with decimals places after the point; the arrow keys
    // move by step. changed gets each value the user sets.
    BOOL Create(CDockPane* pPane, const std::string& label, double minimum, double maximum,
                int decimals, double step, double value, std::function<void(double)> changed);
    double GetValue() const;
    // Shows value without handing it over.
    void SetValue(double value);

private:
    struct Parts;
    Parts* m_pParts = nullptr; // owned by the widget
};
