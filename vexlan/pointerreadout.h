// The status bar's readout of the pixel under the pointer, as the view paints it now; it does
// not hide that a step is running.
#pragma once

#include "afxwin.h"

class CVexlanView;

class CPointerReadout {
public:
    explicit CPointerReadout(CVexlanView& view) : m_view(view) {}

    // point is in the view window's device pixels. Where nothing is painted the message pane
    // shows its idle text.
    void Show(CPoint point) const;
    // The pointer left the view.
    void Clear() const;

private:
    CVexlanView& m_view;
};
