// Runs a program and writes how it ended and what its process peaked at, for tests that measure
// a load from outside. A process started straight from a test would count the test's own memory
// as its floor: a child begins in its parent's memory, and the kernel keeps that peak across
// exec. Started from this small program, it counts only this one's.
//
//     vexlan-test-peakmemory REPORT PROGRAM [ARGUMENT...]
//
// REPORT receives "STATUS PEAK_KIB": the exit status, or 128 + the signal that ended it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: vexlan-test-peakmemory REPORT PROGRAM [ARGUMENT...]\n";
        return 2;
    }
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return 2;
    std::ofstream(argv[1]) << (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status))
                           << ' ' << usage.ru_maxrss << '\n';
    return 0;
}
