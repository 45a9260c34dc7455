#include "childprogram.h"

#include "programlaunch.h"
#include "systemerror.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <span>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How often a program that has ended is looked for while its output stays open: a process it
// left behind may hold the pipe.
constexpr int kPollMs = 200;

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

class OutputReader {
public:
    OutputReader(pid_t pid, int descriptor, const std::function<void(const std::string&)>& onLine,
                 const CChildProgramOptions& options)
        : m_pid(pid), m_descriptor(descriptor), m_onLine(onLine), m_stopFd(options.stopFd) {
        if (options.seconds)
            m_deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(*options.seconds));
    }

    struct Ended {
        int waitStatus;
        CChildProgramEnd::Cause cause;
    };

    // Reads until the program has ended and its output is closed, or nothing more comes from
    // what it left behind; then ends what it left in its group.
    Ended ReadToEnd() {
        bool ended = false;
        bool open = true;
        for (;;) {
            // poll passes over a negative descriptor.
            std::array<pollfd, 2> ready = {pollfd{open ? m_descriptor : -1, POLLIN, 0},
                                           pollfd{m_stopFd, POLLIN, 0}};
            const int polled = poll(ready.data(), ready.size(), PollMs());
            if (polled < 0 && errno != EINTR)
                break;
            EndWhenDue(polled > 0 && (ready[1].revents & POLLIN) != 0);
            if (open && polled > 0 && ready[0].revents != 0) {
                open = Take();
                continue;
            }
            if (ended)
                break;
            ended = HasEnded();
        }
        // The group goes before its leader is reaped: until then its number cannot be reused.
        kill(-m_pid, SIGKILL);
        int waitStatus = 0;
        waitpid(m_pid, &waitStatus, 0);
        if (!m_line.empty())
            m_onLine(m_line);
        return {waitStatus, m_cause};
    }

private:
    int PollMs() const {
        if (!m_deadline)
            return kPollMs;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*m_deadline - Clock::now());
        return static_cast<int>(
            std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kPollMs));
    }

    void EndWhenDue(bool stopAsked) {
        if (m_cause != CChildProgramEnd::Cause::Ended)
            return;
        if (stopAsked)
            m_cause = CChildProgramEnd::Cause::Stopped;
        else if (m_deadline && Clock::now() >= *m_deadline)
            m_cause = CChildProgramEnd::Cause::TimeLimit;
        else
            return;
        kill(-m_pid, SIGKILL);
    }

    // Whether the program has ended, leaving it to be reaped.
    bool HasEnded() const {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    }

    // False at the end of the output.
    bool Take() {
        std::array<char, 4096> buffer{};
        const ssize_t got = read(m_descriptor, buffer.data(), buffer.size());
        if (got < 0)
            return errno == EINTR || errno == EAGAIN;
        if (got == 0)
            return false;
        for (const char c : std::span(buffer.data(), static_cast<std::size_t>(got))) {
            if (c != '\n') {
                if (m_line.size() < kMaxChildLineBytes)
                    m_line += c;
                continue;
            }
            m_onLine(m_line);
            m_line.clear();
        }
        return true;
    }

    pid_t m_pid;
    int m_descriptor;
    const std::function<void(const std::string&)>& m_onLine;
    int m_stopFd;
    std::optional<Clock::time_point> m_deadline;
    CChildProgramEnd::Cause m_cause = CChildProgramEnd::Cause::Ended;
    std::string m_line;
};

class Pipe {
public:
    Pipe() {
        if (pipe2(m_ends.data(), O_CLOEXEC) != 0)
            m_ends = {-1, -1};
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        CloseWriteEnd();
        if (m_ends[0] >= 0)
            close(m_ends[0]);
    }
    bool Open() const { return m_ends[0] >= 0; }
    int ReadEnd() const { return m_ends[0]; }
    int WriteEnd() const { return m_ends[1]; }
    void CloseWriteEnd() {
        if (m_ends[1] >= 0)
            close(std::exchange(m_ends[1], -1));
    }

private:
    std::array<int, 2> m_ends{};
};

} // namespace

CChildProgramEnd RunChildProgram(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment,
                                 const std::function<void(const std::string& line)>& onLine,
                                 const CChildProgramOptions& options) {
    constexpr int kNotStarted = 127;
    Pipe pipe;
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (!pipe.Open() || nothing < 0 || args.empty()) {
        onLine("无法启动程序：" + AfxSystemErrorPhrase(errno));
        if (nothing >= 0)
            close(nothing);
        return {kNotStarted};
    }
    const CDescriptorMove fds[] = {{nothing, STDIN_FILENO},
                                   {pipe.WriteEnd(), STDOUT_FILENO},
                                   {pipe.WriteEnd(), STDERR_FILENO}};
    const CProgramLaunch launch(args, environment, fds, options.seal);
    close(nothing);
    pipe.CloseWriteEnd();
    if (launch.Pid() == 0) {
        onLine(launch.Problem());
        return {kNotStarted};
    }
    const auto [waitStatus, cause] =
        OutputReader(launch.Pid(), pipe.ReadEnd(), onLine, options).ReadToEnd();
    if (const std::string problem = launch.SealProblem(); !problem.empty()) {
        onLine("无法隔离 " + args.front() + "：" + problem);
        return {kNotStarted, cause};
    }
    return {StatusOf(launch.ProgramStatus(waitStatus)), cause};
}
