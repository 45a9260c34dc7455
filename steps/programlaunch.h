// Another program started in a process of its own, sealed by a policy (sealpolicy.h) or
// not. Either way it starts from a clone of the calling thread that only sets up its
// descriptors, signals, a session and process group of its own (kill(-pid) ends the group)
// and, when sealed, its user namespace before it runs the program: safe in a process with
// threads, as posix_spawn is. Sealed, the child is vexlan-seal, which builds
// the program's view of the system and runs it; the child's end is then the end of every
// process the program started.
#pragma once

#include "sealpolicy.h"

#include <sys/types.h>

#include <span>
#include <string>
#include <vector>

// The child's descriptor `to` is this process's `from`; it gets no others.
struct CDescriptorMove {
    int from;
    int to;
};

class CProgramLaunch {
public:
    // Starts args[0], an absolute path, with args and the NAME=VALUE entries of environment,
    // its signal mask empty and the stop signals (SIGINT, SIGTERM, SIGHUP, SIGQUIT) at their
    // defaults unless this process ignores them. Sealed by policy unless it is null; an empty
    // args then only sets the seal up and ends, which tells whether it can be.
    CProgramLaunch(const std::vector<std::string>& args,
                   const std::vector<std::string>& environment,
                   std::span<const CDescriptorMove> fds, const CSealPolicy* policy);
    ~CProgramLaunch();
    CProgramLaunch(const CProgramLaunch&) = delete;
    CProgramLaunch& operator=(const CProgramLaunch&) = delete;

    // 0 when it did not start, with Problem() saying why.
    pid_t Pid() const { return m_pid; }
    const std::string& Problem() const { return m_problem; }
    bool Sealed() const { return m_statusFd >= 0; }

    // The program's own wait status, once the child ended with childStatus: vexlan-seal
    // passes on how the program ended; a child killed before it could is what it was.
    int ProgramStatus(int childStatus) const;
    // Why vexlan-seal could not set the seal up, once it ended; empty when it could.
    std::string SealProblem() const;

private:
    std::string StatusText() const;

    pid_t m_pid = 0;
    int m_statusFd = -1; // where vexlan-seal writes how the program ended
    std::string m_problem;
};

// The program of that name beside the running one, vexlan-seal for instance.
std::string ProgramBeside(const char* name);
