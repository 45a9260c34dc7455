#include "stopsignals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <ctime>

namespace {

struct StopSignal {
    int number;
    const char* name;
};

constexpr StopSignal kStopSignals[] = {
    {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};

// A signal ignored when the program started (nohup, a background job) stays ignored: held
// back, it would be kept pending instead of dropped.
bool IsIgnored(int signal) {
    struct sigaction action {};
    return sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

} // namespace

CStopSignals::CStopSignals() {
    sigemptyset(&m_held);
    for (const StopSignal& stop : kStopSignals)
        if (!IsIgnored(stop.number))
            sigaddset(&m_held, stop.number);
    pthread_sigmask(SIG_BLOCK, &m_held, &m_previousMask);
    m_descriptor = signalfd(-1, &m_held, SFD_CLOEXEC | SFD_NONBLOCK);
}

CStopSignals::~CStopSignals() {
    if (m_descriptor >= 0)
        close(m_descriptor);
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

int CStopSignals::Take() {
    const timespec noWait{};
    const int signal = sigtimedwait(&m_held, nullptr, &noWait);
    return signal > 0 ? signal : 0;
}

std::string CStopSignals::Name(int signal) {
    for (const StopSignal& stop : kStopSignals)
        if (stop.number == signal)
            return stop.name;
    return "信号 " + std::to_string(signal);
}
