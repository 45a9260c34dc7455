#include "childprogram.h"

#include "systemerror.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

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
    OutputReader(pid_t pid, int descriptor, const std::function<bool(const std::string&)>& onLine)
        : m_pid(pid), m_descriptor(descriptor), m_onLine(onLine) {}

    // Reads to the end of the output, or until the program has ended and nothing more comes.
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
        return StatusOf(waitStatus);
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

} // namespace

CChildProgramEnd RunChildProgram(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment,
                                 const std::function<bool(const std::string& line)>& onLine) {
    constexpr int kNotStarted = 127;
    std::vector<std::string> argTexts = args;
    std::vector<std::string> environmentTexts = MergedEnvironment(environment);
    const std::vector<char*> argv = Pointers(argTexts);
    const std::vector<char*> envp = Pointers(environmentTexts);
    Pipe pipe;
    if (!pipe.Open() || args.empty())
        return {kNotStarted, "无法启动程序：" + AfxSystemErrorPhrase(errno) + "\n"};
    const SpawnActions actions(pipe.WriteEnd());
    pid_t pid = 0;
    if (const int error =
            posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data()))
        return {kNotStarted, "无法启动 " + args[0] + "：" + AfxSystemErrorPhrase(error) + "\n"};
    pipe.CloseWriteEnd();
    CChildProgramEnd end;
    end.status = OutputReader(pid, pipe.ReadEnd(), onLine).ReadToEnd(end.output);
    return end;
}
