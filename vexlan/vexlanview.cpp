#include "vexlanview.h"

#include "imagesetchoice.h"
#include "imagesetpaths.h"
#include "pixelreadout.h"
#include "pngencoder.h"
#include "rawresultfile.h"
#include "readahead.h"
#include "readystephost.h"
#include "resource.h"
#include "runningstep.h"
#include "steptable.h"
#include "vexlandoc.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

void ShowMessage(const std::string& message) {
    AfxMessageBox(message.c_str(), MB_ICONWARNING);
}

// 所有图像 first: every kind that File Open reads, then each kind on its own.
constexpr char kOpenFilter[] =
    "所有图像\0*.lst;*.raw;*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.pgm;*.ppm;*.pbm;*.gif;*.webp\0"
    "图像列表\0*.lst\0"
    "位图\0*.bmp;*.raw\0"
    "PNG 图像\0*.png\0"
    "JPEG 图像\0*.jpg;*.jpeg\0"
    "TIFF 图像\0*.tif;*.tiff\0"
    "PGM、PPM、PBM 图像\0*.pgm;*.ppm;*.pbm\0"
    "GIF 图像\0*.gif\0"
    "WebP 图像\0*.webp\0";

CByteBlock NewZeroedPlane(std::size_t size, std::size_t) {
    return DEBUG_NEW_ZEROED_BYTES(size);
}

// The indices i in [0, count) whose painted position first + i lies in [clipBegin, clipEnd),
// from the first whose position is a multiple of step: those that the surface shows.
struct Span {
    int begin;
    int end;
};

