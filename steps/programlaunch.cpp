#include "programlaunch.h"

#include "sealreport.h"
#include "systemerror.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace {

// Spares go above this and above every descriptor a child is given, so that moving one there
// overwrites none; low, for a caller with few descriptors (RLIMIT_NOFILE).
constexpr int kSpareFdFloor = 10;
constexpr std::size_t kChildStackBytes = std::size_t{64} << 10;

// The child shares the caller's memory until it runs the program, as posix_spawn's does, but
// under ThreadSanitizer, whose clone does its fork bookkeeping in the child and would write it
// into the caller's memory (the caller then may start no thread): there the child has a copy.
#if defined(__SANITIZE_THREAD__)
constexpr int kShareCaller = 0;
#else
constexpr int kShareCaller = CLONE_VM | CLONE_VFORK;
#endif

// The namespaces of a sealed run: its own users (mapped to the caller), processes, mounts,
// network, System V IPC, host name and cgroup view.
constexpr int kSealFlags = CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWNET |
                           CLONE_NEWIPC | CLONE_NEWUTS | CLONE_NEWCGROUP;

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

extern "C" char** environ;

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

// Everything the child does, prepared by the caller: the child shares its memory and may
// only make system calls.
struct ChildPlan {
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    std::vector<CDescriptorMove> moves; // from spares above every target
    std::vector<int> defaultSignals;
    bool sealed = false;
    // The caller's user and group, and nobody else (InsideId).
    std::string uidMap;
    std::string gidMap;
    int errorFd = -1; // the child writes its errno here when it cannot run the program
};

// The calling thread's signals as a new program should start with them.
std::vector<int> SignalsToDefault() {
    std::vector<int> signals;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
            signals.push_back(signal);
    }
    return signals;
}

// The id the caller's own has inside a seal: the same, but for root, who is an ordinary user
// there. Mapping onto the id 0 of the namespace outside takes CAP_SETFCAP, which a sealed
// program has given up: a seal inside a seal (a student's step, run by the runner in the
// student's seal) can map its user only because that user is not 0 in the outer seal.
unsigned InsideId(unsigned outside) {
    return outside == 0 ? 1 : outside;
}

std::string IdMap(unsigned outside) {
    return std::to_string(InsideId(outside)) + " " + std::to_string(outside) + " 1";
}

__attribute__((no_sanitize("address", "thread", "undefined"))) long
WriteFile(const char* path, const std::string& text) {
    const long fd = syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return fd;
    const long written = syscall(SYS_write, fd, text.data(), text.size());
    syscall(SYS_close, fd);
    return written == static_cast<long>(text.size()) ? 0 : -1;
}

// Every capability the new user namespace gave, kept across the coming execve.
__attribute__((no_sanitize("address", "thread", "undefined"))) bool KeepCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (__user_cap_data_struct& word : data)
        word.inheritable = word.permitted;
    if (syscall(SYS_capset, &header, data) != 0)
        return false;
    for (long capability = 0;
         syscall(SYS_prctl, PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, capability, 0, 0) == 0;
         ++capability) {
    }
    return true;
}

// The kernel's struct sigaction, as rt_sigaction takes it.
struct KernelSignalAction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    std::uint64_t mask;
};

// In the clone, on a stack of its own: system calls only, no allocation, no locks, as in
// posix_spawn's own child.
__attribute__((no_sanitize("address", "thread", "undefined"))) int RunChild(void* argument) {
    const ChildPlan& plan = *static_cast<const ChildPlan*>(argument);
    // The kernel's calls, not the C library's, which a sanitizer intercepts: its bookkeeping
    // lies in the memory this child shares with its caller.
    const KernelSignalAction byDefault{SIG_DFL, 0, nullptr, 0};
    const std::uint64_t none = 0;
    for (int signal : plan.defaultSignals)
        syscall(SYS_rt_sigaction, signal, &byDefault, nullptr, sizeof none);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    // A session of its own: no terminal to type into, and a process group that the caller can
    // end whole.
    bool ready = syscall(SYS_setsid) >= 0;
    if (plan.sealed) {
        // Without a map the user would be nobody inside; vexlan-seal, an ordinary user there,
        // keeps the capabilities it builds the seal with (PR_CAP_AMBIENT); the sealed run ends
        // when its launcher does.
        ready = ready && WriteFile("/proc/self/setgroups", "deny") == 0 &&
                WriteFile("/proc/self/uid_map", plan.uidMap) == 0 &&
                WriteFile("/proc/self/gid_map", plan.gidMap) == 0 && KeepCapabilities() &&
                syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) == 0;
    }
    for (const CDescriptorMove& move : plan.moves)
        ready = ready && syscall(SYS_dup3, move.from, move.to, 0) >= 0;
    if (ready)
        syscall(SYS_execve, plan.program, plan.argv, plan.envp);
    const int error = errno;
    syscall(SYS_write, plan.errorFd, &error, sizeof error);
    syscall(SYS_exit_group, 127);
    return 127;
}

std::string NamespaceProblem(int error) {
    switch (error) {
    case EPERM:
    case EACCES:
        return "系统不允许普通程序创建用户命名空间（" + AfxSystemErrorPhrase(error) +
               "；见 sysctl kernel.unprivileged_userns_clone 和 "
               "kernel.apparmor_restrict_unprivileged_userns，或容器的安全设置）";
    case ENOSPC:
    case EUSERS:
        return "用户命名空间的数量已到上限（sysctl user.max_user_namespaces 为 0 或已用完）";
    case EINVAL:
        return "内核不支持所需的命名空间";
    default:
        return "无法创建命名空间：" + AfxSystemErrorPhrase(error);
    }
}

