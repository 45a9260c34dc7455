#include "histogramctrl.h"

#include "dockpane.h"
#include "wndimpl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 4;
constexpr int kLevels = 256;

QColor ColorOf(COLORREF color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

class HistogramWidget : public QWidget {
public:
    explicit HistogramWidget(std::function<void(int, int)> pointed)
        : m_pointed(std::move(pointed)) {
        setMouseTracking(true);
        setMinimumWidth(kLevels + 2 * kMargin);
    }

    void SetSeries(std::vector<CHistogramSeries> series) {
        m_series = std::move(series);
        setMinimumHeight(static_cast<int>(m_series.size()) * SeriesHeight() + kMargin);
        update();
    }
    void SetLogScale(bool logScale) {
        m_logScale = logScale;
        update();
    }
    QRect PlotRect(int index) const {
        const int top = kMargin + index * SeriesHeight() + TitleHeight();
        return QRect(kMargin, top, kLevels, CHistogramCtrl::kPlotHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (int i = 0; i < static_cast<int>(m_series.size()); ++i)
            PaintSeries(painter, i);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        for (int i = 0; i < static_cast<int>(m_series.size()); ++i)
            if (PlotRect(i).contains(at))
                return m_pointed(i, at.x() - PlotRect(i).left());
        m_pointed(-1, -1);
    }
    void leaveEvent(QEvent*) override { m_pointed(-1, -1); }

private:
    int TitleHeight() const { return fontMetrics().height() + 2; }
    int SeriesHeight() const { return TitleHeight() + CHistogramCtrl::kPlotHeight + kMargin; }

    void PaintSeries(QPainter& painter, int index) {
        const CHistogramSeries& series = m_series[static_cast<std::size_t>(index)];
        const QRect plot = PlotRect(index);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(kMargin, plot.top() - TitleHeight(), width(), TitleHeight()),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(series.title));
        painter.fillRect(plot, ColorOf(CHistogramCtrl::kPlotBackground));
        const std::uint64_t largest = *std::ranges::max_element(series.counts);
        for (int level = 0; level < kLevels; ++level) {
            const int height = CHistogramCtrl::BarHeight(
                series.counts[static_cast<std::size_t>(level)], largest, m_logScale);
            painter.fillRect(plot.left() + level, plot.bottom() + 1 - height, 1, height,
                             ColorOf(CHistogramCtrl::kBarColor));
        }
    }

    std::function<void(int, int)> m_pointed;
    std::vector<CHistogramSeries> m_series;
    bool m_logScale = false;
};

HistogramWidget* WidgetOf(const CHistogramCtrl* control) {
    return static_cast<HistogramWidget*>(AfxGetWidget(control));
}

} // namespace

IMPLEMENT_DYNAMIC(CHistogramCtrl, CWnd)

CHistogramCtrl::CHistogramCtrl() = default;

CHistogramCtrl::~CHistogramCtrl() = default;

BOOL CHistogramCtrl::Create(CDockPane* pPane, std::function<void(int series, int level)> pointed) {
    AfxAttachWidget(this, new HistogramWidget(std::move(pointed)));
    if (pPane)
        pPane->Place(*this);
    return TRUE;
}

void CHistogramCtrl::SetSeries(std::vector<CHistogramSeries> series) {
    if (HistogramWidget* widget = WidgetOf(this))
        widget->SetSeries(std::move(series));
}

void CHistogramCtrl::SetLogScale(bool logScale) {
    if (HistogramWidget* widget = WidgetOf(this))
        widget->SetLogScale(logScale);
}

CRect CHistogramCtrl::PlotRect(int index) const {
    const HistogramWidget* widget = WidgetOf(this);
    const QRect plot = widget ? widget->PlotRect(index) : QRect();
    return CRect{plot.left(), plot.top(), plot.right() + 1, plot.bottom() + 1};
}

int CHistogramCtrl::BarHeight(std::uint64_t count, std::uint64_t largest, bool logScale) {
    if (count == 0 || largest == 0)
        return 0;
    const double share =
        logScale ? std::log1p(static_cast<double>(count)) / std::log1p(static_cast<double>(largest))
                 : static_cast<double>(count) / static_cast<double>(largest);
    // A level that occurs at all shows at least one row.
    return std::max(1, static_cast<int>(std::lround(share * kPlotHeight)));
}