Span SpanWithin(int first, int count, int clipBegin, int clipEnd, int step) {
    const std::int64_t limit = std::max(count, 0);
    const auto index = [&](int position) {
        return std::clamp<std::int64_t>(std::int64_t{position} - first, 0, limit);
    };
    const std::int64_t begin = index(clipBegin);
    const std::int64_t shown = begin + (step - (first + begin) % step) % step;
    return Span{static_cast<int>(std::min(shown, limit)), static_cast<int>(index(clipEnd))};
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
ON_COMMAND(ID_VIEW_ZOOM_IN, &CVexlanView::OnViewZoomIn)
ON_COMMAND(ID_VIEW_ZOOM_OUT, &CVexlanView::OnViewZoomOut)
ON_COMMAND(ID_VIEW_ZOOM_ACTUAL, &CVexlanView::OnViewZoomActual)
ON_COMMAND(ID_VIEW_ZOOM_FIT, &CVexlanView::OnViewZoomFit)
ON_UPDATE_COMMAND_UI(ID_VIEW_ZOOM_IN, &CVexlanView::OnUpdateViewZoomIn)
ON_UPDATE_COMMAND_UI(ID_VIEW_ZOOM_OUT, &CVexlanView::OnUpdateViewZoomOut)
ON_COMMAND(ID_END_RUNNING_STEP, &CVexlanView::EndRunningStep)
ON_UPDATE_COMMAND_UI(ID_END_RUNNING_STEP, &CVexlanView::OnUpdateEndRunningStep)
ON_COMMAND(ID_FILE_OPEN_RESULT, &CVexlanView::OnFileOpenResult)
ON_COMMAND(ID_FILE_EXPORT_PNG, &CVexlanView::OnFileExportPng)
ON_UPDATE_COMMAND_UI(ID_FILE_EXPORT_PNG, &CVexlanView::OnUpdateFileExportPng)
END_MESSAGE_MAP()

CVexlanView::CVexlanView() : m_pReadyStepHost(std::make_unique<CReadyStepHost>()) {}

CVexlanView::~CVexlanView() = default;

CVexlanDoc* CVexlanView::GetDocument() const {
    ASSERT(CView::GetDocument()->IsKindOf(RUNTIME_CLASS(CVexlanDoc)));
    return static_cast<CVexlanDoc*>(CView::GetDocument());
}

void CVexlanView::LoadImageAt(int index) {
    if (!m_pFileNames || index < 0)
        return;
    EndRunningStep(); // its result would belong to the image before
    // Whatever this load ends with, the output plane no longer belongs to the current entry,
    // and File Save would write it under that entry's name.
    m_pOutputImage.reset();
    m_bPlanesAreCurrent = false;
    const char* name = EntryName(index);
    const std::optional<std::string> fullName = JoinEntryPath(m_szDirectory, name);
    if (!fullName) {
        ShowMessage(PathTooLongMessage(m_szDirectory, name));
        return;
    }
    const CFilePtr file(AfxOpenFile(fullName->c_str(), "rb"));
    if (!file) {
        AfxMessageBox("Cannot open the list file", 0, 0);
        return;
    }
    const std::string sFTitle = name;
    GetDocument()->SetTitle(sFTitle.c_str());

    if (std::optional<CDecodedImage> ahead = TakeReadAhead(*fullName, file.get())) {
        // The planes they replace are what the next read ahead decodes into.
        m_pReadAhead->Recycle(TakePlanes());
        PutPlanes(std::move(*ahead));
        m_bPlanesAreCurrent = true;
        OnInitialUpdate();
        return;
    }
    const std::unique_ptr<CImageDecoder> decoder = DecoderFor(name);
    if (decoder->ReadHeader(file.get()) == CImageDecoder::Result::Decodable)
        DecodeInto(*decoder, file.get(), fullName->c_str());
    else
        ShowMessage(FileProblemMessage(*fullName, decoder->Problem()));
    OnInitialUpdate();
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
    m_nReadAheadStep = 1;
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
    MyFDlg.m_ofn.lpstrFilter = kOpenFilter;
    MyFDlg.m_ofn.lpstrInitialDir = "D:\\";

    ClearDisplay();
    if (MyFDlg.DoModal() != IDOK)
        return;
    OpenChosenFile(MyFDlg.GetPathName());
}

void CVexlanView::OnDropFiles(const std::vector<std::string>& systemPaths) {
    if (systemPaths.empty())
        return;
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
    if (m_pReadAhead)
        m_pReadAhead->Drop();
}

void CVexlanView::OpenChosenFile(const std::string& SFName) {
    const CChosenKind kind = KindOfChosenFile(SFName);
    if (kind != CChosenKind::Other && !OpenImageSet(SFName))
        return;
    if (kind == CChosenKind::Raw)
        m_bGrayMode = 1;
    if (kind == CChosenKind::List || kind == CChosenKind::Bitmap || kind == CChosenKind::Image)
        m_bColorMode = 1;
    if (m_pFileNames)
        LoadImageAt(m_nCurrentFile);
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
    if (nChar == VK_NEXT && m_nCurrentFile + 1 < m_nFileCount) {
        ++m_nCurrentFile;
        m_nReadAheadStep = 1;
        LoadImageAt(m_nCurrentFile);
        DropResult();
    }
    if (nChar == VK_PRIOR && m_nCurrentFile > 0) {
        --m_nCurrentFile;
        m_nReadAheadStep = -1;
        LoadImageAt(m_nCurrentFile);
        DropResult();
    }
    CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
}

void CVexlanView::ReadAheadWhileIdle() {
    const int entry = m_nCurrentFile + m_nReadAheadStep;
    if (!m_bReadAhead || !m_pFileNames || entry < 0 || entry >= m_nFileCount)
        return;
    const std::optional<std::string> fullName = JoinEntryPath(m_szDirectory, EntryName(entry));
    if (!fullName)
        return;
    if (!m_pReadAhead)
        m_pReadAhead = std::make_unique<CReadAhead>();
    m_pReadAhead->Start(*fullName);
}

void CVexlanView::EnableReadAhead(bool enabled) {
    m_bReadAhead = enabled;
    if (!enabled)
        m_pReadAhead.reset();
}

void CVexlanView::FinishReadAhead() {
    if (m_pReadAhead)
        m_pReadAhead->Finish();
}

std::optional<CDecodedImage> CVexlanView::TakeReadAhead(const std::string& fullName,
                                                        std::FILE* file) {
    if (!m_pReadAhead)
        return std::nullopt;
    return m_pReadAhead->Take(fullName, file);
}

void CVexlanView::OnColorSegmentation() {
    RunStep(ID_COLOR_SEGMENTATION);
}

void CVexlanView::RunStep(UINT commandId) {
    EndRunningStep();
    m_shownInstalledStep.reset();
    if (const CProcessingStep* step = FindStepByCommand(commandId))
        RunStep(*step);
}

void CVexlanView::RunStep(const CProcessingStep& step) {
    const std::optional<std::size_t> size = PlaneSize(m_nWidth, m_nHeight);
    if (!m_pGrayImage || !size)
        return;
    // A plane as large as an image's comes zeroed from the system without a write, and
    // only a step that may leave bytes alone needs it zeroed.
    CByteBlock result = DEBUG_NEW_ZEROED_BYTES(*size);
    if (!result)
        return;
    ApplyStep(step, {m_nWidth, m_nHeight, m_pGrayImage.get(), m_pColorImage.get()}, result.get(),
              CResultPlane::Zeroed);
    TakeResult(std::move(result), m_bPlanesAreCurrent);
}

void CVexlanView::WatchInstalledSteps() {
    m_pStepFolderWatch = std::make_unique<CFolderWatch>([this] { UpdateInstalledSteps(); });
    m_pStepFolderWatch->Watch(StepFolders());
    UpdateInstalledSteps();
}

void CVexlanView::UpdateInstalledSteps() {
    const std::vector<std::string> problemsBefore = m_installedSteps.problems;
    m_installedSteps = FindInstalledSteps(StepFolders(), &m_installedSteps);
    if (!m_installedSteps.problems.empty() && m_installedSteps.problems != problemsBefore) {
        std::string message;
        for (const std::string& problem : m_installedSteps.problems)
            message += problem + "\n";
        ShowMessage(message);
    }
    std::vector<CMenuCommand> items;
    for (const CInstalledStep& step : m_installedSteps.steps)
        if (items.size() <= ID_LAST_INSTALLED_STEP - ID_FIRST_INSTALLED_STEP)
            items.push_back({static_cast<UINT>(ID_FIRST_INSTALLED_STEP + items.size()),
                             step.menuText,
                             step.prompt,
                             {}});
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetAddedMenuItems(ID_COLOR_SEGMENTATION, items);

    // Save in the editor, vexlan-step build, look: the shown result follows its file.
    if (!m_shownInstalledStep || m_bShowResult != 1 || !m_pResultImage)
        return;
    const auto replaced = std::ranges::find(m_installedSteps.steps, m_shownInstalledStep->path,
                                            &CInstalledStep::path);
    if (replaced != m_installedSteps.steps.end() && replaced->stamp != m_shownInstalledStep->stamp)
        RunInstalledStep(*replaced);
}

void CVexlanView::OnInstalledStep(UINT commandId) {
    const std::size_t index = commandId - ID_FIRST_INSTALLED_STEP;
    if (index < m_installedSteps.steps.size())
        RunInstalledStep(m_installedSteps.steps[index]);
}

std::optional<CStepInput> CVexlanView::SharedStepInput() {
    const std::optional<std::size_t> size = PlaneSize(m_nWidth, m_nHeight);
    if (!m_pGrayImage || !size || *size == 0)
        return std::nullopt;
    // The step's process maps the planes: they move to shared memory once per image, and
    // every run on it shares them without a copy.
    if (!DEBUG_SHARE_BYTES(m_pGrayImage, *size) || !DEBUG_SHARE_BYTES(m_pColorImage, 3 * *size))
        return std::nullopt;
    return CStepInput{m_nWidth, m_nHeight, m_pGrayImage.get(), m_pColorImage.get()};
}

void CVexlanView::PrepareStepHostWhileIdle() {
    if (m_installedSteps.steps.empty() || m_pRunningStep) {
        m_pReadyStepHost->Drop();
        return;
    }
    if (const std::optional<CStepInput> input = SharedStepInput())
        m_pReadyStepHost->Prepare(*input);
}

void CVexlanView::RunInstalledStep(const CInstalledStep& step) {
    EndRunningStep();
    if (!m_pGrayImage || PlaneSize(m_nWidth, m_nHeight).value_or(0) == 0)
        return;
    const std::optional<CStepInput> input = SharedStepInput();
    if (!input)
        return ShowMessage(FileProblemMessage(CurrentImageHostPath(), kTooLargeForMemory));
    auto running =
        std::make_unique<CRunningStep>(step, m_pReadyStepHost->Take(*input), CurrentImageHostPath(),
                                       m_bPlanesAreCurrent, [this] { OnInstalledStepEnded(); });
    if (!running->Started()) {
        ShowMessage(running->Problem());
        return;
    }
    m_pRunningStep = std::move(running);
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetIdleText(RunningNotice());
}

std::string CVexlanView::RunningNotice() const {
    if (!m_pRunningStep)
        return {};
    const CInstalledStep& step = m_pRunningStep->Step();
    return "正在运行步骤“" + step.menuText + "”（" + step.name + "），按 Esc 结束";
}

void CVexlanView::EndRunningStep() {
    if (!m_pRunningStep)
        return;
    const std::string name = m_pRunningStep->Step().name;
    m_pRunningStep.reset(); // its process is killed
    if (CFrameWnd* frame = GetParentFrame()) {
        frame->SetIdleText({});
        frame->SetMessageText("步骤 " + name + " 已结束，没有结果");
    }
}

void CVexlanView::OnUpdateEndRunningStep(CCmdUI* pCmdUI) {
    pCmdUI->Enable(IsStepRunning());
}

void CVexlanView::OnInstalledStepEnded() {
    const std::optional<CStepEnd> end = m_pRunningStep ? m_pRunningStep->Collect() : std::nullopt;
    if (!end)
        return;
    const std::unique_ptr<CRunningStep> running = std::move(m_pRunningStep);
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetIdleText({});
    // The image and the result before stay: nothing of a failed run is shown or saved.
    if (end->kind != CStepEnd::Kind::Finished) {
        ShowMessage(StepEndMessage(running->Step().name, *end, running->ImageHostPath(),
                                   CStepCaller::Program));
        return;
    }
    TakeResult(running->TakeResult(), running->PlanesAreCurrent());
    m_shownInstalledStep = running->Step();
}

void CVexlanView::TakeResult(CByteBlock result, bool planesAreCurrent) {
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
        return;
    const std::string fname = ResultFileName(EntryName(m_nCurrentFile));
    if (const std::optional<std::string> failure =
            SaveResultFile(AfxHostPath(fname), AfxPathForMessage(fname), m_nWidth, m_nHeight,
                           m_pOutputImage.get()))
        ShowMessage(*failure);
    else if (CFrameWnd* frame = GetParentFrame())
        frame->SetMessageText("已保存 " + AfxPathForMessage(fname));
}

void CVexlanView::OnFileOpenResult() {
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, nullptr, nullptr, 0, TRUE);
    static const char filter[] = "(*.raw)\0*.raw\0";
    dialog.m_ofn.lpstrFilter = filter;
    dialog.m_ofn.lpstrInitialDir = "D:\\";
    if (dialog.DoModal() == IDOK)
        OpenResultFile(dialog.GetPathName());
}

