#include "vexlanview.h"

#include "bitmapdecoder.h"
#include "imagelist.h"
#include "rawresultfile.h"
#include "resource.h"
#include "steptable.h"
#include "vexlandoc.h"

#include <algorithm>
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

} // namespace

IMPLEMENT_DYNCREATE(CVexlanView, CView)

BEGIN_MESSAGE_MAP(CVexlanView, CView)
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
    RunStep(ID_COLOR_SEGMENTATION);
}

void CVexlanView::RunStep(UINT commandId) {
    if (const CProcessingStep* step = FindStepByCommand(commandId))
        RunStep(*step);
}

void CVexlanView::RunStep(const CProcessingStep& step) {
    const std::optional<std::size_t> size = PlaneSize(m_nWidth, m_nHeight);
    if (!m_pGrayImage || !size)
        return;
    CByteBlock result = DEBUG_NEW_BYTES(*size);
    CByteBlock output = DEBUG_NEW_BYTES(*size);
    if (!result || !output)
        return;
    ApplyStep(step, {m_nWidth, m_nHeight, m_pGrayImage.get(), m_pColorImage.get()}, result.get());
    // What is painted is also what File Save writes.
    std::copy_n(result.get(), *size, output.get());
    m_pResultImage = std::move(result);
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
    CByteBlock gray = DEBUG_NEW_BYTES(decoder.GrayPlaneSize());
    CByteBlock color = DEBUG_NEW_BYTES(decoder.ColorPlaneSize());
    if (!gray || !color) {
        ShowFileProblem(fullName, "is too large for the memory there is");
        return;
    }
    decoder.ReadPixels(file, gray.get(), color.get());
    m_nWidth = decoder.Width();
    m_nHeight = decoder.Height();
    m_pGrayImage = std::move(gray);
    m_pColorImage = std::move(color);
    // An output plane of the image before would be saved under this image's name.
    m_pOutputImage.reset();
}

void CVexlanView::OnDraw(CDC* pDC) {
    [[maybe_unused]] CVexlanDoc* pDoc = GetDocument();
    ASSERT_VALID(pDoc);
    if (!m_pGrayImage)
        return;

    // Locals, because a pixel store could alias the members and force a reload per pixel.
    const int width = m_nWidth;
    const int height = m_nHeight;
    if (m_bGrayMode == 1) {
        const BYTE* gray = m_pGrayImage.get();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pDC->SetPixel(x, y, gray[y * width + x] * 0x010101u);
    }
    if (m_bColorMode == 1) {
        const BYTE* color = m_pColorImage.get();
        for (int y = 0; y < height; ++y) {
            const BYTE* row = color + std::ptrdiff_t{y} * 3 * width;
            // x is k / 3, kept alongside k rather than divided out per pixel.
            for (int k = 0, x = 0; k < 3 * width; k += 3, ++x)
                pDC->SetPixelV(x, y, row[k + 2] + row[k + 1] * 256u + row[k] * 65536u);
        }
    }
    if (m_bShowResult == 1 && m_pResultImage) {
        const BYTE* result = m_pResultImage.get();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pDC->SetPixel(width + x, y, result[y * width + x] * 0x010101u);
    }
}

BOOL CVexlanView::PreCreateWindow(CREATESTRUCT& cs) {
    return CView::PreCreateWindow(cs);
}

BOOL CVexlanView::OnPreparePrinting(CPrintInfo* pInfo) {
    return DoPreparePrinting(pInfo);
}

void CVexlanView::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CVexlanView::OnEndPrinting(CDC*, CPrintInfo*) {}

void CVexlanView::AssertValid() const {
    CView::AssertValid();
}

void CVexlanView::Dump(CDumpContext& dc) const {
    CView::Dump(dc);
}
