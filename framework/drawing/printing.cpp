#include "printing.h"

#include "dc.h"
#include "document.h"
#include "messagebox.h"
#include "printinfo.h"
#include "view.h"
#include "winapp.h"
#include "wndimpl.h"

#include <QCoreApplication>
#include <QImage>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdint>
#include <memory>
#include <utility>

namespace {

// A page of 32-bit pixels larger than this (256 MiB) is refused rather than allocated.
constexpr qint64 largestPagePixels = qint64{1} << 26;

bool FindSystemPrinter(QPrinter& printer, const std::string& name) {
    const QPrinterInfo found = name.empty()
                                   ? QPrinterInfo::defaultPrinter()
                                   : QPrinterInfo::printerInfo(QString::fromStdString(name));
    if (found.isNull())
        return false;
    printer.setPrinterName(found.printerName());
    return true;
}

CPrinterLookup& PrinterLookup() {
    static CPrinterLookup lookup;
    return lookup;
}

std::string NoPrinterMessage(const std::string& name) {
    if (name.empty())
        return "没有默认打印机，无法打印。";
    return "找不到打印机“" + name + "”，无法打印。";
}

std::unique_ptr<QPrinter>& PrinterSlot() {
    static std::unique_ptr<QPrinter> printer;
    return printer;
}

// A page's pixels, drawn on as a printer's surface.
class PrinterDC : public CDC {
public:
    explicit PrinterDC(QImage& page)
        : CDC(reinterpret_cast<std::uint32_t*>(page.bits()), page.width(), page.height(),
              page.bytesPerLine() / 4) {
        m_bPrinting = true;
    }
};

QWidget* DialogParent(CWnd* wnd) {
    if (QWidget* widget = AfxGetWidget(wnd))
        return widget;
    const CWinApp* app = AfxGetApp();
    return app ? AfxGetWidget(app->m_pMainWnd) : nullptr;
}

// The job carries the document's title; the print dialog also proposes it as the file name.
void NameJob(QPrinter& printer, const CView& view) {
    const CDocument* document = view.GetDocument();
    printer.setDocName(QString::fromStdString(document ? document->GetTitle() : std::string()));
}

// The printer's painter measures from the printable area's corner unless it paints the
// whole sheet.
QRect PrintableRect(const QPrinter& printer) {
    QRect rect = printer.pageLayout().paintRectPixels(printer.resolution());
    if (!printer.fullPage())
        rect.moveTopLeft(QPoint(0, 0));
    return rect;
}

bool IsPaintablePage(const QRect& page) {
    return !page.isEmpty() && qint64{page.width()} * page.height() <= largestPagePixels;
}

} // namespace

QPrinter& AfxGetPrinter() {
    std::unique_ptr<QPrinter>& printer = PrinterSlot();
    if (!printer) {
        printer = std::make_unique<QPrinter>();
        qAddPostRoutine([] { PrinterSlot().reset(); });
    }
    return *printer;
}

bool AfxRunPrintDialog(CView& view) {
    QPrinter& printer = AfxGetPrinter();
    NameJob(printer, view);
    QPrintDialog dialog(&printer, DialogParent(&view));
    return dialog.exec() == QDialog::Accepted;
}

void AfxRunPageSetupDialog(CWnd* parent) {
    QPageSetupDialog dialog(&AfxGetPrinter(), DialogParent(parent));
    dialog.exec();
}

void AfxRunPrintPreview(CView& view, CPrintInfo& info) {
    QPrinter& printer = AfxGetPrinter();
    NameJob(printer, view);
    QPrintPreviewDialog preview(&printer, DialogParent(&view));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&view, &info](QPrinter* target) { AfxPrintView(view, info, *target); });
    preview.exec();
}

void AfxSetPrinterLookup(CPrinterLookup lookup) {
    PrinterLookup() = std::move(lookup);
}

bool AfxPrintViewDirect(CView& view, const std::string& printerName) {
    QPrinter printer;
    const CPrinterLookup& lookup = PrinterLookup();
    if (!(lookup ? lookup(printer, printerName) : FindSystemPrinter(printer, printerName))) {
        AfxMessageBox(NoPrinterMessage(printerName).c_str(), MB_ICONERROR);
        return false;
    }
    CPrintInfo info;
    info.m_bDirect = TRUE;
    return view.OnPreparePrinting(&info) && AfxPrintViewAndReport(view, info, printer);
}

bool AfxPrintViewAndReport(CView& view, CPrintInfo& info, QPrinter& printer) {
    if (AfxPrintView(view, info, printer))
        return true;
    AfxMessageBox("无法打印这一页。", MB_ICONERROR);
    return false;
}

bool AfxPrintView(CView& view, CPrintInfo& info, QPrinter& printer) {
    const QRect page = PrintableRect(printer);
    if (!IsPaintablePage(page))
        return false;
    NameJob(printer, view);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    if (!AfxRunPrintJob(view, info, painter, page)) {
        printer.abort();
        return false;
    }
    return painter.end();
}

bool AfxRunPrintJob(CView& view, CPrintInfo& info, QPainter& painter, const QRect& page) {
    if (!IsPaintablePage(page))
        return false;
    QImage pixels(page.size(), QImage::Format_RGB32);
    if (pixels.isNull())
        return false;
    PrinterDC dc(pixels);
    info.m_nCurPage = info.m_nMinPage;
    info.m_rectDraw = CRect{0, 0, page.width(), page.height()};
    view.OnBeginPrinting(&dc, &info);
    view.PaintSurface(dc, &info);
    // One printer dot per image pixel: no scaling, whatever the printer's resolution.
    painter.drawImage(page.topLeft(), pixels);
    view.OnEndPrinting(&dc, &info);
    return true;
}