void CVexlanView::OpenResultFile(const std::string& path) {
    const std::optional<std::string> hostPath = AfxHostPath(path);
    std::string problem = "无法打开：驱动器没有对应的文件夹";
    std::optional<CRawResult> result =
        hostPath ? ReadRawResultFile(*hostPath, problem) : std::nullopt;
    if (!result)
        return ShowMessage(FileProblemMessage(path, problem));
    // "D:\\out<stem>.raw" is what File Save writes; any other name is its own stem.
    const std::string fileName = path.substr(path.rfind('\\') + 1);
    std::string stem = fileName.starts_with("out") ? fileName.substr(3) : fileName;
    if (stem.ends_with(".raw"))
        stem.resize(stem.size() - 4);
    const bool besideImage = ShowsImageOf(ResultFileName(stem), result->width, result->height);
    if (!besideImage && stem.size() >= nameSlotSize)
        return ShowMessage(FileProblemMessage(path, "无法打开：名称太长，最多 99 个字符"));
    EndRunningStep();
    if (!besideImage && !UseEmptyImageSlot(path, stem, result->width, result->height))
        return;
    m_shownInstalledStep.reset();
    TakeResult(std::move(result->plane), m_bPlanesAreCurrent);
}

bool CVexlanView::ShowsImageOf(const std::string& resultName, int width, int height) const {
    return m_pFileNames && (m_bColorMode == 1 || m_bGrayMode == 1) && m_bPlanesAreCurrent &&
           ResultFileName(EntryName(m_nCurrentFile)) == resultName && m_nWidth == width &&
           m_nHeight == height;
}

