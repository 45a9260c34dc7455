// Another program run to its end in a process of its own, its standard output and error read
// together, line by line: whatever it does, crash or loop, stays in its process. Sealed by a
// policy, it reaches only what the policy lets it, and every process it starts ends with it.
#pragma once

#include "sealpolicy.h"

#include <functional>
#include <string>
#include <vector>

struct CChildProgramEnd {
    int status = 0;     // the exit status, or 128 + the signal that ended it, as a shell says
    std::string output; // standard output and error as they came
};

// Runs args[0] with args, in this process's environment with the NAME=VALUE entries of
// environment in place of those of the same names, and standard input from /dev/null; sealed
// by seal unless it is null. onLine sees each line of output as it comes, without its line
// end; when it returns false the program is asked to stop (SIGTERM) and its output read to the
// end. A program that cannot be started ends with 127 and says why in output.
CChildProgramEnd RunChildProgram(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment,
                                 const std::function<bool(const std::string& line)>& onLine = {},
                                 const CSealPolicy* seal = nullptr);
