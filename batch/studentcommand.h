// The one way grading starts a command for a student (or for the reference): the build of
// their step with vexlan-step and their run of vexlan-batch. It is told what the command may
// read and write, how long it may take and where its output goes, so that sealing a student
// off is done here and nowhere else in grading. Sealed (sealpolicy.h), the command sees the
// system's programs and libraries, Vexlan's programs and step header, what it may read (read
// only) and its own folders, and nothing else: not the reference, not another student, not
// the teacher's home; within limits, and every process it starts ends with it. Either way it
// runs in a process group of its own that is ended whole.
#pragma once

#include "childprogram.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct CStudentCommand {
    std::vector<std::string> args;        // args[0] is the program's path
    std::vector<std::string> environment; // NAME=VALUE, in place of the grader's own
    // The files and folders it reads, beside the system's programs and libraries: the source,
    // the step header, the images, its own step. A seal makes these its only view, read-only.
    std::vector<std::string> readablePaths;
    // The folders it writes: its own build, or its own results.
    std::vector<std::string> writableFolders;
    double timeLimitSeconds = 0; // the whole command's
    // Sealed within these limits; none: it runs as the user (--allow-unsealed, where the
    // system cannot seal).
    std::optional<CSealLimits> seal;
};

// The command as a shell line that repeats it: the environment, then the arguments, each
// quoted so that it can be pasted whatever characters it holds.
std::string ShellCommandLine(const CStudentCommand& command);

// Runs command to its end; each line of its output goes to onLine as it comes. Once stopFd is
// readable, the command is ended.
CChildProgramEnd RunStudentCommand(const CStudentCommand& command, int stopFd,
                                   const std::function<void(const std::string& line)>& onLine);