bool CVexlanView::UseEmptyImageSlot(const std::string& path, const std::string& stem, int width,
                                    int height) {
    const std::string directory = path.substr(0, path.rfind('\\'));
    if (!UseImageSet({directory.size() < sizeof m_szDirectory ? directory : "", {stem}, 0})) {
        ShowMessage(FileProblemMessage(path, "无法打开：内存不足"));
        return false;
    }
    if (m_pReadAhead)
        m_pReadAhead->Drop();
    PutPlanes(CDecodedImage{{}, {}, width, height, 0});
    m_bColorMode = 0;
    m_bGrayMode = 0;
    m_bPlanesAreCurrent = true;
    GetDocument()->SetTitle(path.substr(path.rfind('\\') + 1).c_str());
    SetZoom(CZoom());
    return true;
}

void CVexlanView::OnFileExportPng() {
    if (m_bShowResult != 1 || !m_pResultImage)
        return;
    const std::string rawName = ResultFileName(m_pFileNames ? EntryName(m_nCurrentFile) : "");
    const std::string pngName = rawName.substr(0, rawName.size() - 4) + ".png";
    CFileDialog dialog(FALSE, "png", pngName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       nullptr, nullptr, 0, TRUE);
    static const char filter[] = "(*.png)\0*.png\0";
    dialog.m_ofn.lpstrFilter = filter;
    if (dialog.DoModal() != IDOK)
        return;
    const std::string path = dialog.GetPathName();
    const std::optional<std::string> hostPath = AfxHostPath(path);
    std::string problem = "驱动器没有对应的文件夹";
    if (!hostPath ||
        !WriteFileReplacing(*hostPath,
                            EncodePng(m_nWidth, m_nHeight, m_pResultImage.get(), CPngPixels::Gray8),
                            problem))
        return ShowMessage(ResultSaveFailure(AfxPathForMessage(path), problem));
    if (CFrameWnd* frame = GetParentFrame())
        frame->SetMessageText("已导出 " + AfxPathForMessage(path));
}

