#include "childprogram.h"

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
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// How often a program that has ended is looked for while its output stays open: a process it
// left behind may hold the pipe.
constexpr int kPollMs = 200;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        if (std::ranges::none_of(changes, [&](const auto& c) { return c.starts_with(name); }))
            merged.push_back(text);
    }
    merged.insert(merged.end(), changes.begin(), changes.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

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

    // Reads until the program has ended and its output is closed, or nothing more comes from
    // what it left behind; then ends what it left in its group.
    CChildProgramEnd ReadToEnd() {
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
        return {StatusOf(waitStatus), m_cause};
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

class SpawnActions {
public:
    explicit SpawnActions(int output) {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&m_actions, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&m_actions, output, STDERR_FILENO);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
};

// A group of its own, so that it and all it starts can be ended together; and none of the
// signals that this program holds back while it works.
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setpgroup(&m_attributes, 0);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    const posix_spawnattr_t* get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
};

} // namespace

CChildProgramEnd RunChildProgram(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment,
                                 const std::function<void(const std::string& line)>& onLine,
                                 const CChildProgramOptions& options) {
    constexpr int kNotStarted = 127;
    std::vector<std::string> argTexts = args;
    std::vector<std::string> environmentTexts = MergedEnvironment(environment);
    const std::vector<char*> argv = Pointers(argTexts);
    const std::vector<char*> envp = Pointers(environmentTexts);
    Pipe pipe;
    if (!pipe.Open() || args.empty()) {
        onLine("无法启动程序：" + AfxSystemErrorPhrase(errno));
        return {kNotStarted};
    }
    const SpawnActions actions(pipe.WriteEnd());
    const SpawnAttributes attributes;
    pid_t pid = 0;
    if (const int error =
            posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv.data(), envp.data())) {
        onLine("无法启动 " + args[0] + "：" + AfxSystemErrorPhrase(error));
        return {kNotStarted};
    }
    pipe.CloseWriteEnd();
    return OutputReader(pid, pipe.ReadEnd(), onLine, options).ReadToEnd();
}
