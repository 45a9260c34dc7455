#include "histogrampanel.h"

#include "graylevelcounts.h"
#include "resource.h"
#include "vexlanview.h"

#include <cstdio>
#include <numeric>

CHistogramPanel::CHistogramPanel(CVexlanView& view) : m_view(view) {}

CHistogramPanel::~CHistogramPanel() = default;

bool CHistogramPanel::MakePane() {
    if (m_pPane)
        return true;
    if (!(m_pPane = CDockPane::Make(m_view.GetParentFrame(), "直方图", IDW_HISTOGRAM_PANE)))
        return false;
    m_pHistogram = std::make_unique<CHistogramCtrl>();
    m_pHistogram->Create(m_pPane.get(),
                         [this](int series, int level) { OnPointed(series, level); });
    m_pLogScale = std::make_unique<CCheckBox>();
    m_pLogScale->Create(m_pPane.get(), "对数刻度", false,
                        [this](bool on) { m_pHistogram->SetLogScale(on); });
    return true;
}

void CHistogramPanel::Toggle() {
    if (IsShown()) {
        m_pPane->Show(false);
    } else if (MakePane()) {
        m_pPane->Show(true);
        Update();
    }
}

void CHistogramPanel::Update() {
    if (!IsShown())
        return;
    const CVexlanView& view = m_view;
    const std::size_t pixels = PlaneSize(view.m_nWidth, view.m_nHeight).value_or(0);
    CHistogramSeries image{"图像的灰度", {}};
    if (view.m_bGrayMode == 1 && view.m_pGrayImage)
        image.counts = CountGrayLevels(view.m_pGrayImage.get(), pixels);
    else if (view.m_bColorMode == 1 && view.m_pColorImage)
        image.counts = CountColorGrayLevels(view.m_pColorImage.get(), pixels);
    else
        image.title = "图像的灰度（没有图像）";
    CHistogramSeries result{"结果", {}};
    if (view.m_bShowResult == 1 && view.m_pResultImage)
        result.counts = CountGrayLevels(view.m_pResultImage.get(), pixels);
    else
        result.title = "结果（没有结果）";
    m_series = {image, result};
    m_pHistogram->SetSeries(m_series);
}

void CHistogramPanel::OnPointed(int series, int level) {
    CFrameWnd* frame = m_view.GetParentFrame();
    if (!frame)
        return;
    if (series < 0 || series >= static_cast<int>(m_series.size()))
        return frame->ShowIdlePrompt();
    const CGrayLevelCounts& counts = m_series[static_cast<std::size_t>(series)].counts;
    const std::uint64_t total = std::accumulate(counts.begin(), counts.end(), std::uint64_t{0});
    if (total == 0)
        return frame->ShowIdlePrompt();
    const std::uint64_t count = counts[static_cast<std::size_t>(level)];
    char share[32];
    std::snprintf(share, sizeof share, "%.2f%%",
                  100.0 * static_cast<double>(count) / static_cast<double>(total));
    frame->SetMessageText((series == 0 ? "图像 灰度 " : "结果 灰度 ") + std::to_string(level) +
                          "：" + std::to_string(count) + " 个像素（" + share + "）");
}