void CVexlanView::OnUpdateFileExportPng(CCmdUI* pCmdUI) {
    pCmdUI->Enable(m_bShowResult == 1 && m_pResultImage != nullptr);
}

void CVexlanView::DecodeInto(const CImageDecoder& decoder, std::FILE* file, const char* fullName) {
    CDecodedImage image = TakePlanes();
    m_bPlanesAreCurrent = DecodeImage(decoder, file, image, NewZeroedPlane);
    PutPlanes(std::move(image));
    if (!m_bPlanesAreCurrent)
        ShowMessage(FileProblemMessage(fullName, kTooLargeForMemory));
}

CDecodedImage CVexlanView::TakePlanes() {
    return CDecodedImage{std::move(m_pGrayImage), std::move(m_pColorImage), m_nWidth, m_nHeight,
                         m_nPlaneBits};
}

void CVexlanView::PutPlanes(CDecodedImage image) {
    m_pGrayImage = std::move(image.gray);
    m_pColorImage = std::move(image.color);
    m_nWidth = image.width;
    m_nHeight = image.height;
    m_nPlaneBits = image.bitsPerPixel;
}

// The load has already asked for its repaint; the extent must lose the result's half all the
// same, also when the load failed and asked for none.
void CVexlanView::DropResult() {
    m_pResultImage.reset();
    UpdateScrollSizes();
}

