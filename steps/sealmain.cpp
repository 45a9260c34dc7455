// vexlan-seal: the first process of a sealed run (programlaunch.h starts it in namespaces of
// its own).
//   vexlan-seal STATUS_FD KEEP_FDS POLICY-OPTIONS... -- PROGRAM ARGS...
// It builds the view of the file system the policy gives, starts PROGRAM in a process of its
// own with the policy's limits, passes its output on up to the limit, and ends when PROGRAM
// ends, which ends every process PROGRAM started. How PROGRAM ended goes to the status file
// (sealreport.h). The descriptors in KEEP_FDS ("3,4", or "-") go on to PROGRAM; stop signals
// from outside (SIGINT, SIGTERM, SIGHUP, SIGQUIT) are passed on to it. Without a PROGRAM it
// only sets the seal up and ends, which tells whether it can be.
#include "outputrelay.h"
#include "sealedcommand.h"
#include "sealpolicy.h"
#include "sealreport.h"
#include "sealview.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kUsage = 125;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// A process-id space smaller than this cannot be set.
constexpr std::uint64_t kFewestProcessIds = 301;

void Report(int statusFd, const std::string& text) {
    if (pwrite(statusFd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        std::cerr << "vexlan-seal：" << text << std::endl;
}

std::set<int> KeptDescriptors(const std::string& list, int statusFd) {
    std::set<int> kept{STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO, statusFd};
    std::istringstream fds(list == "-" ? "" : list);
    for (std::string fd; std::getline(fds, fd, ',');)
        kept.insert(std::atoi(fd.c_str()));
    return kept;
}

// Whatever else the launcher had open stays out of the run.
void CloseAllBut(const std::set<int>& kept) {
    int from = 0;
    for (int fd : kept) {
        if (fd > from)
            close_range(static_cast<unsigned>(from), static_cast<unsigned>(fd - 1), 0);
        from = fd + 1;
    }
    close_range(static_cast<unsigned>(from), ~0U, 0);
}

// The kernel does not count processes for the system's root user against RLIMIT_NPROC; the
// run's own process-id space counts them for everyone (where the kernel lets a namespace
// have one of its own).
void LimitProcessIds(std::uint64_t processes) {
    if (processes == 0)
        return;
    const int fd = open("/proc/sys/kernel/pid_max", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    const std::string count = std::to_string(std::max(processes + 1, kFewestProcessIds));
    if (write(fd, count.data(), count.size()) < 0) {
        // an older kernel: one space for the whole system
    }
    close(fd);
}

// A signal file for the stop signals and the ends of processes, which PID 1 of a namespace
// only gets when it asks.
int SignalFile() {
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGCHLD);
    for (int signal : kStopSignals)
        sigaddset(&watched, signal);
    sigprocmask(SIG_BLOCK, &watched, nullptr);
    return signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Reaps every process that has ended (the run's orphans come to this one); the program's
// wait status once it is among them.
std::optional<int> Reap(pid_t program) {
    std::optional<int> ended;
    int status = 0;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;)
        if (pid == program)
            ended = status;
    return ended;
}

// Waits for the program's end, passing its output on and stop signals from outside to it.
int Supervise(pid_t program, int signals, COutputRelay& relay) {
    for (;;) {
        pollfd watched[3] = {{signals, POLLIN, 0}};
        const int outputs = relay.Watched(watched + 1);
        if (poll(watched, static_cast<nfds_t>(1 + outputs), -1) < 0 && errno != EINTR)
            return W_EXITCODE(kUsage, 0);
        relay.Pass(watched + 1, outputs);
        signalfd_siginfo info{};
        while (read(signals, &info, sizeof info) == sizeof info) {
            // Only from outside: a step's kill(0, ...) reaches this process too.
            if (info.ssi_signo != SIGCHLD && info.ssi_pid == 0)
                kill(program, static_cast<int>(info.ssi_signo));
        }
        if (const std::optional<int> status = Reap(program)) {
            relay.PassWhatIsLeft();
            return *status;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() < 3)
        return kUsage;
    const int statusFd = std::atoi(args[1].c_str());
    fcntl(statusFd, F_SETFD, FD_CLOEXEC); // the launcher's alone
    std::size_t next = 3;
    std::string problem;
    const std::optional<CSealPolicy> policy = ReadSealOptions(args, next, problem);
    if (!policy) {
        Report(statusFd, SealSetupReport(problem));
        return kUsage;
    }
    const std::vector<std::string> command(args.begin() + static_cast<std::ptrdiff_t>(next),
                                           args.end());
    const std::set<int> kept = KeptDescriptors(args[2], statusFd);
    CloseAllBut(kept);
    if (const std::optional<std::string> failed = BuildSealView(*policy)) {
        Report(statusFd, SealSetupReport(*failed));
        return kUsage;
    }
    // Nothing in the run may trace this process or read its memory.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    LimitProcessIds(policy->limits.processes);
    if (command.empty()) {
        Report(statusFd, SealEndReport(0));
        return 0;
    }
    COutputRelay relay(policy->limits.outputBytes);
    const int signals = SignalFile();
    const pid_t program = fork();
    if (program == 0)
        RunSealedCommand(command, policy->limits, relay.ProgramOutput(STDOUT_FILENO),
                         relay.ProgramOutput(STDERR_FILENO));
    relay.CloseProgramEnds();
    for (int fd : kept)
        if (fd > STDERR_FILENO && fd != statusFd)
            close(fd);
    const int status = program > 0 ? Supervise(program, signals, relay) : W_EXITCODE(kUsage, 0);
    Report(statusFd, SealEndReport(status));
    // Quickly and without exit handlers: this process's end ends every process of the run.
    _exit(0);
}
