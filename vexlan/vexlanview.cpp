#include "vexlanview.h"

#include "imageloader.h"
#include "imagesetchoice.h"
#include "imagesetpaths.h"
#include "installedstepcommands.h"
#include "listreadahead.h"
#include "pointerreadout.h"
#include "rawresultfile.h"
#include "resource.h"
#include "resultfilecommands.h"
#include "steptable.h"
#include "vexlandoc.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

void ShowMessage(const std::string& message) {
    AfxMessageBox(message.c_str(), MB_ICONWARNING);
}

// Made shareable where they are made: an installed step's own process maps the planes as
// they are, with no copy between the load and the step.
CByteBlock NewSharedPlane(std::size_t size, std::size_t pixelBytes) {
    return DEBUG_NEW_SHARED_PLANE(size, pixelBytes);
}

} // namespace

IMPLEMENT_DYNCREATE(CVexlanView, CScrollView)

BEGIN_MESSAGE_MAP(CVexlanView, CScrollView)
ON_WM_CREATE()
ON_COMMAND(ID_FILE_OPEN, &CVexlanView::OnFileOpen)
ON_WM_DROPFILES()
ON_WM_KEYDOWN()
ON_COMMAND(ID_FILE_SAVE, &CVexlanView::OnFileSave)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_COMMAND(ID_FILE_PRINT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_DIRECT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_PREVIEW, &CView::OnFilePrintPreview)
ON_COMMAND(ID_COLOR_SEGMENTATION, &CVexlanView::OnColorSegmentation)
ON_COMMAND_RANGE(ID_FIRST_INSTALLED_STEP, ID_LAST_INSTALLED_STEP, &CVexlanView::OnInstalledStep)
ON_WM_MOUSEMOVE()
ON_WM_MOUSELEAVE()
ON_COMMAND(ID_END_RUNNING_STEP, &CVexlanView::OnEscape)
ON_UPDATE_COMMAND_UI(ID_END_RUNNING_STEP, &CVexlanView::OnUpdateEscape)
ON_COMMAND(ID_FILE_OPEN_RESULT, &CVexlanView::OnFileOpenResult)
ON_COMMAND(ID_FILE_EXPORT_PNG, &CVexlanView::OnFileExportPng)
ON_UPDATE_COMMAND_UI(ID_FILE_EXPORT_PNG, &CVexlanView::OnUpdateResultSaving)
ON_COMMAND(ID_FILE_SAVE_RESULT_AS, &CVexlanView::OnFileSaveResultAs)
ON_UPDATE_COMMAND_UI(ID_FILE_SAVE_RESULT_AS, &CVexlanView::OnUpdateResultSaving)
ON_COMMAND(ID_COLOR_CONTINUE_ON_RESULT, &CVexlanView::OnColorContinueOnResult)
ON_UPDATE_COMMAND_UI(ID_COLOR_CONTINUE_ON_RESULT, &CVexlanView::OnUpdateColorContinueOnResult)
ON_COMMAND(ID_VIEW_HISTOGRAM, &CVexlanView::OnViewHistogram)
ON_UPDATE_COMMAND_UI(ID_VIEW_HISTOGRAM, &CVexlanView::OnUpdateViewHistogram)
END_MESSAGE_MAP()

CVexlanView::CVexlanView()
    : m_pStepCommands(std::make_unique<CInstalledStepCommands>(*this)),
      m_pResultFiles(std::make_unique<CResultFileCommands>(*this)),
      m_pReadAhead(std::make_unique<CListReadAhead>(*this)),
      m_pReadout(std::make_unique<CPointerReadout>(*this)),
      m_pChain(std::make_unique<CStepChain>(*this)),
      m_pParameters(std::make_unique<CParameterPanel>(
          *this, [this](const std::vector<double>& values) { m_pStepCommands->RunAgain(values); })),
      m_pHistogram(std::make_unique<CHistogramPanel>(*this)),
      m_pLoader(std::make_unique<CImageLoader>(*this, NewSharedPlane)) {}

CVexlanView::~CVexlanView() = default;

CVexlanDoc* CVexlanView::GetDocument() const {
    ASSERT(CView::GetDocument()->IsKindOf(RUNTIME_CLASS(CVexlanDoc)));
    return static_cast<CVexlanDoc*>(CView::GetDocument());
}

