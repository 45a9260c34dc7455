#include "vexlanview.h"

#include "bitmapdecoder.h"
#include "colorsegmentation.h"
#include "imagelist.h"
#include "rawresultfile.h"
#include "resource.h"
#include "vexlandoc.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

void ShowProblem(const char* what, const std::string& path, const std::string& problem) {
    AfxMessageBox((std::string(what) + " " + path + " " + problem + ".").c_str(), MB_ICONWARNING);
}

void ShowFileProblem(const std::string& path, const std::string& problem) {
    ShowProblem("The file", path, problem);
}

// The three kinds of choice, told apart by the last three characters of the path alone.
enum class ChosenKind { Raw, List, Bitmap, Other };

ChosenKind KindOf(const std::string& path) {
    if (path.size() < 3)
        return ChosenKind::Other;
    const std::string last = path.substr(path.size() - 3);
    if (last == "raw")
        return ChosenKind::Raw;
    if (last == "lst")
        return ChosenKind::List;
    if (last == "bmp")
        return ChosenKind::Bitmap;
    return ChosenKind::Other;
}

// The longest directory and name that the workspace's fixed buffers hold.
constexpr std::size_t maxDirectory = kImageListMaxDirectory;
constexpr std::size_t maxName = kImageListMaxName;

// The indices i in [0, count) whose painted position first + i lies in [clipBegin, clipEnd).
struct Span {
    int begin;
    int end;
};

Span SpanWithin(int first, int count, int clipBegin, int clipEnd) {
    const std::int64_t limit = std::max(count, 0);
    const auto index = [&](int position) {
        return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{position} - first, 0, limit));
    };
    return Span{index(clipBegin), index(clipEnd)};
}

} // namespace

IMPLEMENT_DYNCREATE(CVexlanView, CScrollView)

BEGIN_MESSAGE_MAP(CVexlanView, CScrollView)
ON_COMMAND(ID_FILE_OPEN, &CVexlanView::OnFileOpen)
ON_WM_KEYDOWN()
ON_COMMAND(ID_FILE_SAVE, &CVexlanView::OnFileSave)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_COMMAND(ID_FILE_PRINT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_DIRECT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_PREVIEW, &CView::OnFilePrintPreview)
ON_COMMAND(ID_COLOR_SEGMENTATION, &CVexlanView::OnColorSegmentation)
END_MESSAGE_MAP()

CVexlanView::CVexlanView() = default;

CVexlanView::~CVexlanView() = default;

CVexlanDoc* CVexlanView::GetDocument() const {
    ASSERT(CView::GetDocument()->IsKindOf(RUNTIME_CLASS(CVexlanDoc)));
    return static_cast<CVexlanDoc*>(CView::GetDocument());
}

void CVexlanView::LoadImageAt(int index) {
    if (!m_pFileNames || index < 0)
        return;
    const char* name = m_pFileNames.get() + std::ptrdiff_t{nameSlotSize} * index;
    char fullName[pathBufferSize];
    const int length = std::snprintf(fullName, sizeof fullName, "%s\\%s", m_szDirectory, name);
    if (length < 0 || length >= pathBufferSize) {
        AfxMessageBox(("The path " + std::string(m_szDirectory) + "\\" + name +
                       " is longer than 119 characters.")
                          .c_str(),
                      MB_ICONWARNING);
        return;
    }
    const CFilePtr file(AfxOpenFile(fullName, "rb"));
    if (!file) {
        AfxMessageBox("Cannot open the list file", 0, 0);
        return;
    }
    const std::string sFTitle = name;
    GetDocument()->SetTitle(sFTitle.c_str());

    CBitmapDecoder decoder;
    if (decoder.ReadHeader(file.get()) == CBitmapDecoder::Result::Decodable)
        DecodeInto(decoder, file.get(), fullName);
    else
        ShowFileProblem(fullName, decoder.Problem());
    OnInitialUpdate();
}

void CVexlanView::UseSingleFile(const std::string& directory, const std::string& name) {
    constexpr std::size_t singleFileTableSize = 500;
    ASSERT(directory.size() < sizeof m_szDirectory && name.size() < nameSlotSize);
    CCharBlock table = DEBUG_NEW_CHARS(singleFileTableSize);
    if (!table)
        return;
    std::fill_n(table.get(), singleFileTableSize, '\0');
    name.copy(table.get(), nameSlotSize - 1);
    m_nFileCount = 0;
    std::snprintf(m_szDirectory, sizeof m_szDirectory, "%s", directory.c_str());
    m_pFileNames = std::move(table);
    m_nCurrentFile = 0;
}

