#include "studentcommand.h"

#include <filesystem>

namespace {

// Single quotes keep everything but a single quote, which ends them, is escaped and reopens.
std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
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
        std::filesystem::create_directories(folder, error);
    return RunChildProgram(command.args, command.environment, onLine,
                           {command.timeLimitSeconds, stopFd});
}
