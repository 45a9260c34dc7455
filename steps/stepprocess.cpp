#include "stepprocess.h"

#include "debugalloc.h"
#include "hostmessage.h"
#include "programlaunch.h"
#include "sealavailability.h"
#include "stepparameter.h"
#include "systemerror.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// Where the host finds its socket and its report.
constexpr int kHostSocketFd = 3;
constexpr int kHostReportFd = 4;
// The host's parent inside its seal is the seal's first process.
constexpr char kSealedParent[] = "1";

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
    case SIGXFSZ:
        return "写的文件超过了大小上限（SIGXFSZ）";
    default:
        return std::string("被信号 ") + std::to_string(signal) + "（" + sigabbrev_np(signal) +
               "）结束";
    }
}

} // namespace

std::string StepHostProgram() {
    return ProgramBeside("vexlan-step-host");
}

std::string BatchProgram() {
    return ProgramBeside("vexlan-batch");
}

CStepProcess::CStepProcess(const CSealLimits& limits) : m_limits(limits) {}

CStepProcess::~CStepProcess() {
    if (Running())
        End();
    CloseAll();
}

bool CStepProcess::Sealed() const {
    return m_launch && m_launch->Sealed();
}

bool CStepProcess::HungUp() const {
    pollfd end{m_socketFd, POLLRDHUP, 0};
    return m_socketFd < 0 || (poll(&end, 1, 0) > 0 && (end.revents & (POLLRDHUP | POLLHUP)));
}

void CStepProcess::CloseAll() {
    for (int* fd : {&m_endFd, &m_socketFd, &m_reportFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

bool CStepProcess::Start() {
    int sockets[2] = {-1, -1};
    m_reportFd = ReportFile();
    if (m_reportFd < 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
        m_problem = "无法为步骤分配共享内存：" + AfxSystemErrorPhrase(errno);
        return false;
    }
    m_socketFd = sockets[0];
    const bool sealed = !SealUnavailableReason();
    // The host limits what the step allocates itself, once its planes are mapped.
    CSealPolicy policy;
    policy.limits = m_limits;
    policy.limits.memoryBytes = 0;
    const CDescriptorMove fds[] = {{sockets[1], kHostSocketFd}, {m_reportFd, kHostReportFd}};
    m_launch = std::make_unique<CProgramLaunch>(
        std::vector<std::string>{StepHostProgram(),
                                 sealed ? kSealedParent : std::to_string(getpid()),
                                 std::to_string(m_limits.memoryBytes)},
        sealed ? std::vector<std::string>{"TMPDIR=/tmp"} : std::vector<std::string>{}, fds,
        sealed ? &policy : nullptr);
    close(sockets[1]);
    m_pid = m_launch->Pid();
    if (m_pid == 0) {
        m_problem = m_launch->Problem();
        return false;
    }
    // Through syscall: this C library's header declares pidfd_open without C linkage.
    m_endFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (m_endFd < 0) {
        m_problem = "无法等待步骤的进程：" + AfxSystemErrorPhrase(errno);
        End();
        return false;
    }
    return true;
}

bool CStepProcess::Tell(const std::string& text, const std::vector<int>& fds) {
    if (SendHostMessage(m_socketFd, text, fds))
        return true;
    if (m_problem.empty())
        m_problem = "步骤的进程没有回应";
    return false;
}

bool CStepProcess::SharePlanes(const CStepInput& input, const BYTE* result) {
    const std::optional<std::size_t> size = PlaneSize(input.width, input.height);
    if (!size || *size == 0 || *size > SIZE_MAX / 4) {
        m_problem = "图像大小不对";
        return false;
    }
    const int grayFd = ReadOnlyDescriptor(input.grayPlane);
    const int colorFd = ReadOnlyDescriptor(input.colorPlane);
    const int resultFd = AfxSharedBlockDescriptor(result);
    const bool shared =
        grayFd >= 0 && colorFd >= 0 && resultFd >= 0 &&
        Tell("planes " + std::to_string(input.width) + " " + std::to_string(input.height),
             {grayFd, colorFd, resultFd});
    for (int fd : {grayFd, colorFd})
        if (fd >= 0)
            close(fd);
    if (!shared && m_problem.empty())
        m_problem = "无法与步骤共享图像";
    return shared;
}

bool CStepProcess::WaitReady(int timeoutMs) {
    pollfd answer{m_socketFd, POLLIN, 0};
    if (m_ready || poll(&answer, 1, timeoutMs) <= 0)
        return m_ready;
    const std::optional<CHostMessage> message = ReceiveHostMessage(m_socketFd);
    m_ready = message && message->text == "ready";
    return m_ready;
}

bool CStepProcess::Info(const std::string& stepPath) {
    return Tell("info " + stepPath);
}

bool CStepProcess::Run(const std::string& stepPath, std::span<const double> values) {
    return (values.empty() || Tell("values " + ValuesLine(values))) && Tell("run " + stepPath);
}

std::optional<CStepEnd> CStepProcess::Wait(int timeoutMs) {
    if (!Running())
        return std::nullopt;
    pollfd end{m_endFd, POLLIN, 0};
    while (poll(&end, 1, timeoutMs) < 0 && errno == EINTR) {
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) <= 0)
        return std::nullopt;
    m_pid = 0;
    return EndFromStatus(status);
}

CStepEnd CStepProcess::WaitWithTimeout(std::optional<double> timeoutSeconds, int stopFd) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        timeoutSeconds
            ? std::optional(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(*timeoutSeconds)))
            : std::nullopt;
    while (Running()) {
        const auto left =
            deadline ? std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now())
                     : std::chrono::milliseconds(-1);
        if (deadline && left.count() <= 0) {
            End();
            return {CStepEnd::Kind::TimedOut, ""};
        }
        pollfd watched[] = {{m_endFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int waitMs = static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX));
        if (poll(watched, stopFd >= 0 ? 2 : 1, waitMs) < 0 && errno != EINTR)
            break;
        if (watched[1].revents & POLLIN) {
            End();
            return {CStepEnd::Kind::Stopped, ""};
        }
        if (std::optional<CStepEnd> end = Wait(0))
            return *end;
    }
    return Wait(-1).value_or(CStepEnd{CStepEnd::Kind::Ended, ""});
}

CStepEnd CStepProcess::End() {
    if (Running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    return {CStepEnd::Kind::Ended, ""};
}

CStepEnd CStepProcess::EndFromStatus(int launcherStatus) const {
    if (const std::string problem = m_launch->SealProblem(); !problem.empty())
        return {CStepEnd::Kind::Refused, "无法隔离步骤：" + problem};
    const int status = m_launch->ProgramStatus(launcherStatus);
    if (WIFSIGNALED(status))
        return {CStepEnd::Kind::Failed, SignalPhrase(WTERMSIG(status))};
    switch (WEXITSTATUS(status)) {
    case 0:
        return {CStepEnd::Kind::Finished, ""};
    case kStepHostRefused:
        return {CStepEnd::Kind::Refused, Report()};
    case kStepHostThrew:
        return {CStepEnd::Kind::Failed, "抛出了未捕获的异常：" + Report()};
    case kStepHostWroteBefore:
        return {CStepEnd::Kind::Failed,
                "在 result 的开头之前写入了 " + Report() + " 个字节（越界写入）"};
    case kStepHostCalledExit:
        return {CStepEnd::Kind::Failed, "调用了 exit(" + Report() + ")，没有做完"};
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
