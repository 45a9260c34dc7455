// A step's own process: the program vexlan-step-host beside this one, started afresh with
// posix_spawn for one run (never a fork of a process that has threads). It maps the planes,
// which are shared blocks of the debug allocator, without a copy: the image read-only and the
// result plane of width * height bytes writable, so a step that writes anywhere else faults
// in its own process.
#pragma once

#include "processingstep.h"

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// How a step's process ended: Finished means it returned, with the result ready.
struct CStepEnd {
    enum class Kind { Finished, Refused, Failed, TimedOut, Ended };
    Kind kind = Kind::Failed;
    std::string what; // empty for Finished; otherwise why, as a phrase
};

class CStepProcess {
public:
    CStepProcess() = default;
    // A process still running is killed and reaped.
    ~CStepProcess();
    CStepProcess(const CStepProcess&) = delete;
    CStepProcess& operator=(const CStepProcess&) = delete;

    // Starts the process that reads the step's entry from stepPath; false with Problem() set
    // when it cannot start.
    bool StartInfo(const std::string& stepPath);
    // Starts the process that runs the step on input into result. The three planes must be
    // shared blocks (DEBUG_NEW_SHARED_BYTES); result stays zeroed until the step writes it.
    bool StartRun(const std::string& stepPath, const CStepInput& input, BYTE* result);

    // Readable once the process has ended; -1 when none was started.
    int EndDescriptor() const { return m_endFd; }
    bool Running() const { return m_pid > 0; }
    // Waits up to timeoutMs for the end (-1: without a limit, 0: only looks); nothing while
    // the process still runs.
    std::optional<CStepEnd> Wait(int timeoutMs);
    // Waits for the end; a process past timeoutSeconds is killed and ends TimedOut.
    std::optional<CStepEnd> WaitWithTimeout(std::optional<double> timeoutSeconds);
    // Kills a running process: it ends Ended.
    CStepEnd End();

    // After a Finished info: the step's name, menu text and prompt.
    std::vector<std::string> InfoFields() const;
    const std::string& Problem() const { return m_problem; }

private:
    bool Spawn(const std::vector<std::string>& args, const std::vector<int>& sharedFds);
    CStepEnd EndFromStatus(int status) const;
    std::string Report() const;
    void CloseAll();

    pid_t m_pid = 0;
    int m_endFd = -1;
    int m_reportFd = -1;
    std::string m_problem;
};

// The host's exit statuses besides 0.
constexpr int kStepHostRefused = 3;
constexpr int kStepHostThrew = 4;
constexpr int kStepHostUsage = 5;

// The host program: beside the running program.
std::string StepHostProgram();