void CVexlanView::LoadImageAt(int index) {
    if (!m_pFileNames || index < 0)
        return;
    EndRunningStep(); // its result would belong to the image before
    const char* name = EntryName(index);
    const std::optional<std::string> fullName = JoinEntryPath(m_szDirectory, name);
    CFilePtr file(fullName ? AfxOpenFile(fullName->c_str(), "rb") : nullptr);
    if (!file) {
        // A file that cannot be opened is no refusal: the entry stays current, as before.
        m_pLoader->Forget();
        m_pOutputImage.reset();
        m_bPlanesAreCurrent = false;
        if (!fullName)
            ShowMessage(PathTooLongMessage(m_szDirectory, name));
        else
            AfxMessageBox("Cannot open the list file", 0, 0);
        return;
    }
    const std::string sFTitle = name;
    GetDocument()->SetTitle(sFTitle.c_str());
    m_pLoader->Load(index, *fullName, std::move(file));
}

void CVexlanView::TakeLoadedImage(CDecodedImage image) {
    EndRunningStep();
    // A result is painted at the image's size: one computed meanwhile from planes of another
    // size cannot stay.
    if (image.width != m_nWidth || image.height != m_nHeight) {
        m_pResultImage.reset();
        m_pChain->SetShown({});
    }
    // The planes they replace are what the next read ahead decodes into.
    if (m_pGrayImage)
        m_pReadAhead->Recycle(TakePlanes());
    PutPlanes(std::move(image));
    m_bPlanesAreCurrent = true;
    OnInitialUpdate();
}

void CVexlanView::OnEscape() {
    if (IsLoading())
        CancelLoading();
    else
        EndRunningStep();
}

const char* CVexlanView::EntryName(int index) const {
    return m_pFileNames.get() + std::ptrdiff_t{nameSlotSize} * index;
}

void CVexlanView::UseSingleFile(const std::string& directory, const std::string& name) {
    UseImageSet(CImageSetChoice{directory, {name}, 0});
}

bool CVexlanView::UseImageSet(const CImageSetChoice& choice) {
    // A single file gets the table of five slots that it always had; a list one per name.
    constexpr std::size_t singleFileSlots = 5;
    const std::size_t slots = choice.fileCount == 0 ? singleFileSlots : choice.names.size();
    ASSERT(choice.directory.size() < sizeof m_szDirectory && choice.names.size() <= slots);
    CCharBlock table = DEBUG_NEW_CHARS(std::size_t{nameSlotSize} * slots);
    if (!table)
        return false;
    std::fill_n(table.get(), std::size_t{nameSlotSize} * slots, '\0');
    for (std::size_t i = 0; i < choice.names.size(); ++i)
        choice.names[i].copy(table.get() + nameSlotSize * i, nameSlotSize - 1);
    m_nFileCount = choice.fileCount;
    m_pReadAhead->SetDirection(1);
    std::snprintf(m_szDirectory, sizeof m_szDirectory, "%s", choice.directory.c_str());
    m_pFileNames = std::move(table);
    m_nCurrentFile = 0;
    return true;
}

int CVexlanView::OnCreate(LPCREATESTRUCT) {
    DragAcceptFiles();
    return 0;
}

void CVexlanView::OnFileOpen() {
    CFileDialog MyFDlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, nullptr, nullptr, 0, TRUE);
    MyFDlg.m_ofn.lpstrFilter = kImageSetFilter;
    MyFDlg.m_ofn.lpstrInitialDir = "D:\\";

    m_pLoader->Remember();
    ClearDisplay();
    if (MyFDlg.DoModal() != IDOK) {
        m_pLoader->Forget();
        return;
    }
    OpenChosenFile(MyFDlg.GetPathName());
}

void CVexlanView::OnDropFiles(const std::vector<std::string>& systemPaths) {
    if (systemPaths.empty())
        return;
    m_pLoader->Remember();
    ClearDisplay();
    OpenChosenFile(systemPaths.front());
}

void CVexlanView::ClearDisplay() {
    EndRunningStep();
    m_bShowResult = 0;
    m_bColorMode = 0;
    m_bGrayMode = 0;
    // Nothing is painted now, whatever the dialog ends with; with the extent gone, the next
    // image also starts at the top-left corner, and at zoom 1. Setting the zoom repaints.
    UpdateScrollSizes();
    SetZoom(CZoom());
    m_pReadAhead->Drop();
    ShowWhatIsPainted();
}

void CVexlanView::OpenChosenFile(const std::string& SFName) {
    const CChosenKind kind = KindOfChosenFile(SFName);
    if (kind != CChosenKind::Other && !OpenImageSet(SFName)) {
        m_pLoader->Forget();
        return;
    }
    if (kind == CChosenKind::Raw)
        m_bGrayMode = 1;
    if (kind == CChosenKind::List || kind == CChosenKind::Bitmap || kind == CChosenKind::Image)
        m_bColorMode = 1;
    if (m_pFileNames)
        LoadImageAt(m_nCurrentFile);
    else
        m_pLoader->Forget();
}

