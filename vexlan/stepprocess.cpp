#include "stepprocess.h"

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

class CMapping {
public:
    CMapping(int fd, std::size_t size, int protection)
        : m_size(size), m_data(mmap(nullptr, size, protection, MAP_SHARED | MAP_POPULATE, fd, 0)) {}
    ~CMapping() {
        if (m_data != MAP_FAILED)
            munmap(m_data, m_size);
    }
    CMapping(const CMapping&) = delete;
    CMapping& operator=(const CMapping&) = delete;
    BYTE* Data() const { return m_data == MAP_FAILED ? nullptr : static_cast<BYTE*>(m_data); }

private:
    std::size_t m_size;
    void* m_data;
};

int SharedPlane(const char* name, std::size_t size, unsigned flags = 0) {
    const int fd = memfd_create(name, MFD_CLOEXEC | flags);
    if (fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The planes as the host reads them, gray then colour; sealed so that nobody can change
// them while the step runs.
int SharedInput(const CStepInput& input, std::size_t size) {
    const int fd = SharedPlane("vexlan-planes", 4 * size, MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    {
        const CMapping planes(fd, 4 * size, PROT_READ | PROT_WRITE);
        if (!planes.Data()) {
            close(fd);
            return -1;
        }
        std::memcpy(planes.Data(), input.grayPlane, size);
        std::memcpy(planes.Data() + size, input.colorPlane, 3 * size);
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
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
    for (int* fd : {&m_endFd, &m_reportFd, &m_resultFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

bool CStepProcess::StartInfo(const std::string& stepPath) {
    m_reportFd = SharedPlane("vexlan-report", 0);
    return m_reportFd >= 0 ? Spawn({"info", stepPath}, {m_reportFd})
                           : (m_problem = "无法分配共享内存", false);
}

bool CStepProcess::StartRun(const std::string& stepPath, const CStepInput& input) {
    const std::optional<std::size_t> size = PlaneSize(input.width, input.height);
    if (!size || *size == 0 || *size > SIZE_MAX / 4) {
        m_problem = "图像大小不对";
        return false;
    }
    m_resultSize = *size;
    m_reportFd = SharedPlane("vexlan-report", 0);
    m_resultFd = SharedPlane("vexlan-result", *size); // a new file reads as zeros
    const int inputFd = SharedInput(input, *size);
    const bool started =
        m_reportFd >= 0 && m_resultFd >= 0 && inputFd >= 0 &&
        Spawn({"run", stepPath, std::to_string(input.width), std::to_string(input.height)},
              {m_reportFd, inputFd, m_resultFd});
    if (inputFd >= 0)
        close(inputFd);
    if (!started && m_problem.empty())
        m_problem = "无法为步骤分配共享内存";
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

bool CStepProcess::CopyResult(BYTE* result) const {
    const CMapping plane(m_resultFd, m_resultSize, PROT_READ);
    if (plane.Data())
        std::memcpy(result, plane.Data(), m_resultSize);
    return plane.Data() != nullptr;
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
