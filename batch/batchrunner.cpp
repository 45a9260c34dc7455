#include "batchrunner.h"

#include "chosenfile.h"
#include "debugalloc.h"
#include "decodedimage.h"
#include "imagesetpaths.h"
#include "immediatestop.h"
#include "pathmap.h"
#include "pngencoder.h"
#include "rawresultfile.h"
#include "systemerror.h"

#include <cerrno>
#include <filesystem>
#include <ostream>

#include <sys/stat.h>

namespace {

// In shared memory, so that an installed step's own process works on the planes in place.
CByteBlock NewSharedPlane(std::size_t size, std::size_t pixelBytes) {
    return DEBUG_NEW_SHARED_PLANE(size, pixelBytes);
}

// The file a host path leads to once links are followed; nothing when there is none.
std::optional<std::pair<std::uint64_t, std::uint64_t>> IdentityOf(const std::string& hostPath) {
    struct stat status {};
    if (stat(hostPath.c_str(), &status) != 0)
        return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>{status.st_dev, status.st_ino};
}

} // namespace

CBatchRunner::CBatchRunner(CBatchStepRun run, std::optional<std::string> outputDirectory,
                           std::ostream& out, std::ostream& err)
    : m_run(std::move(run)), m_outputDirectory(std::move(outputDirectory)), m_out(out), m_err(err) {
}

void CBatchRunner::AddChosenFile(const std::string& hostPath) {
    std::string message;
    const std::optional<CChosenFile> chosen = OpenChosenFile(hostPath, message);
    if (!chosen) {
        m_err << message << "\n";
        ++m_refusedFiles;
        return;
    }
    m_chosenFiles.push_back(chosen->hostPath);
    for (const std::string& name : chosen->imageSet.names)
        m_entries.push_back({chosen->imageSet.directory, name});
}

void CBatchRunner::RememberInputs() {
    const auto remember = [this](const std::optional<std::string>& hostPath) {
        if (const auto identity = hostPath ? IdentityOf(*hostPath) : std::nullopt)
            m_inputs.insert(*identity);
    };
    for (const std::string& chosen : m_chosenFiles)
        remember(chosen);
    for (const Entry& entry : m_entries)
        if (const std::optional<std::string> fullName = JoinEntryPath(entry.directory, entry.name))
            remember(AfxHostPath(*fullName));
}

bool CBatchRunner::Run() {
    CStopSignals stopSignals;
    RememberInputs();
    int saved = 0;
    const std::string total = std::to_string(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if ((m_stopSignal = stopSignals.Take())) {
            ReportStop(i, saved);
            return false;
        }
        const Outcome outcome = RunEntry(i, saved, stopSignals);
        if (outcome == Outcome::Stopped) {
            ReportStop(i, saved);
            return false;
        }
        saved += outcome == Outcome::Saved ? 1 : 0;
    }
    if ((m_stopSignal = stopSignals.Take())) {
        ReportStop(m_entries.size(), saved);
        return false;
    }
    const std::size_t failed = m_entries.size() - static_cast<std::size_t>(saved);
    m_out << "共 " << total << " 个图像：保存 " << saved << " 个，失败 " << failed << " 个";
    if (m_refusedFiles > 0)
        m_out << "；另有 " << m_refusedFiles << " 个文件无法打开";
    m_out << "。\n";
    return failed == 0 && m_refusedFiles == 0;
}

void CBatchRunner::ReportStop(std::size_t entriesRun, int saved) const {
    m_err << StopLine(m_stopSignal, entriesRun, saved);
}

std::string CBatchRunner::StopLine(int signal, std::size_t entriesRun, int saved) const {
    return "vexlan-batch：收到 " + CStopSignals::Name(signal) + "，处理完 " +
           std::to_string(entriesRun) + "/" + std::to_string(m_entries.size()) +
           " 个图像后停止（保存 " + std::to_string(saved) + " 个）。\n";
}

