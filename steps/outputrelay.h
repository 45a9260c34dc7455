// A sealed program's standard output and error, passed on by vexlan-seal up to a limit: past
// it one note says that the rest was cut, and the rest is read and dropped, so that the
// program neither stalls on a full pipe nor fills the caller's log or memory.
#pragma once

#include <cstdint>
#include <poll.h>

class COutputRelay {
public:
    // Passes on up to limitBytes in all; with 0, nothing is relayed and the program writes to
    // this process's own output.
    explicit COutputRelay(std::uint64_t limitBytes);
    ~COutputRelay();
    COutputRelay(const COutputRelay&) = delete;
    COutputRelay& operator=(const COutputRelay&) = delete;

    bool Relays() const { return m_limit > 0; }
    // The ends the program writes to in place of standard output and error (-1 without).
    int ProgramOutput(int stream) const { return m_pipes[stream - 1][1]; }
    // Once the program has them: this process keeps only the ends it reads.
    void CloseProgramEnds();
    // What poll watches for output: the ends still open.
    int Watched(pollfd* watched);
    // Passes on what the watched ends hold.
    void Pass(const pollfd* watched, int count);
    // Passes on what is there now, without waiting for more: a process the program left
    // behind may keep its end open.
    void PassWhatIsLeft();

private:
    void PassFrom(int stream);

    std::uint64_t m_limit;
    std::uint64_t m_passed = 0;
    bool m_noted = false;
    int m_pipes[2][2] = {{-1, -1}, {-1, -1}}; // [stream - 1][read, write]
};