bool CVexlanView::OpenImageSet(const std::string& path) {
    std::string message;
    const std::optional<CImageSetChoice> choice = ReadImageSetChoice(path, message);
    if (!choice) {
        ShowMessage(message);
        return false;
    }
    if (!UseImageSet(*choice)) {
        ShowMessage(FileProblemMessage(path, "无法打开：内存不足"));
        return false;
    }
    return true;
}

void CVexlanView::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
    if (nChar == VK_NEXT && m_nCurrentFile + 1 < m_nFileCount)
        StepThroughList(1);
    if (nChar == VK_PRIOR && m_nCurrentFile > 0)
        StepThroughList(-1);
    CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
}

// The result goes before the load starts, so that a cancelled one can bring it back; after a
// refused one it stays gone, as after a missing entry.
void CVexlanView::StepThroughList(int step) {
    m_pLoader->Remember();
    m_nCurrentFile += step;
    m_pReadAhead->SetDirection(step);
    DropResult();
    LoadImageAt(m_nCurrentFile);
}

void CVexlanView::OnColorSegmentation() {
    RunStep(ID_COLOR_SEGMENTATION);
}

void CVexlanView::RunStep(UINT commandId) {
    EndRunningStep();
    if (const CProcessingStep* step = FindStepByCommand(commandId))
        RunStep(*step);
}

void CVexlanView::RunStep(const CProcessingStep& step) {
    std::optional<CResultOrigin> start = m_pChain->Next();
    const std::optional<std::size_t> size = PlaneSize(m_nWidth, m_nHeight);
    if (!start || !size || (!start->input && !m_pGrayImage))
        return;
    // A plane as large as an image's comes zeroed from the system without a write, and
    // only a step that may leave bytes alone needs it zeroed.
    CByteBlock result = DEBUG_NEW_ZEROED_BYTES(*size);
    if (!result)
        return;
    ApplyStep(step,
              start->input
                  ? start->input->Input()
                  : CStepInput{m_nWidth, m_nHeight, m_pGrayImage.get(), m_pColorImage.get()},
              result.get(), CResultPlane::Zeroed);
    start->links.push_back({step.name, {}});
    TakeResult(std::move(result), m_bPlanesAreCurrent, std::move(*start));
}

void CVexlanView::TakeResult(CByteBlock result, bool planesAreCurrent, CResultOrigin origin) {
    m_pChain->SetShown(std::move(origin));
    m_pResultImage = std::move(result);
    // What is painted is also what File Save writes, but only while it was computed from the
    // current entry: after a failed load the planes still hold the image before. Nothing
    // writes to a result after its step, so both are the one plane.
    if (planesAreCurrent)
        m_pOutputImage = m_pResultImage;
    m_bShowResult = 1;
    OnInitialUpdate();
}

std::string CVexlanView::CurrentImageHostPath() const {
    const char* name = m_pFileNames ? EntryName(m_nCurrentFile) : "";
    const std::string fullName = JoinEntryPath(m_szDirectory, name).value_or(name);
    return AfxHostPath(fullName).value_or(fullName);
}

void CVexlanView::OnFileSave() {
    if (!m_pFileNames || !m_pOutputImage)
        return SayWhyNothingIsSaved();
    const std::string fname = ResultFileName(EntryName(m_nCurrentFile));
    if (const std::optional<std::string> failure =
            SaveResultFile(AfxHostPath(fname), AfxPathForMessage(fname), m_nWidth, m_nHeight,
                           m_pOutputImage.get()))
        ShowMessage(*failure);
    else if (CFrameWnd* frame = GetParentFrame())
        frame->SetMessageText("已保存 " + AfxPathForMessage(fname));
}

void CVexlanView::SayWhyNothingIsSaved() {
    CFrameWnd* frame = GetParentFrame();
    if (frame == nullptr)
        return;
    if (m_pFileNames && !m_bPlanesAreCurrent)
        frame->SetMessageText("没有保存：显示的图像不是 " + GetDocument()->GetTitle() +
                              "，那个文件没有打开");
    else
        frame->SetMessageText("没有保存：还没有处理结果，先运行一个处理步骤");
}

bool CVexlanView::UseEmptyImageSlot(const std::string& path, const std::string& stem, int width,
                                    int height) {
    const std::string directory = path.substr(0, path.rfind('\\'));
    if (!UseImageSet({directory.size() < sizeof m_szDirectory ? directory : "", {stem}, 0})) {
        ShowMessage(FileProblemMessage(path, "无法打开：内存不足"));
        return false;
    }
    m_pReadAhead->Drop();
    PutPlanes(CDecodedImage{{}, {}, width, height, 0, CGrayValues::None});
    m_bColorMode = 0;
    m_bGrayMode = 0;
    m_bPlanesAreCurrent = true;
    GetDocument()->SetTitle(path.substr(path.rfind('\\') + 1).c_str());
    SetZoom(CZoom());
    return true;
}

