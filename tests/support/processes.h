// The processes of the system as /proc lists them, read so that one ending while it is read
// is simply gone (an std::ifstream throws "basic_filebuf::underflow ... No such process").
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// The whole of a /proc file; nothing when it cannot be read.
inline std::optional<std::string> ReadProcFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    std::array<char, 4096> buffer{};
    ssize_t got = 0;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0)
        text.append(buffer.data(), static_cast<std::size_t>(got));
    close(fd);
    return got < 0 ? std::nullopt : std::optional(text);
}

struct CProcessInfo {
    pid_t pid = 0;
    pid_t parent = 0;
    char state = 0;
    std::string name;    // as the kernel keeps it (comm), up to 15 characters
    std::string cmdline; // its arguments, each ended by '\0'
};

inline std::vector<CProcessInfo> Processes() {
    std::vector<CProcessInfo> processes;
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string pid = entry->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::optional<std::string> stat = ReadProcFile("/proc/" + pid + "/stat");
        const std::optional<std::string> cmdline = ReadProcFile("/proc/" + pid + "/cmdline");
        const std::size_t open = stat ? stat->find('(') : std::string::npos;
        const std::size_t close = stat ? stat->rfind(')') : std::string::npos;
        if (!cmdline || open == std::string::npos || close == std::string::npos)
            continue;
        CProcessInfo info{std::stoi(pid), 0, 0, stat->substr(open + 1, close - open - 1), *cmdline};
        std::istringstream(stat->substr(close + 2)) >> info.state >> info.parent;
        processes.push_back(info);
    }
    return processes;
}

// The processes that ancestor started, and those they started, and so on.
inline std::vector<CProcessInfo> DescendantsOf(pid_t ancestor) {
    const std::vector<CProcessInfo> all = Processes();
    std::vector<CProcessInfo> found;
    std::vector<pid_t> parents{ancestor};
    while (!parents.empty()) {
        const pid_t parent = parents.back();
        parents.pop_back();
        for (const CProcessInfo& process : all)
            if (process.parent == parent && process.pid != ancestor) {
                found.push_back(process);
                parents.push_back(process.pid);
            }
    }
    return found;
}

// The step hosts that parent started, sealed or not.
inline std::vector<pid_t> StepHostsOf(pid_t parent) {
    std::vector<pid_t> hosts;
    for (const CProcessInfo& process : DescendantsOf(parent))
        if (process.cmdline.find("vexlan-step-host") != std::string::npos &&
            process.cmdline.find("vexlan-seal") == std::string::npos)
            hosts.push_back(process.pid);
    return hosts;
}
