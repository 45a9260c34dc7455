#include "studentseal.h"

#include "imagesetchoice.h"
#include "imagesetpaths.h"
#include "pathmap.h"
#include "programlaunch.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Every file the runner reads for the chosen files: each one, and the images a list names.
std::vector<std::string> ImageFiles(const std::vector<std::string>& files) {
    std::vector<std::string> images;
    for (const std::string& file : files) {
        std::error_code error;
        const std::string absolute = fs::absolute(file, error).lexically_normal().string();
        images.push_back(absolute);
        const std::optional<std::string> systemPath = AfxSystemPath(absolute);
        std::string message;
        const std::optional<CImageSetChoice> choice =
            systemPath ? ReadImageSetChoice(*systemPath, message) : std::nullopt;
        for (const std::string& name : choice ? choice->names : std::vector<std::string>{})
            if (const std::optional<std::string> entry = JoinEntryPath(choice->directory, name))
                if (const std::optional<std::string> hostPath = AfxHostPath(*entry))
                    images.push_back(*hostPath);
    }
    return images;
}

// Files that a sanitizer build of Vexlan's own programs reads as it starts (suppressions),
// named in its options.
std::vector<std::string> SanitizerFiles() {
    std::vector<std::string> files;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const std::string options = std::getenv(name) ? std::getenv(name) : "";
        for (std::size_t at = options.find("suppressions="); at != std::string::npos;
             at = options.find("suppressions=", at + 1)) {
            const std::size_t begin = at + std::string_view("suppressions=").size();
            files.push_back(options.substr(begin, options.find(':', begin) - begin));
        }
    }
    return files;
}

// Vexlan's programs and the step header beside them.
std::vector<std::string> VexlanFiles() {
    const fs::path programs = fs::path(ProgramBeside("vexlan-batch")).parent_path();
    std::vector<std::string> files{programs.string(),
                                   (programs.parent_path() / "include").string()};
    const std::vector<std::string> sanitizer = SanitizerFiles();
    files.insert(files.end(), sanitizer.begin(), sanitizer.end());
    return files;
}

} // namespace

CStudentSeal::CStudentSeal(const std::vector<std::string>& files, const CSealLimits& limits)
    : m_images(ImageFiles(files)), m_limits(limits) {}

CSealPolicy CStudentSeal::Listed(std::vector<std::string> readable,
                                 std::vector<std::string> writable,
                                 const CSealLimits& limits) const {
    CSealPolicy policy;
    policy.view = CSealPolicy::View::Listed;
    policy.readable = VexlanFiles();
    policy.readable.insert(policy.readable.end(), readable.begin(), readable.end());
    policy.writable = std::move(writable);
    policy.limits = limits;
    return policy;
}

CSealPolicy CStudentSeal::Build(const std::string& source, const std::string& stepsHome) const {
    return Listed({source}, {stepsHome}, m_limits);
}

CSealPolicy CStudentSeal::Run(const std::string& stepsHome, const std::string& results) const {
    // The runner itself is Vexlan's: the steps it runs take the limits of memory, files and
    // output, each in a seal of its own; the whole run shares the count of processes.
    CSealLimits runner;
    runner.processes = m_limits.processes;
    runner.memoryBytes = 0;
    runner.fileBytes = 0;
    runner.outputBytes = 0;
    std::vector<std::string> readable = m_images;
    readable.push_back(stepsHome);
    return Listed(std::move(readable),
                  results.empty() ? std::vector<std::string>{} : std::vector{results}, runner);
}
