// The dockable 直方图 panel (查看 > 直方图): the histograms of the image's gray levels as they
// are painted and of the result shown, brought up to date after every load and every run,
// with a logarithmic scale to switch on and the count of the level under the pointer in the
// status bar.
#pragma once

#include "afxwin.h"

#include <memory>
#include <vector>

class CVexlanView;

class CHistogramPanel {
public:
    explicit CHistogramPanel(CVexlanView& view);
    ~CHistogramPanel();
    CHistogramPanel(const CHistogramPanel&) = delete;
    CHistogramPanel& operator=(const CHistogramPanel&) = delete;

    void Toggle();
    bool IsShown() const { return m_pPane && m_pPane->IsShown(); }
    // Counts the planes painted now, while the panel is shown.
    void Update();

    const CHistogramCtrl* Histogram() const { return m_pHistogram.get(); }

private:
    bool MakePane();
    // "结果 灰度 128：1234 个像素（12.05%）"
    void OnPointed(int series, int level);

    CVexlanView& m_view;
    std::unique_ptr<CDockPane> m_pPane;
    std::unique_ptr<CHistogramCtrl> m_pHistogram;
    std::unique_ptr<CCheckBox> m_pLogScale;
    std::vector<CHistogramSeries> m_series;
};
