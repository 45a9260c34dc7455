#include "immediatestop.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace {

// What the handler writes, made before any signal may come: a handler may only write and end.
struct StopLine {
    int signal = 0;
    std::array<char, 512> text{};
    std::size_t length = 0;
};

std::array<StopLine, 3> g_lines;

extern "C" void EndAtOnce(int signal) {
    for (const StopLine& line : g_lines)
        if (line.signal == signal) {
            [[maybe_unused]] const ssize_t written =
                write(STDERR_FILENO, line.text.data(), line.length);
        }
    _exit(128 + signal);
}

} // namespace

CImmediateStop::CImmediateStop(const CStopSignals& stopSignals,
                               const std::function<std::string(int)>& lineFor)
    : m_signals(stopSignals.Held()) {
    std::size_t next = 0;
    for (int signal = 1; signal < NSIG && next < g_lines.size(); ++signal) {
        if (sigismember(&m_signals, signal) != 1)
            continue;
        const std::string text = lineFor(signal);
        StopLine& line = g_lines[next++];
        line.signal = signal;
        line.length = std::min(text.size(), line.text.size());
        std::memcpy(line.text.data(), text.data(), line.length);
        struct sigaction action {};
        action.sa_handler = EndAtOnce;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    pthread_sigmask(SIG_UNBLOCK, &m_signals, nullptr);
}

CImmediateStop::~CImmediateStop() {
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (StopLine& line : g_lines)
        if (line.signal != 0)
            sigaction(std::exchange(line.signal, 0), &standard, nullptr);
}