void CVexlanView::OnFileOpen() {
    CFileDialog MyFDlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, nullptr, nullptr, 0, TRUE);
    static const char filter[] = "(*.lst;*.raw;*.bmp)\0*.lst;*.raw;*.bmp\0";
    MyFDlg.m_ofn.lpstrFilter = filter;
    MyFDlg.m_ofn.lpstrInitialDir = "D:\\";

    m_bShowResult = 0;
    m_bColorMode = 0;
    m_bGrayMode = 0;
    if (MyFDlg.DoModal() != IDOK)
        return;

    const std::string SFName = MyFDlg.GetPathName();
    bool opened = true;
    switch (KindOf(SFName)) {
    case ChosenKind::Raw:
        if ((opened = OpenSingleFile(SFName)))
            m_bGrayMode = 1;
        break;
    case ChosenKind::List:
        if ((opened = OpenImageList(SFName)))
            m_bColorMode = 1;
        break;
    case ChosenKind::Bitmap:
        if ((opened = OpenSingleFile(SFName)))
            m_bColorMode = 1;
        break;
    case ChosenKind::Other:
        break;
    }
    if (opened && m_pFileNames)
        LoadImageAt(m_nCurrentFile);
}

bool CVexlanView::OpenSingleFile(const std::string& path) {
    // The split is at the last backslash; the name keeps its extension.
    const auto split = path.find_last_of('\\', path.size() - 3);
    if (split == std::string::npos) {
        ShowFileProblem(path, "has no folder");
        return false;
    }
    const std::string directory = path.substr(0, split);
    const std::string name = path.substr(split + 1);
    if (directory.size() > maxDirectory) {
        ShowFileProblem(path, "lies in a folder whose path is longer than 119 characters");
        return false;
    }
    if (name.size() > maxName) {
        ShowFileProblem(path, "has a name longer than 99 characters");
        return false;
    }
    UseSingleFile(directory, name);
    return true;
}

bool CVexlanView::OpenImageList(const std::string& path) {
    const CFilePtr file(AfxOpenFile(path.c_str(), "rb"));
    if (!file) {
        ShowProblem("The list file", path, "cannot be opened");
        return false;
    }
    std::string problem;
    const std::optional<CImageList> list = ReadImageList(file.get(), problem);
    if (!list) {
        ShowProblem("The list file", path, problem);
        return false;
    }
    CCharBlock table = DEBUG_NEW_CHARS(std::size_t{nameSlotSize} * list->names.size());
    if (!table) {
        ShowProblem("The list file", path, "names more images than the memory holds");
        return false;
    }
    std::fill_n(table.get(), std::size_t{nameSlotSize} * list->names.size(), '\0');
    for (std::size_t i = 0; i < list->names.size(); ++i)
        list->names[i].copy(table.get() + nameSlotSize * i, nameSlotSize - 1);
    m_nFileCount = list->count;
    std::snprintf(m_szDirectory, sizeof m_szDirectory, "%s", list->directory.c_str());
    m_pFileNames = std::move(table);
    m_nCurrentFile = 0;
    return true;
}

void CVexlanView::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
    if (nChar == VK_NEXT && m_nCurrentFile + 1 < m_nFileCount) {
        ++m_nCurrentFile;
        LoadImageAt(m_nCurrentFile);
        m_pResultImage.reset();
    }
    if (nChar == VK_PRIOR && m_nCurrentFile > 0) {
        --m_nCurrentFile;
        LoadImageAt(m_nCurrentFile);
        m_pResultImage.reset();
    }
    CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
}

void CVexlanView::OnColorSegmentation() {
    if (!m_pGrayImage)
        return;
    const std::size_t size = static_cast<std::size_t>(std::max(m_nWidth, 0)) *
                             static_cast<std::size_t>(std::max(m_nHeight, 0));
    CByteBlock result = DEBUG_NEW_BYTES(size);
    CByteBlock output = DEBUG_NEW_BYTES(size);
    if (!result || !output)
        return;
    m_pResultImage = std::move(result);
    SegmentColorPlane(m_pColorImage.get(), m_pResultImage.get(), m_nWidth, m_nHeight);
    // The segmentation is also what File Save writes.
    std::copy_n(m_pResultImage.get(), size, output.get());
    m_pOutputImage = std::move(output);
    m_bShowResult = 1;
    OnInitialUpdate();
}

