#include "resultfilecommands.h"

#include "imagesetpaths.h"
#include "pngencoder.h"
#include "rawresultfile.h"
#include "vexlanview.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

void ShowMessage(const std::string& message) {
    AfxMessageBox(message.c_str(), MB_ICONWARNING);
}

} // namespace

void CResultFileCommands::Open() {
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, nullptr, nullptr, 0, TRUE);
    static const char filter[] = "(*.raw)\0*.raw\0";
    dialog.m_ofn.lpstrFilter = filter;
    dialog.m_ofn.lpstrInitialDir = "D:\\";
    if (dialog.DoModal() == IDOK)
        OpenFile(dialog.GetPathName());
}

void CResultFileCommands::OpenFile(const std::string& path) {
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
    if (!besideImage && stem.size() >= CVexlanView::nameSlotSize)
        return ShowMessage(FileProblemMessage(path, "无法打开：名称太长，最多 99 个字符"));
    // What a running step or a load in flight would show later belongs to what is replaced.
    m_view.EndRunningStep();
    m_view.CancelLoading();
    if (!besideImage && !m_view.UseEmptyImageSlot(path, stem, result->width, result->height))
        return;
    m_view.TakeResult(std::move(result->plane), m_view.PlanesAreCurrent());
}

bool CResultFileCommands::ShowsImageOf(const std::string& resultName, int width, int height) const {
    return m_view.m_pFileNames && (m_view.m_bColorMode == 1 || m_view.m_bGrayMode == 1) &&
           m_view.PlanesAreCurrent() &&
           ResultFileName(m_view.EntryName(m_view.m_nCurrentFile)) == resultName &&
           m_view.m_nWidth == width && m_view.m_nHeight == height;
}

void CResultFileCommands::ExportPng() {
    if (!ShowsResult())
        return;
    const std::string rawName =
        ResultFileName(m_view.m_pFileNames ? m_view.EntryName(m_view.m_nCurrentFile) : "");
    static const char filter[] = "(*.png)\0*.png\0";
    if (const std::optional<std::string> path =
            AskWhere(rawName.substr(0, rawName.size() - 4) + ".png", "png", filter))
        WriteShownResult(*path, true, "已导出 ");
}

void CResultFileCommands::SaveAs() {
    if (!ShowsResult())
        return;
    // Named after the image, the chain and the values, the results of two values or of two
    // images of one stem do not overwrite each other.
    const std::string entry = m_view.m_pFileNames ? m_view.EntryName(m_view.m_nCurrentFile) : "";
    const std::string stem = entry.substr(0, entry.find('.'));
    const std::string word = m_view.Chain().FileWord();
    static const char filter[] = "(*.raw)\0*.raw\0(*.png)\0*.png\0";
    const std::string suggested =
        word.empty() ? ResultFileName(entry) : "D:\\" + stem + "_" + word + ".raw";
    const std::optional<std::string> path = AskWhere(suggested, "raw", filter);
    if (!path)
        return;
    std::string ending = path->size() >= 4 ? path->substr(path->size() - 4) : "";
    std::ranges::transform(ending, ending.begin(), [](char c) { return std::tolower(c); });
    WriteShownResult(*path, ending == ".png", "已保存 ");
}

std::optional<std::string> CResultFileCommands::AskWhere(const std::string& suggestedName,
                                                         const char* extension,
                                                         const char* filter) const {
    CFileDialog dialog(FALSE, extension, suggestedName.c_str(),
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr, nullptr, 0, TRUE);
    dialog.m_ofn.lpstrFilter = filter;
    if (dialog.DoModal() != IDOK)
        return std::nullopt;
    return dialog.GetPathName();
}

void CResultFileCommands::WriteShownResult(const std::string& path, bool asPng,
                                           const char* done) const {
    const std::optional<std::string> hostPath = AfxHostPath(path);
    const std::string shown = AfxPathForMessage(path);
    const int width = m_view.m_nWidth;
    const int height = m_view.m_nHeight;
    const BYTE* result = m_view.m_pResultImage.get();
    std::string problem = "驱动器没有对应的文件夹";
    if (asPng) {
        if (!hostPath ||
            !WriteFileReplacing(*hostPath, EncodePng(width, height, result, CPngPixels::Gray8),
                                problem))
            return ShowMessage(ResultSaveFailure(shown, problem));
    } else if (const std::optional<std::string> failure =
                   SaveResultFile(hostPath, shown, width, height, result)) {
        return ShowMessage(*failure);
    }
    if (CFrameWnd* frame = m_view.GetParentFrame())
        frame->SetMessageText(done + shown);
}

bool CResultFileCommands::ShowsResult() const {
    return m_view.m_bShowResult == 1 && m_view.m_pResultImage != nullptr;
}