CDecodedImage CVexlanView::TakePlanes() {
    return CDecodedImage{std::move(m_pGrayImage),
                         std::move(m_pColorImage),
                         m_nWidth,
                         m_nHeight,
                         m_nPlaneBits,
                         m_grayValues};
}

void CVexlanView::PutPlanes(CDecodedImage image) {
    m_pGrayImage = std::move(image.gray);
    m_pColorImage = std::move(image.color);
    m_nWidth = image.width;
    m_nHeight = image.height;
    m_nPlaneBits = image.bitsPerPixel;
    m_grayValues = image.grayValues;
}

// The load has already asked for its repaint; the extent must lose the result's half all the
// same, also when the load failed and asked for none.
void CVexlanView::DropResult() {
    m_pResultImage.reset();
    m_pChain->SetShown({});
    UpdateScrollSizes();
    ShowWhatIsPainted();
}

void CVexlanView::OnInitialUpdate() {
    UpdateScrollSizes();
    CScrollView::OnInitialUpdate();
    ShowWhatIsPainted();
}

void CVexlanView::ShowWhatIsPainted() {
    m_pParameters->Update();
    m_pHistogram->Update();
    m_pStepCommands->ShowIdleText();
}

void CVexlanView::UpdateScrollSizes() {
    CSize painted;
    const bool imageShown = m_bGrayMode == 1 || m_bColorMode == 1;
    const bool resultShown = m_bShowResult == 1 && m_pResultImage;
    // A result opened from its file may stand beside an empty image slot.
    if ((m_pGrayImage && imageShown) || resultShown) {
        const int width = std::max(m_nWidth, 0);
        painted = CSize{resultShown ? 2 * width : width, std::max(m_nHeight, 0)};
    }
    SetScrollSizes(MM_TEXT, painted);
}

void CVexlanView::OnDraw(CDC* pDC) {
    [[maybe_unused]] CVexlanDoc* pDoc = GetDocument();
    ASSERT_VALID(pDoc);
    if (!m_pGrayImage && !m_pResultImage)
        return;

    // Only the rows and columns that meet the clip box, and of those only the ones a reducing
    // zoom shows, are walked: a large image has far more of them than a window shows.
    // Locals, because a pixel store could alias the members and force a reload per pixel.
    const int width = m_nWidth;
    const int height = m_nHeight;
    const int step = pDC->GetSampleStep();
    const CSpan rows = pDC->ShownRows(0, height);
    const CSpan columns = pDC->ShownColumns(0, width);
    // Rows are found in ptrdiff_t: a row's offset in the largest plane passes an int.
    if (m_bGrayMode == 1 && m_pGrayImage) {
        for (int y = rows.begin; y < rows.end; y += step) {
            const BYTE* row = m_pGrayImage.get() + std::ptrdiff_t{y} * width;
            for (int x = columns.begin; x < columns.end; x += step)
                pDC->SetPixel(x, y, row[x] * 0x010101u);
        }
    }
    if (m_bColorMode == 1 && m_pColorImage) {
        for (int y = rows.begin; y < rows.end; y += step) {
            const BYTE* row = m_pColorImage.get() + std::ptrdiff_t{y} * 3 * width;
            // x is k / 3, kept alongside k rather than divided out per pixel.
            for (int k = 3 * columns.begin, x = columns.begin; k < 3 * columns.end;
                 k += 3 * step, x += step)
                pDC->SetPixelV(x, y, row[k + 2] + row[k + 1] * 256u + row[k] * 65536u);
        }
    }
    if (m_bShowResult == 1 && m_pResultImage) {
        const CSpan resultColumns = pDC->ShownColumns(width, width);
        for (int y = rows.begin; y < rows.end; y += step) {
            const BYTE* row = m_pResultImage.get() + std::ptrdiff_t{y} * width;
            for (int x = resultColumns.begin; x < resultColumns.end; x += step)
                pDC->SetPixel(width + x, y, row[x] * 0x010101u);
        }
    }
}

BOOL CVexlanView::PreCreateWindow(CREATESTRUCT& cs) {
    return CScrollView::PreCreateWindow(cs);
}

BOOL CVexlanView::OnPreparePrinting(CPrintInfo* pInfo) {
    return DoPreparePrinting(pInfo);
}

void CVexlanView::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CVexlanView::OnEndPrinting(CDC*, CPrintInfo*) {}

void CVexlanView::AssertValid() const {
    CScrollView::AssertValid();
}

void CVexlanView::Dump(CDumpContext& dc) const {
    CScrollView::Dump(dc);
}
