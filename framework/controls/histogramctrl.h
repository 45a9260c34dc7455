// Histograms of gray levels, one above the other, each a title line over a plot of one column
// per level 0 to 255, the bar of a level as high as its count against the largest count (on a
// logarithmic scale when that is on). The level under the pointer is handed to a handler.
#pragma once

#include "wnd.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDockPane;

struct CHistogramSeries {
    std::string title;
    std::array<std::uint64_t, 256> counts{}; // all zero: nothing to plot
};

class CHistogramCtrl : public CWnd {
    DECLARE_DYNAMIC(CHistogramCtrl)
public:
    static constexpr int kPlotHeight = 100;
    static constexpr COLORREF kBarColor = 0x00303030;
    static constexpr COLORREF kPlotBackground = 0x00FFFFFF;

    CHistogramCtrl();
    ~CHistogramCtrl() override;

    // pointed gets the series and level under the pointer, or -1 and -1 once it is over none.
    BOOL Create(CDockPane* pPane, std::function<void(int series, int level)> pointed);
    void SetSeries(std::vector<CHistogramSeries> series);
    void SetLogScale(bool logScale);

    // Where series index is plotted, in the control's pixels: level l in column left + l,
    // bars standing on the bottom row.
    CRect PlotRect(int index) const;
    // How many rows the bar of count stands high in a plot whose largest count is largest.
    static int BarHeight(std::uint64_t count, std::uint64_t largest, bool logScale);
};
