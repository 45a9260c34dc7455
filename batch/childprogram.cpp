#include "childprogram.h"

#include "programlaunch.h"
#include "systemerror.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How often a program that has ended is looked for while its output stays open: a process it
// left behind may hold the pipe.
constexpr int kPollMs = 200;

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

class OutputReader {
public:
    OutputReader(pid_t pid, int descriptor, const std::function<bool(const std::string&)>& onLine)
        : m_pid(pid), m_descriptor(descriptor), m_onLine(onLine) {}

    // Reads to the end of the output, or until the program has ended and nothing more comes;
    // its wait status.
    int ReadToEnd(std::string& output) {
        int waitStatus = 0;
        bool ended = false;
        for (;;) {
            pollfd ready{m_descriptor, POLLIN, 0};
            const int polled = poll(&ready, 1, kPollMs);
            if (polled < 0 && errno != EINTR)
                break;
            if (polled > 0 && !Take(output))
                break;
            if (polled == 0 && ended)
                break;
            if (!ended && polled == 0)
                ended = waitpid(m_pid, &waitStatus, WNOHANG) == m_pid;
        }
        if (!ended)
            waitpid(m_pid, &waitStatus, 0);
        if (!m_line.empty())
            See(m_line);
        return waitStatus;
    }

private:
    // False at the end of the output.
    bool Take(std::string& output) {
        std::array<char, 4096> buffer{};
        const ssize_t got = read(m_descriptor, buffer.data(), buffer.size());
        if (got < 0)
            return errno == EINTR || errno == EAGAIN;
        if (got == 0)
            return false;
        output.append(buffer.data(), static_cast<std::size_t>(got));
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[static_cast<std::size_t>(i)] != '\n') {
                m_line += buffer[static_cast<std::size_t>(i)];
                continue;
            }
            See(m_line);
            m_line.clear();
        }
        return true;
    }

    void See(const std::string& line) {
        if (m_onLine && !m_stopAsked && !m_onLine(line)) {
            m_stopAsked = true;
            kill(m_pid, SIGTERM);
        }
    }

    pid_t m_pid;
    int m_descriptor;
    const std::function<bool(const std::string&)>& m_onLine;
    std::string m_line;
    bool m_stopAsked = false;
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
                                 const std::function<bool(const std::string& line)>& onLine,
                                 const CSealPolicy* seal) {
    constexpr int kNotStarted = 127;
    Pipe pipe;
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (!pipe.Open() || nothing < 0) {
        if (nothing >= 0)
            close(nothing);
        return {kNotStarted, "无法启动程序：" + AfxSystemErrorPhrase(errno) + "\n"};
    }
    const CDescriptorMove fds[] = {{nothing, STDIN_FILENO},
                                   {pipe.WriteEnd(), STDOUT_FILENO},
                                   {pipe.WriteEnd(), STDERR_FILENO}};
    const CProgramLaunch launch(args, environment, fds, seal);
    close(nothing);
    pipe.CloseWriteEnd();
    if (launch.Pid() == 0)
        return {kNotStarted, launch.Problem() + "\n"};
    CChildProgramEnd end;
    const int waitStatus = OutputReader(launch.Pid(), pipe.ReadEnd(), onLine).ReadToEnd(end.output);
    if (const std::string problem = launch.SealProblem(); !problem.empty()) {
        end.output += "无法隔离 " + args[0] + "：" + problem + "\n";
        end.status = kNotStarted;
        return end;
    }
    end.status = StatusOf(launch.ProgramStatus(waitStatus));
    return end;
}
