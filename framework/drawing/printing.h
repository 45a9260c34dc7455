// The application's printer and the print job of a view; private to the class layer.
#pragma once

#include <QRect>

#include <functional>
#include <string>

class CView;
class CWnd;
class QPainter;
class QPrinter;
struct CPrintInfo;

// The one printer of the application: print setup changes it and every job prints on it.
// Made on first use; it goes with the toolkit application.
QPrinter& AfxGetPrinter();

// The print dialog on the application's printer; whether the user confirmed it.
bool AfxRunPrintDialog(CView& view);
// The page setup dialog on the application's printer.
void AfxRunPageSetupDialog(CWnd* parent);
// The preview dialog, which renders the job's page on the application's printer as often
// as it needs it.
void AfxRunPrintPreview(CView& view, CPrintInfo& info);

// Finds the printer a print-and-exit job goes to: the one named, or the default printer for an
// empty name, set on printer. False when there is no such printer. Tests put a printer that
// writes a file in the system's place; an empty lookup restores it.
using CPrinterLookup = std::function<bool(QPrinter& printer, const std::string& name)>;
void AfxSetPrinterLookup(CPrinterLookup lookup);

// A print-and-exit job: the view printed without a dialog on the printer the lookup finds for
// printerName. False when it did not print: a missing printer or a page that could not be
// printed is said in a message box, a view that declines the job in OnPreparePrinting is not.
bool AfxPrintViewDirect(CView& view, const std::string& printerName);

// Runs a prepared job on printer. False when the printer cannot be opened or the page
// cannot be painted.
bool AfxPrintView(CView& view, CPrintInfo& info, QPrinter& printer);
// The same, saying in a message box when the page could not be printed.
bool AfxPrintViewAndReport(CView& view, CPrintInfo& info, QPrinter& printer);

// The job on an open painter whose printable area is page, in the painter's device pixels:
// OnBeginPrinting, one page painted by the view into a surface of the page's size and put
// there one device pixel per surface pixel, OnEndPrinting. False, before any hook runs,
// when the page is empty or too large to paint.
bool AfxRunPrintJob(CView& view, CPrintInfo& info, QPainter& painter, const QRect& page);
