#include "stepprocess.h"

#include "debugalloc.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace {

// The host finds its shared planes at these descriptors.
constexpr int kFirstSharedFd = 3;
// Above every descriptor the host is given, so that moving one there overwrites none.
constexpr int kSpareFdFloor = 10;

// An empty file in memory for the host's report.
int ReportFile() {
    return memfd_create("vexlan-report", MFD_CLOEXEC);
}

// A descriptor of a shared plane through which the host can only read it, whatever the step
// does; -1 for a plane that is not shared.
int ReadOnlyDescriptor(const void* plane) {
    const int fd = AfxSharedBlockDescriptor(plane);
    return fd < 0 ? -1
                  : open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
}

std::string SignalPhrase(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "访问了不属于它的内存（段错误，SIGSEGV）";
    case SIGBUS:
        return "访问了不存在的内存（总线错误，SIGBUS）";
    case SIGFPE:
        return "算术错误，例如整数除以零（SIGFPE）";
    case SIGILL:
        return "执行了非法指令（SIGILL）";
    case SIGABRT:
        return "调用了 abort，例如 assert 失败（SIGABRT）";
    case SIGKILL:
        return "被强行结束（SIGKILL），也许内存不够了";
    default:
        return std::string("被信号 ") + std::to_string(signal) + "（" + sigabbrev_np(signal) +
               "）结束";
    }
}

} // namespace

std::string StepHostProgram() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / "vexlan-step-host").string();
}

CStepProcess::~CStepProcess() {
    if (Running())
        End();
    CloseAll();
}

void CStepProcess::CloseAll() {
    for (int* fd : {&m_endFd, &m_reportFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

bool CStepProcess::StartInfo(const std::string& stepPath) {
    m_reportFd = ReportFile();
    return m_reportFd >= 0 ? Spawn({"info", stepPath}, {m_reportFd})
                           : (m_problem = "无法分配共享内存", false);
}

bool CStepProcess::StartRun(const std::string& stepPath, const CStepInput& input, BYTE* result) {
    const std::optional<std::size_t> size = PlaneSize(input.width, input.height);
    if (!size || *size == 0 || *size > SIZE_MAX / 4) {
        m_problem = "图像大小不对";
        return false;
    }
    m_reportFd = ReportFile();
    const int grayFd = ReadOnlyDescriptor(input.grayPlane);
    const int colorFd = ReadOnlyDescriptor(input.colorPlane);
    const int resultFd = AfxSharedBlockDescriptor(result);
    const bool started =
        m_reportFd >= 0 && grayFd >= 0 && colorFd >= 0 && resultFd >= 0 &&
        Spawn({"run", stepPath, std::to_string(input.width), std::to_string(input.height)},
              {m_reportFd, grayFd, colorFd, resultFd});
    for (int fd : {grayFd, colorFd})
        if (fd >= 0)
            close(fd);
    if (!started && m_problem.empty())
        m_problem = "无法与步骤共享图像";
    return started;
}

bool CStepProcess::Spawn(const std::vector<std::string>& args, const std::vector<int>& sharedFds) {
    const std::string program = StepHostProgram();
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::vector<int> spares;
    for (std::size_t i = 0; i < sharedFds.size(); ++i) {
        // A shared descriptor may itself be 3, 4 or 5: it goes through a spare one above them.
        spares.push_back(fcntl(sharedFds[i], F_DUPFD_CLOEXEC, kSpareFdFloor));
        posix_spawn_file_actions_adddup2(&actions, spares.back(),
                                         kFirstSharedFd + static_cast<int>(i));
    }
    const int error =
        posix_spawn(&m_pid, program.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int spare : spares)
        if (spare >= 0)
            close(spare);
    if (error != 0) {
        m_pid = 0;
        m_problem = "无法启动 " + program + "：" + std::strerror(error);
        return false;
    }
    // Through syscall: this C library's header declares pidfd_open without C linkage.
    m_endFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    return true;
}

std::optional<CStepEnd> CStepProcess::Wait(int timeoutMs) {
    if (!Running())
        return std::nullopt;
    pollfd end{m_endFd, POLLIN, 0};
    while (m_endFd >= 0 && poll(&end, 1, timeoutMs) < 0 && errno == EINTR) {
    }
    int status = 0;
    const pid_t reaped = waitpid(m_pid, &status, m_endFd >= 0 || timeoutMs >= 0 ? WNOHANG : 0);
    if (reaped == 0)
        return std::nullopt;
    m_pid = 0;
    return EndFromStatus(status);
}

std::optional<CStepEnd> CStepProcess::WaitWithTimeout(std::optional<double> timeoutSeconds) {
    const int timeoutMs =
        timeoutSeconds ? static_cast<int>(std::min(*timeoutSeconds * 1000.0, double{INT_MAX})) : -1;
    if (std::optional<CStepEnd> end = Wait(timeoutMs))
        return end;
    End();
    return CStepEnd{CStepEnd::Kind::TimedOut, ""};
}

CStepEnd CStepProcess::End() {
    if (Running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    return {CStepEnd::Kind::Ended, ""};
}

CStepEnd CStepProcess::EndFromStatus(int status) const {
    if (WIFSIGNALED(status))
        return {CStepEnd::Kind::Failed, SignalPhrase(WTERMSIG(status))};
    switch (WEXITSTATUS(status)) {
    case 0:
        return {CStepEnd::Kind::Finished, ""};
    case kStepHostRefused:
        return {CStepEnd::Kind::Refused, Report()};
    case kStepHostThrew:
        return {CStepEnd::Kind::Failed, "抛出了未捕获的异常：" + Report()};
    default:
        return {CStepEnd::Kind::Failed, "以状态 " + std::to_string(WEXITSTATUS(status)) +
                                            " 退出了，没有做完（例如调用了 exit）"};
    }
}

std::string CStepProcess::Report() const {
    std::string text;
    std::array<char, 4096> buffer{};
    for (off_t offset = 0;;) {
        const ssize_t n = pread(m_reportFd, buffer.data(), buffer.size(), offset);
        if (n <= 0)
            return text;
        text.append(buffer.data(), static_cast<std::size_t>(n));
        offset += n;
    }
}

std::vector<std::string> CStepProcess::InfoFields() const {
    std::vector<std::string> fields;
    const std::string report = Report();
    for (std::size_t begin = 0; begin <= report.size();) {
        const std::size_t end = std::min(report.find('\n', begin), report.size());
        fields.push_back(report.substr(begin, end - begin));
        begin = end + 1;
    }
    return fields;
}
