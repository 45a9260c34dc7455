#include "vexlanview.h"

#include "bitmapdecoder.h"
#include "vexlandoc.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void ShowFileProblem(const char* fullName, const std::string& problem) {
    AfxMessageBox(("The file " + std::string(fullName) + " " + problem + ".").c_str(),
                  MB_ICONWARNING);
}

} // namespace

IMPLEMENT_DYNCREATE(CVexlanView, CView)

BEGIN_MESSAGE_MAP(CVexlanView, CView)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_COMMAND(ID_FILE_PRINT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_DIRECT, &CView::OnFilePrint)
ON_COMMAND(ID_FILE_PRINT_PREVIEW, &CView::OnFilePrintPreview)
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
    const std::unique_ptr<std::FILE, FileCloser> file(AfxOpenFile(fullName, "rb"));
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
            for (int k = 0; k < 3 * width; k += 3)
                pDC->SetPixelV(k / 3, y, row[k + 2] + row[k + 1] * 256u + row[k] * 65536u);
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