void CVexlanView::OnFileSave() {
    if (!m_pFileNames || !m_pOutputImage)
        return;
    std::string str = m_pFileNames.get() + std::ptrdiff_t{nameSlotSize} * m_nCurrentFile;
    str = str.substr(0, str.find('.'));
    // Built by joining, not formatting: a '%' in the name is copied as it is.
    const std::string fname = "D:\\out" + str + ".raw";
    const std::optional<std::string> hostPath = AfxHostPath(fname);
    std::string problem = "cannot be created: its drive is not mapped";
    if (!hostPath ||
        !WriteRawResultFile(*hostPath, m_nWidth, m_nHeight, m_pOutputImage.get(), problem))
        ShowProblem("The result file", fname, problem);
}

void CVexlanView::DecodeInto(CBitmapDecoder& decoder, std::FILE* file, const char* fullName) {
    // Stepping through a list mostly meets images of one size: their planes are used again
    // rather than allocated and touched afresh. A new gray plane comes zeroed from the system,
    // so the decoder need not clear what a 24-bit or run-length file leaves unwritten.
    const bool reused = HoldsPlanesFor(decoder);
    if (!reused) {
        CByteBlock gray = DEBUG_NEW_ZEROED_BYTES(decoder.GrayPlaneSize());
        CByteBlock color = DEBUG_NEW_BYTES(decoder.ColorPlaneSize());
        if (!gray || !color) {
            ShowFileProblem(fullName, "is too large for the memory there is");
            return;
        }
        m_pGrayImage = std::move(gray);
        m_pColorImage = std::move(color);
    }
    decoder.ReadPixels(file, m_pGrayImage.get(), m_pColorImage.get(),
                       reused ? CBitmapDecoder::GrayPlane::Uninitialised
                              : CBitmapDecoder::GrayPlane::Zeroed);
    m_nWidth = decoder.Width();
    m_nHeight = decoder.Height();
    m_nPlaneBits = decoder.BitsPerPixel();
    // An output plane of the image before would be saved under this image's name.
    m_pOutputImage.reset();
}

bool CVexlanView::HoldsPlanesFor(const CBitmapDecoder& decoder) const {
    return m_pGrayImage && m_nWidth == decoder.Width() && m_nHeight == decoder.Height() &&
           m_nPlaneBits == decoder.BitsPerPixel();
}

void CVexlanView::OnInitialUpdate() {
    CSize painted;
    if (m_pGrayImage) {
        const int width = std::max(m_nWidth, 0);
        painted = CSize{ResultLayerShown() ? 2 * width : width, std::max(m_nHeight, 0)};
    }
    SetScrollSizes(MM_TEXT, painted);
    CScrollView::OnInitialUpdate();
}

// A list step drops the result plane only after its load has asked for the repaint, but the
// load drops the output plane first: a result whose output is gone is not shown again.
bool CVexlanView::ResultLayerShown() const {
    return m_bShowResult == 1 && m_pResultImage && m_pOutputImage;
}

void CVexlanView::OnDraw(CDC* pDC) {
    [[maybe_unused]] CVexlanDoc* pDoc = GetDocument();
    ASSERT_VALID(pDoc);
    if (!m_pGrayImage)
        return;

    // Only the rows and columns that meet the clip box are walked: the surface would drop
    // every other pixel anyway, and a large image has far more of them than a window shows.
    CRect clip;
    pDC->GetClipBox(&clip);
    // Locals, because a pixel store could alias the members and force a reload per pixel.
    const int width = m_nWidth;
    const int height = m_nHeight;
    const Span rows = SpanWithin(0, height, clip.top, clip.bottom);
    const Span columns = SpanWithin(0, width, clip.left, clip.right);
    if (m_bGrayMode == 1) {
        const BYTE* gray = m_pGrayImage.get();
        for (int y = rows.begin; y < rows.end; ++y)
            for (int x = columns.begin; x < columns.end; ++x)
                pDC->SetPixel(x, y, gray[y * width + x] * 0x010101u);
    }
    if (m_bColorMode == 1) {
        const BYTE* color = m_pColorImage.get();
        for (int y = rows.begin; y < rows.end; ++y) {
            const BYTE* row = color + std::ptrdiff_t{y} * 3 * width;
            // x is k / 3, kept alongside k rather than divided out per pixel.
            for (int k = 3 * columns.begin, x = columns.begin; k < 3 * columns.end; k += 3, ++x)
                pDC->SetPixelV(x, y, row[k + 2] + row[k + 1] * 256u + row[k] * 65536u);
        }
    }
    if (m_bShowResult == 1 && m_pResultImage) {
        const BYTE* result = m_pResultImage.get();
        const Span resultColumns = SpanWithin(width, width, clip.left, clip.right);
        for (int y = rows.begin; y < rows.end; ++y)
            for (int x = resultColumns.begin; x < resultColumns.end; ++x)
                pDC->SetPixel(width + x, y, result[y * width + x] * 0x010101u);
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
