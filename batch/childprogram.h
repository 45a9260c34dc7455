// Another program run to its end in a process group of its own, its standard output and error
// read together, line by line: whatever it does, crash, loop or leave processes behind, stays
// in its group, and the group is ended with it. Sealed by a policy, it reaches only what the
// policy lets it, and every process it starts ends with it.
#pragma once

#include "sealpolicy.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct CChildProgramOptions {
    std::optional<double> seconds;     // for the whole program; none: no limit
    int stopFd = -1;                   // once it is readable the program is ended
    const CSealPolicy* seal = nullptr; // none: it runs as the user, unsealed
};

struct CChildProgramEnd {
    enum class Cause { Ended, TimeLimit, Stopped };

    int status = 0; // the exit status, or 128 + the signal that ended it, as a shell says
    Cause cause = Cause::Ended;
};

// The longest part of one line of output that onLine sees; the rest of the line is dropped.
constexpr std::size_t kMaxChildLineBytes = 64 * 1024;

// Runs args[0] with args, in this process's environment with the NAME=VALUE entries of
// environment in place of those of the same names, standard input from /dev/null and no signal
// held back. onLine sees each line of output as it comes, without its line end. Past the time
// limit or on the stop, the group is killed. A program that cannot be started ends with 127 and
// says why in a line of output.
CChildProgramEnd RunChildProgram(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment,
                                 const std::function<void(const std::string& line)>& onLine,
                                 const CChildProgramOptions& options = {});
