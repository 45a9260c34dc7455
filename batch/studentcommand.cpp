#include "studentcommand.h"

#include "programlaunch.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Single quotes keep everything but a single quote, which ends them, is escaped and reopens.
std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Files that a sanitizer build of Vexlan's own programs reads as it starts (suppressions),
// named in its options.
std::vector<std::string> SanitizerFiles() {
    std::vector<std::string> files;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        const std::string options = std::getenv(name) ? std::getenv(name) : "";
        for (std::size_t at = options.find("suppressions="); at != std::string::npos;
             at = options.find("suppressions=", at + 1)) {
            const std::size_t begin = at + std::string_view("suppressions=").size();
            files.push_back(options.substr(begin, options.find(':', begin) - begin));
        }
    }
    return files;
}

// What the command sees: Vexlan's programs and the step header beside them, and what it reads
// and writes.
CSealPolicy SealPolicy(const CStudentCommand& command, const CSealLimits& limits) {
    const fs::path programs = fs::path(ProgramBeside("vexlan-batch")).parent_path();
    CSealPolicy policy;
    policy.view = CSealPolicy::View::Listed;
    policy.readable = {programs.string(), (programs.parent_path() / "include").string()};
    const std::vector<std::string> sanitizer = SanitizerFiles();
    policy.readable.insert(policy.readable.end(), sanitizer.begin(), sanitizer.end());
    policy.readable.insert(policy.readable.end(), command.readablePaths.begin(),
                           command.readablePaths.end());
    policy.writable = command.writableFolders;
    policy.limits = limits;
    return policy;
}

} // namespace

std::string ShellCommandLine(const CStudentCommand& command) {
    std::string line;
    for (const std::string& setting : command.environment) {
        const std::size_t equals = setting.find('=');
        line += setting.substr(0, equals + 1) + ShellQuoted(setting.substr(equals + 1)) + " ";
    }
    for (std::size_t i = 0; i < command.args.size(); ++i)
        line += (i == 0 ? "" : " ") + ShellQuoted(command.args[i]);
    return line;
}

CChildProgramEnd RunStudentCommand(const CStudentCommand& command, int stopFd,
                                   const std::function<void(const std::string& line)>& onLine) {
    std::error_code error;
    for (const std::string& folder : command.writableFolders)
        fs::create_directories(folder, error);
    if (!command.seal)
        return RunChildProgram(command.args, command.environment, onLine,
                               {command.timeLimitSeconds, stopFd});
    const CSealPolicy policy = SealPolicy(command, *command.seal);
    std::vector<std::string> environment = command.environment;
    environment.push_back("TMPDIR=/tmp"); // the only folder of its own it has besides those
    return RunChildProgram(command.args, environment, onLine,
                           {command.timeLimitSeconds, stopFd, &policy});
}
