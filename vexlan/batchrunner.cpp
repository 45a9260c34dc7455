#include "batchrunner.h"

#include "bitmapdecoder.h"
#include "debugalloc.h"
#include "imagelist.h"
#include "pathmap.h"
#include "rawresultfile.h"

#include <filesystem>
#include <ostream>

namespace {

// The view's fixed buffers: a joined path of at most 119 characters.
constexpr std::size_t kMaxJoinedPath = 119;

enum class ChosenKind { Raw, List, Bitmap, Other };

// The kind File Open gives a choice, by the last three characters of the path alone.
ChosenKind KindOf(const std::string& path) {
    if (path.size() < 3)
        return ChosenKind::Other;
    const std::string last = path.substr(path.size() - 3);
    if (last == "raw")
        return ChosenKind::Raw;
    if (last == "lst")
        return ChosenKind::List;
    return last == "bmp" ? ChosenKind::Bitmap : ChosenKind::Other;
}

// A path of the program's own form together with the host file it stands for.
std::string Shown(const std::string& systemPath) {
    const std::optional<std::string> host = AfxHostPath(systemPath);
    return host ? systemPath + " (" + *host + ")" : systemPath + "（驱动器未映射）";
}

} // namespace

CBatchRunner::CBatchRunner(const CProcessingStep& step, std::optional<std::string> outputDirectory,
                           std::ostream& out, std::ostream& err)
    : m_step(step), m_outputDirectory(std::move(outputDirectory)), m_out(out), m_err(err) {}

void CBatchRunner::AddChosenFile(const std::string& hostPath) {
    // The file dialog hands the program an absolute path in the program's own form.
    std::error_code error;
    const std::string absolute =
        std::filesystem::absolute(hostPath, error).lexically_normal().string();
    const std::optional<std::string> systemPath = AfxSystemPath(absolute);
    bool added = false;
    if (error || !systemPath)
        m_err << hostPath << "：名称中含有反斜杠，程序无法使用它。\n";
    else if (KindOf(*systemPath) == ChosenKind::List)
        added = AddImageList(hostPath, *systemPath);
    else if (KindOf(*systemPath) != ChosenKind::Other)
        added = AddSingleFile(hostPath, *systemPath);
    else
        m_err << hostPath << "：不是 .bmp、.raw 或 .lst 文件（看的是名称的最后三个字符）。\n";
    m_refusedFiles += added ? 0 : 1;
}

bool CBatchRunner::AddSingleFile(const std::string& hostPath, const std::string& systemPath) {
    const auto split = systemPath.find_last_of('\\', systemPath.size() - 3);
    const std::string directory = systemPath.substr(0, split);
    const std::string name = systemPath.substr(split + 1);
    if (directory.size() > kImageListMaxDirectory) {
        m_err << hostPath << "：所在文件夹的路径超过 119 个字符。\n";
        return false;
    }
    if (name.size() > kImageListMaxName) {
        m_err << hostPath << "：文件名超过 99 个字符。\n";
        return false;
    }
    m_entries.push_back({directory, name});
    return true;
}

bool CBatchRunner::AddImageList(const std::string& hostPath, const std::string& systemPath) {
    const CFilePtr file(AfxOpenFile(systemPath.c_str(), "rb"));
    if (!file) {
        m_err << "列表文件 " << hostPath << " 无法打开。\n";
        return false;
    }
    std::string problem;
    const std::optional<CImageList> list = ReadImageList(file.get(), problem);
    if (!list) {
        m_err << "列表文件 " << hostPath << " " << problem << "\n";
        return false;
    }
    for (const std::string& name : list->names)
        m_entries.push_back({list->directory, name});
    return true;
}

bool CBatchRunner::Run() {
    if (m_outputDirectory) {
        std::error_code error; // a folder that cannot be made fails each image's write
        std::filesystem::create_directories(*m_outputDirectory, error);
    }
    int saved = 0;
    const std::string total = std::to_string(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::string prefix = "[" + std::to_string(i + 1) + "/" + total + "] ";
        saved += RunEntry(m_entries[i], prefix) ? 1 : 0;
    }
    const std::size_t failed = m_entries.size() - static_cast<std::size_t>(saved);
    m_out << "共 " << total << " 个图像：保存 " << saved << " 个，失败 " << failed << " 个";
    if (m_refusedFiles > 0)
        m_out << "；另有 " << m_refusedFiles << " 个文件无法打开";
    m_out << "。\n";
    return failed == 0 && m_refusedFiles == 0;
}

bool CBatchRunner::RunEntry(const Entry& entry, const std::string& prefix) {
    const std::string fullName = entry.directory + "\\" + entry.name;
    const auto fail = [&](const std::string& why) {
        m_err << prefix << entry.name << "：" << why << "\n";
        return false;
    };
    if (fullName.size() > kMaxJoinedPath)
        return fail("路径 " + fullName + " 超过 119 个字符。");
    const CFilePtr file(AfxOpenFile(fullName.c_str(), "rb"));
    if (!file)
        return fail("无法打开 " + Shown(fullName) + "。");
    CBitmapDecoder decoder;
    if (decoder.ReadHeader(file.get()) != CBitmapDecoder::Result::Decodable)
        return fail("文件 " + fullName + " " + decoder.Problem());
    const std::optional<std::size_t> size = PlaneSize(decoder.Width(), decoder.Height());
    CByteBlock gray = DEBUG_NEW_BYTES(decoder.GrayPlaneSize());
    CByteBlock color = DEBUG_NEW_BYTES(decoder.ColorPlaneSize());
    CByteBlock result = DEBUG_NEW_BYTES(size.value_or(0));
    if (!size || !gray || !color || !result)
        return fail("图像太大，内存不够。");
    decoder.ReadPixels(file.get(), gray.get(), color.get());
    ApplyStep(m_step, {decoder.Width(), decoder.Height(), gray.get(), color.get()}, result.get());

    const auto [resultName, hostPath] = ResultFileOf(entry.name);
    std::string problem = "无法创建：驱动器未映射";
    if (!hostPath ||
        !WriteRawResultFile(*hostPath, decoder.Width(), decoder.Height(), result.get(), problem))
        return fail("结果文件 " + (resultName.empty() ? hostPath.value_or("") : resultName) + " " +
                    problem + "。");
    m_out << prefix << entry.name << " -> " << (resultName.empty() ? *hostPath : Shown(resultName))
          << "\n";
    return true;
}

std::pair<std::string, std::optional<std::string>>
CBatchRunner::ResultFileOf(const std::string& name) const {
    // Named as File Save names it: the stem ends at the first '.'.
    const std::string fileName = "out" + name.substr(0, name.find('.')) + ".raw";
    if (m_outputDirectory)
        return {std::string(), (std::filesystem::path(*m_outputDirectory) / fileName).string()};
    const std::string systemName = "D:\\" + fileName;
    return {systemName, AfxHostPath(systemName)};
}
