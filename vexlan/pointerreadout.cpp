#include "pointerreadout.h"

#include "installedstepcommands.h"
#include "pixelreadout.h"
#include "vexlanview.h"

#include <optional>
#include <string>

void CPointerReadout::Show(CPoint point) const {
    CFrameWnd* frame = m_view.GetParentFrame();
    if (frame == nullptr)
        return;
    CDC client(nullptr, 0, 0, 0);
    m_view.OnPrepareDC(&client);
    client.DPtoLP(&point);
    const CPaintedPlanes painted{m_view.m_nWidth,
                                 m_view.m_nHeight,
                                 m_view.GrayValues(),
                                 m_view.m_pGrayImage.get(),
                                 m_view.m_pColorImage.get(),
                                 m_view.m_bShowResult == 1 ? m_view.m_pResultImage.get() : nullptr,
                                 m_view.m_bGrayMode == 1,
                                 m_view.m_bColorMode == 1};
    const std::string running = m_view.StepCommands().RunningNotice();
    if (const std::optional<std::string> readout = PixelReadout(painted, point))
        frame->SetMessageText(running.empty() ? *readout : *readout + "    " + running);
    else
        frame->ShowIdlePrompt();
}

void CPointerReadout::Clear() const {
    if (CFrameWnd* frame = m_view.GetParentFrame())
        frame->ShowIdlePrompt();
}