// A descriptor that closes itself.
class OwnedFd {
public:
    explicit OwnedFd(int fd = -1) : m_fd(fd) {}
    ~OwnedFd() {
        if (m_fd >= 0)
            close(m_fd);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Clones the calling thread into plan's child, which the caller waits for until it runs the
// program or gives up (its end of the error pipe); its process id, or 0 with problem set.
pid_t StartChild(ChildPlan& plan, std::string& problem) {
    int errorPipe[2] = {-1, -1};
    void* stack = mmap(nullptr, kChildStackBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED || pipe2(errorPipe, O_CLOEXEC) != 0) {
        problem = "无法启动 " + std::string(plan.program) + "：" + AfxSystemErrorPhrase(errno);
        if (stack != MAP_FAILED)
            munmap(stack, kChildStackBytes);
        return 0;
    }
    const OwnedFd errorRead(errorPipe[0]);
    plan.errorFd = errorPipe[1];
    const int flags = kShareCaller | SIGCHLD | (plan.sealed ? kSealFlags : 0);
    const pid_t pid =
        clone(RunChild, static_cast<std::byte*>(stack) + kChildStackBytes, flags, &plan);
    const int cloneError = errno;
    munmap(stack, kChildStackBytes);
    close(errorPipe[1]); // the child's copy is gone: it runs the program or has ended
    int childError = 0;
    if (pid < 0) {
        problem = plan.sealed ? NamespaceProblem(cloneError)
                              : "无法启动 " + std::string(plan.program) + "：" +
                                    AfxSystemErrorPhrase(cloneError);
        return 0;
    }
    if (read(errorRead.get(), &childError, sizeof childError) == sizeof childError) {
        waitpid(pid, nullptr, 0);
        problem = "无法启动 " + std::string(plan.program) + "：" + AfxSystemErrorPhrase(childError);
        return 0;
    }
    return pid;
}

// vexlan-seal STATUS_FD KEEP POLICY... -- PROGRAM ARGS...
std::vector<std::string> SealArguments(const std::vector<std::string>& args, int statusFd,
                                       std::span<const CDescriptorMove> fds,
                                       const CSealPolicy& policy) {
    std::string keep;
    for (const CDescriptorMove& move : fds)
        if (move.to > STDERR_FILENO)
            keep += (keep.empty() ? "" : ",") + std::to_string(move.to);
    std::vector<std::string> sealArgs{ProgramBeside("vexlan-seal"), std::to_string(statusFd),
                                      keep.empty() ? "-" : keep};
    const std::vector<std::string> options = SealOptions(policy);
    sealArgs.insert(sealArgs.end(), options.begin(), options.end());
    sealArgs.push_back("--");
    sealArgs.insert(sealArgs.end(), args.begin(), args.end());
    return sealArgs;
}

} // namespace

std::string ProgramBeside(const char* name) {
    std::error_code error;
    return (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / name).string();
}

CProgramLaunch::CProgramLaunch(const std::vector<std::string>& args,
                               const std::vector<std::string>& environment,
                               std::span<const CDescriptorMove> fds, const CSealPolicy* policy) {
    std::vector<CDescriptorMove> moves(fds.begin(), fds.end());
    if (policy) {
        m_statusFd = memfd_create("vexlan-seal-status", MFD_CLOEXEC);
        if (m_statusFd < 0) {
            m_problem = "无法启动 vexlan-seal：" + AfxSystemErrorPhrase(errno);
            return;
        }
        int highest = STDERR_FILENO;
        for (const CDescriptorMove& move : moves)
            highest = std::max(highest, move.to);
        moves.push_back({m_statusFd, highest + 1});
    }
    std::vector<std::string> argTexts =
        policy ? SealArguments(args, moves.back().to, fds, *policy) : args;
    if (argTexts.empty()) {
        m_problem = "没有要启动的程序";
        return;
    }
    std::vector<std::string> environmentTexts = MergedEnvironment(environment);
    const std::vector<char*> argv = Pointers(argTexts);
    const std::vector<char*> envp = Pointers(environmentTexts);
    ChildPlan plan;
    plan.program = argv[0];
    plan.argv = argv.data();
    plan.envp = envp.data();
    plan.defaultSignals = SignalsToDefault();
    plan.sealed = policy != nullptr;
    plan.uidMap = IdMap(geteuid());
    plan.gidMap = IdMap(getegid());
    // Each descriptor goes through a spare above all targets: one may itself be a target.
    int floor = kSpareFdFloor;
    for (const CDescriptorMove& move : moves)
        floor = std::max(floor, move.to + 1);
    std::vector<std::unique_ptr<OwnedFd>> spares;
    for (const CDescriptorMove& move : moves) {
        spares.push_back(std::make_unique<OwnedFd>(fcntl(move.from, F_DUPFD_CLOEXEC, floor)));
        plan.moves.push_back({spares.back()->get(), move.to});
    }
    if (std::ranges::any_of(plan.moves, [](const CDescriptorMove& m) { return m.from < 0; })) {
        m_problem = "无法启动 " + argTexts[0] + "：" + AfxSystemErrorPhrase(errno);
        return;
    }
    m_pid = StartChild(plan, m_problem);
}

CProgramLaunch::~CProgramLaunch() {
    if (m_statusFd >= 0)
        close(m_statusFd);
}

std::string CProgramLaunch::StatusText() const {
    std::array<char, 4096> text{};
    const ssize_t n = m_statusFd < 0 ? 0 : pread(m_statusFd, text.data(), text.size(), 0);
    return std::string(text.data(), static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
}

int CProgramLaunch::ProgramStatus(int childStatus) const {
    return SealEndStatus(StatusText()).value_or(childStatus);
}

std::string CProgramLaunch::SealProblem() const {
    return SealSetupProblem(StatusText());
}
