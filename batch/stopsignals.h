// The signals that ask a command-line run to stop (SIGINT, SIGTERM, SIGHUP), held back while
// it works so that none ends it half way through a file, and taken where it can stop cleanly.
#pragma once

#include <string>

#include <signal.h>

class CStopSignals {
public:
    // Holds back, in the calling thread, each of the signals that is not ignored.
    CStopSignals();
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The signal that has come since the last call, taken so that it no longer ends the
    // program; 0 when none has.
    int Take();
    // Readable while one of the signals waits to be taken, for a wait that must end then.
    int Descriptor() const { return m_descriptor; }
    // The signals held back.
    const sigset_t& Held() const { return m_held; }

    // "SIGINT" for SIGINT, and so on.
    static std::string Name(int signal);

private:
    sigset_t m_held{};
    sigset_t m_previousMask{};
    int m_descriptor = -1;
};
