#include "sealedcommand.h"

#include "systemerror.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <linux/securebits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <iostream>

namespace {

void SetLimit(int resource, std::uint64_t value, std::uint64_t grace = 0) {
    const rlim_t soft = value == 0 ? RLIM_INFINITY : static_cast<rlim_t>(value);
    const rlim_t hard = value == 0 ? RLIM_INFINITY : static_cast<rlim_t>(value + grace);
    const rlimit limit{soft, hard};
    setrlimit(resource, &limit);
}

void TakeLimits(const CSealLimits& limits) {
    SetLimit(RLIMIT_NPROC, limits.processes);
    SetLimit(RLIMIT_AS, limits.memoryBytes);
    SetLimit(RLIMIT_FSIZE, limits.fileBytes);
    // SIGXCPU at the limit, which a program may catch; SIGKILL a second after.
    SetLimit(RLIMIT_CPU, limits.cpuSeconds, 1);
    const rlimit noCoreFile{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFile);
}

// Root inside the namespaces only, and even that given up: no capability now, none from
// running a program as root or one marked to get them, and no way back.
bool GiveUpPrivileges() {
    constexpr int kLocked = SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_SETUID_FIXUP |
                            SECBIT_NO_SETUID_FIXUP_LOCKED | SECBIT_KEEP_CAPS_LOCKED |
                            SECBIT_NO_CAP_AMBIENT_RAISE | SECBIT_NO_CAP_AMBIENT_RAISE_LOCKED;
    if (prctl(PR_SET_SECUREBITS, kLocked, 0, 0, 0) != 0)
        return false;
    for (int capability = 0; prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) == 0; ++capability) {
    }
    return prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 &&
           prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

// No new sockets: the network is gone already, and this keeps the sockets of the user's
// session (a desktop bus, an agent) out of reach wherever their files lie. Sockets handed
// over, and socketpair, still work.
bool ForbidNewSockets() {
#if defined(__x86_64__)
    constexpr unsigned kX32Bit = 0x40000000;
    constexpr unsigned kI386SocketCall = 102;
    constexpr unsigned kI386Socket = 359;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, ~kX32Bit),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kI386SocketCall, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kI386Socket, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
#else
    return true;
#endif
}

} // namespace

void RunSealedCommand(const std::vector<std::string>& command, const CSealLimits& limits,
                      int output, int error) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (output >= 0)
        dup2(output, STDOUT_FILENO);
    if (error >= 0)
        dup2(error, STDERR_FILENO);
    TakeLimits(limits);
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (GiveUpPrivileges() && ForbidNewSockets())
        execv(argv[0], argv.data());
    std::cerr << "vexlan-seal：无法启动 " << command[0] << "：" << AfxSystemErrorPhrase(errno)
              << std::endl;
    _exit(127);
}