CBatchRunner::Outcome CBatchRunner::RunEntry(std::size_t entriesRun, int saved,
                                             CStopSignals& stopSignals) {
    const Entry& entry = m_entries[entriesRun];
    const std::string prefix =
        "[" + std::to_string(entriesRun + 1) + "/" + std::to_string(m_entries.size()) + "] ";
    const auto fail = [&](const std::string& message) {
        m_err << prefix << message << "\n";
        return Outcome::Failed;
    };
    const std::optional<std::string> fullName = JoinEntryPath(entry.directory, entry.name);
    if (!fullName)
        return fail(PathTooLongMessage(entry.directory, entry.name));
    const std::string resultName =
        m_resultName ? m_resultName(entry.name) : ResultFileName(entry.name);
    const std::optional<std::string> hostPath = ResultHostPath(resultName);
    const std::string shown = ShownPath(resultName, hostPath);
    if (const std::optional<std::string> refusal = OverwriteRefusal(hostPath.value_or("")))
        return fail(ResultSaveFailure(shown, *refusal));

    const CFilePtr file(AfxOpenFile(fullName->c_str(), "rb"));
    if (!file)
        return fail(FileProblemMessage(*fullName, "无法打开：" + AfxSystemErrorPhrase(errno)));
    const std::unique_ptr<CImageDecoder> decoder = DecoderFor(entry.name);
    if (decoder->ReadHeader(file.get()) != CImageDecoder::Result::Decodable)
        return fail(FileProblemMessage(*fullName, decoder->Problem()));
    CDecodedImage image;
    if (const std::optional<std::string> problem =
            DecodeImage(*decoder, file.get(), image, NewSharedPlane))
        return fail(FileProblemMessage(*fullName, *problem));
    // Once the decoder's own memory is given back.
    const std::optional<std::size_t> size = PlaneSize(decoder->Width(), decoder->Height());
    CByteBlock result = DEBUG_NEW_SHARED_BYTES(size.value_or(0));
    if (!size || !result)
        return fail(FileProblemMessage(*fullName, kTooLargeForMemory));
    std::optional<CImmediateStop> atOnce;
    if (m_stopStepsAtOnce)
        atOnce.emplace(stopSignals,
                       [&](int signal) { return StopLine(signal, entriesRun, saved); });
    const std::optional<std::string> failure =
        m_run({image.width, image.height, image.gray.get(), image.color.get()}, result.get(),
              AfxHostPath(*fullName).value_or(*fullName), stopSignals.Descriptor());
    atOnce.reset();
    // Ctrl+C reaches the step's process too: its end is the stop, not a fault of the step.
    if ((m_stopSignal = stopSignals.Take()))
        return Outcome::Stopped;
    if (failure)
        return fail(*failure);

    if (const std::optional<std::string> saveFailure =
            SaveResultFile(hostPath, shown, decoder->Width(), decoder->Height(), result.get()))
        return fail(*saveFailure);
    if (const auto identity = IdentityOf(*hostPath))
        m_written.emplace(*identity, entry.name);
    std::string shownPng;
    if (m_writePng &&
        !SavePng(resultName, decoder->Width(), decoder->Height(), result.get(), shownPng))
        return fail(shownPng);
    // At once, so that whatever the step printed stands between this line and the one before.
    m_out << prefix << entry.name << " -> " << shown << (m_writePng ? "，" + shownPng : "")
          << std::endl;
    return Outcome::Saved;
}

std::string CBatchRunner::ShownPath(const std::string& resultName,
                                    const std::optional<std::string>& hostPath) const {
    return m_outputDirectory ? hostPath.value_or("") : AfxPathForMessage(resultName);
}

bool CBatchRunner::SavePng(const std::string& resultName, int width, int height, const BYTE* result,
                           std::string& shownOrProblem) const {
    const std::string pngName = resultName.substr(0, resultName.size() - 4) + ".png";
    const std::optional<std::string> hostPath = ResultHostPath(pngName);
    shownOrProblem = ShownPath(pngName, hostPath);
    std::string problem = "驱动器 D: 没有对应的文件夹";
    if (hostPath &&
        WriteFileReplacing(*hostPath, EncodePng(width, height, result, CPngPixels::Gray8), problem))
        return true;
    shownOrProblem = ResultSaveFailure(shownOrProblem, problem);
    return false;
}

std::optional<std::string> CBatchRunner::OverwriteRefusal(const std::string& hostPath) const {
    const auto identity = IdentityOf(hostPath);
    if (!identity)
        return std::nullopt;
    if (m_inputs.contains(*identity))
        return "那是这次运行要读取的文件";
    if (const auto written = m_written.find(*identity); written != m_written.end())
        return "这次运行已把 " + written->second + " 的结果写在那里";
    return std::nullopt;
}

std::optional<std::string> CBatchRunner::ResultHostPath(const std::string& resultName) const {
    if (!m_outputDirectory)
        return AfxHostPath(resultName);
    std::filesystem::path path(*m_outputDirectory);
    for (const std::string& part : PartsBelowRoot(resultName))
        path /= part;
    // The folders of the name are made as the output folder is; one that cannot be made fails
    // the write, which names the problem.
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    return path.string();
}
