// A step's own process: the program vexlan-step-host beside this one, sealed (sealpolicy.h:
// it sees the file system read-only, writes only a private temporary folder, cannot reach
// this process or any other, and every process it starts ends with it) unless the system
// cannot seal it (sealavailability.h). It starts with an empty signal mask, so that Ctrl+C and
// SIGTERM end it even while this process holds them back. It can be started ahead and handed
// the planes, which are shared blocks of the debug allocator, without a copy: the image
// read-only and the result plane writable, each between inaccessible pages, so a step that
// reads or writes past a plane faults in its own process. One process runs one step, or
// reads one step's entry, and ends.
#pragma once

#include "processingstep.h"
#include "sealpolicy.h"

#include <sys/types.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// How a step's process ended: Finished means it returned, with the result ready.
struct CStepEnd {
    // Stopped: a stop signal came for the caller while the step ran; the process was killed.
    enum class Kind { Finished, Refused, Failed, TimedOut, Ended, Stopped };
    Kind kind = Kind::Failed;
    std::string what; // empty for Finished; otherwise why, as a phrase
};

class CProgramLaunch;

class CStepProcess {
public:
    // A step gets limits (the memory one counts what it allocates beyond its planes).
    explicit CStepProcess(const CSealLimits& limits = {});
    // A process still running is killed and reaped.
    ~CStepProcess();
    CStepProcess(const CStepProcess&) = delete;
    CStepProcess& operator=(const CStepProcess&) = delete;

    // Starts a process that waits to be told what to do; false with Problem() set when it
    // cannot start.
    bool Start();
    // Hands the waiting process the planes of a run (shared blocks, DEBUG_NEW_SHARED_BYTES;
    // result zeroed), which it maps and faults in before it says it is ready.
    bool SharePlanes(const CStepInput& input, const BYTE* result);
    // Waits up to timeoutMs for the process to say that the planes are in place; true at once
    // once it has.
    bool WaitReady(int timeoutMs);
    // Has the process read the step's entry from stepPath, or run it on the shared planes with
    // values, one per parameter in the order declared (none: the defaults).
    bool Info(const std::string& stepPath);
    bool Run(const std::string& stepPath, std::span<const double> values = {});

    bool StartInfo(const std::string& stepPath) { return Start() && Info(stepPath); }
    bool StartRun(const std::string& stepPath, const CStepInput& input, const BYTE* result,
                  std::span<const double> values = {}) {
        return Start() && SharePlanes(input, result) && Run(stepPath, values);
    }

    // Readable once the process has ended; -1 when none was started.
    int EndDescriptor() const { return m_endFd; }
    bool Running() const { return m_pid > 0; }
    // Whether it runs sealed; false also before it started.
    bool Sealed() const;
    // Whether the host has let go of its end of the socket: it has ended, or is ending, and
    // will run nothing.
    bool HungUp() const;
    // Waits up to timeoutMs for the end (-1: without a limit, 0: only looks); nothing while
    // the process still runs.
    std::optional<CStepEnd> Wait(int timeoutMs);
    // Waits for the end; a process past timeoutSeconds is killed and ends TimedOut, and one
    // still running when stopFd (-1: none) becomes readable is killed and ends Stopped.
    CStepEnd WaitWithTimeout(std::optional<double> timeoutSeconds, int stopFd = -1);
    // Kills a running process: it ends Ended.
    CStepEnd End();

    // After a Finished info: the step's name, menu text and prompt, then a line per parameter
    // (ParameterLine).
    std::vector<std::string> InfoFields() const;
    const std::string& Problem() const { return m_problem; }

private:
    bool Tell(const std::string& text, const std::vector<int>& fds = {});
    CStepEnd EndFromStatus(int status) const;
    std::string Report() const;
    void CloseAll();

    CSealLimits m_limits;
    std::unique_ptr<CProgramLaunch> m_launch;
    pid_t m_pid = 0;
    int m_endFd = -1;
    int m_socketFd = -1;
    int m_reportFd = -1;
    std::string m_problem;
    bool m_ready = false; // the host said that its planes are in place
};

// The host's exit statuses besides 0.
constexpr int kStepHostRefused = 3;
constexpr int kStepHostThrew = 4;
constexpr int kStepHostUsage = 5;
constexpr int kStepHostWroteBefore = 6;
constexpr int kStepHostCalledExit = 7;

// The programs beside the running one.
std::string StepHostProgram();
std::string BatchProgram();