void CVexlanView::OnInitialUpdate() {
    UpdateScrollSizes();
    CScrollView::OnInitialUpdate();
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
    // zoom shows, are walked: the surface would drop every other pixel anyway, and a large
    // image has far more of them than a window shows.
    CRect clip;
    pDC->GetClipBox(&clip);
    // Locals, because a pixel store could alias the members and force a reload per pixel.
    const int width = m_nWidth;
    const int height = m_nHeight;
    const int step = pDC->GetSampleStep();
    const Span rows = SpanWithin(0, height, clip.top, clip.bottom, step);
    const Span columns = SpanWithin(0, width, clip.left, clip.right, step);
    if (m_bGrayMode == 1 && m_pGrayImage) {
        const BYTE* gray = m_pGrayImage.get();
        for (int y = rows.begin; y < rows.end; y += step)
            for (int x = columns.begin; x < columns.end; x += step)
                pDC->SetPixel(x, y, gray[y * width + x] * 0x010101u);
    }
    if (m_bColorMode == 1 && m_pColorImage) {
        const BYTE* color = m_pColorImage.get();
        for (int y = rows.begin; y < rows.end; y += step) {
            const BYTE* row = color + std::ptrdiff_t{y} * 3 * width;
            // x is k / 3, kept alongside k rather than divided out per pixel.
            for (int k = 3 * columns.begin, x = columns.begin; k < 3 * columns.end;
                 k += 3 * step, x += step)
                pDC->SetPixelV(x, y, row[k + 2] + row[k + 1] * 256u + row[k] * 65536u);
        }
    }
    if (m_bShowResult == 1 && m_pResultImage) {
        const BYTE* result = m_pResultImage.get();
        const Span resultColumns = SpanWithin(width, width, clip.left, clip.right, step);
        for (int y = rows.begin; y < rows.end; y += step)
            for (int x = resultColumns.begin; x < resultColumns.end; x += step)
                pDC->SetPixel(width + x, y, result[y * width + x] * 0x010101u);
    }
}

void CVexlanView::OnMouseMove(UINT, CPoint point) {
    CFrameWnd* frame = GetParentFrame();
    if (frame == nullptr)
        return;
    CDC client(nullptr, 0, 0, 0);
    OnPrepareDC(&client);
    client.DPtoLP(&point);
    const CPaintedPlanes painted{m_nWidth,
                                 m_nHeight,
                                 m_nPlaneBits,
                                 m_pGrayImage.get(),
                                 m_pColorImage.get(),
                                 m_bShowResult == 1 ? m_pResultImage.get() : nullptr,
                                 m_bGrayMode == 1,
                                 m_bColorMode == 1};
    // The pixel under the pointer does not hide that a step is running.
    if (const std::optional<std::string> readout = PixelReadout(painted, point))
        frame->SetMessageText(m_pRunningStep ? *readout + "    " + RunningNotice() : *readout);
    else
        frame->ShowIdlePrompt();
}

void CVexlanView::OnMouseLeave() {
    if (CFrameWnd* frame = GetParentFrame())
        frame->ShowIdlePrompt();
}

void CVexlanView::OnViewZoomIn() {
    SetZoom(GetZoom().In());
}

void CVexlanView::OnViewZoomOut() {
    SetZoom(GetZoom().Out());
}

void CVexlanView::OnViewZoomActual() {
    SetZoom(CZoom());
}

void CVexlanView::OnViewZoomFit() {
    ZoomToFit();
}

void CVexlanView::OnUpdateViewZoomIn(CCmdUI* pCmdUI) {
    pCmdUI->Enable(GetZoom().In() != GetZoom());
}

void CVexlanView::OnUpdateViewZoomOut(CCmdUI* pCmdUI) {
    pCmdUI->Enable(GetZoom().Out() != GetZoom());
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
