#include "batchrunner.h"

#include "bitmapdecoder.h"
#include "debugalloc.h"
#include "imagesetchoice.h"
#include "imagesetpaths.h"
#include "pathmap.h"
#include "systemerror.h"

#include <cerrno>
#include <filesystem>
#include <ostream>

CBatchRunner::CBatchRunner(const CProcessingStep& step, std::optional<std::string> outputDirectory,
                           std::ostream& out, std::ostream& err)
    : CBatchRunner(
          [&step](const CStepInput& input, BYTE* result, const std::string&) {
              ApplyStep(step, input, result);
              return std::optional<std::string>();
          },
          std::move(outputDirectory), out, err) {}

CBatchRunner::CBatchRunner(CBatchStepRun run, std::optional<std::string> outputDirectory,
                           std::ostream& out, std::ostream& err)
    : m_run(std::move(run)), m_outputDirectory(std::move(outputDirectory)), m_out(out), m_err(err) {
}

void CBatchRunner::AddChosenFile(const std::string& hostPath) {
    // The file dialog hands the program an absolute path in the program's own form.
    std::error_code error;
    const std::string absolute =
        std::filesystem::absolute(hostPath, error).lexically_normal().string();
    const std::optional<std::string> systemPath = AfxSystemPath(absolute);
    if (error || !systemPath) {
        m_err << AfxBackslashNameMessage(hostPath) << "\n";
        ++m_refusedFiles;
        return;
    }
    std::string message;
    const std::optional<CImageSetChoice> choice = ReadImageSetChoice(*systemPath, message);
    if (!choice) {
        m_err << message << "\n";
        ++m_refusedFiles;
        return;
    }
    for (const std::string& name : choice->names)
        m_entries.push_back({choice->directory, name});
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
    const auto fail = [&](const std::string& message) {
        m_err << prefix << message << "\n";
        return false;
    };
    const std::optional<std::string> fullName = JoinEntryPath(entry.directory, entry.name);
    if (!fullName)
        return fail(PathTooLongMessage(entry.directory, entry.name));
    const CFilePtr file(AfxOpenFile(fullName->c_str(), "rb"));
    if (!file)
        return fail(FileProblemMessage(*fullName, "无法打开：" + AfxSystemErrorPhrase(errno)));
    CBitmapDecoder decoder;
    if (decoder.ReadHeader(file.get()) != CBitmapDecoder::Result::Decodable)
        return fail(FileProblemMessage(*fullName, decoder.Problem()));
    const std::optional<std::size_t> size = PlaneSize(decoder.Width(), decoder.Height());
    CByteBlock gray = DEBUG_NEW_BYTES(decoder.GrayPlaneSize());
    CByteBlock color = DEBUG_NEW_BYTES(decoder.ColorPlaneSize());
    CByteBlock result = DEBUG_NEW_BYTES(size.value_or(0));
    if (!size || !gray || !color || !result)
        return fail(FileProblemMessage(*fullName, kTooLargeForMemory));
    decoder.ReadPixels(file.get(), gray.get(), color.get());
    if (const std::optional<std::string> failure =
            m_run({decoder.Width(), decoder.Height(), gray.get(), color.get()}, result.get(),
                  AfxHostPath(*fullName).value_or(*fullName)))
        return fail(*failure);

    const std::string resultName = ResultFileName(entry.name);
    const std::optional<std::string> hostPath = ResultHostPath(resultName);
    const std::string shown =
        m_outputDirectory ? hostPath.value_or("") : AfxPathForMessage(resultName);
    if (const std::optional<std::string> failure =
            SaveResultFile(hostPath, shown, decoder.Width(), decoder.Height(), result.get()))
        return fail(*failure);
    m_out << prefix << entry.name << " -> " << shown << "\n";
    return true;
}

std::optional<std::string> CBatchRunner::ResultHostPath(const std::string& resultName) const {
    if (!m_outputDirectory)
        return AfxHostPath(resultName);
    // The file keeps the name File Save gives it, in the chosen folder instead of D:\.
    const std::string fileName = resultName.substr(resultName.find_last_of('\\') + 1);
    return (std::filesystem::path(*m_outputDirectory) / fileName).string();
}
