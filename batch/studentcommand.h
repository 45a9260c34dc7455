// The one way grading starts a command for a student (or for the reference): the build of
// their step with vexlan-step and their run of vexlan-batch. It is told what the command may
// read and write, how long it may take and where its output goes, so that sealing a student
// off is done here and nowhere else in grading. Today the command runs as the user, in a
// process group of its own that is ended whole.
#pragma once

#include "childprogram.h"

#include <functional>
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
};

// The command as a shell line that repeats it: the environment, then the arguments, each
// quoted so that it can be pasted whatever characters it holds.
std::string ShellCommandLine(const CStudentCommand& command);

// Runs command to its end; each line of its output goes to onLine as it comes. Once stopFd is
// readable, the command is ended.
CChildProgramEnd RunStudentCommand(const CStudentCommand& command, int stopFd,
                                   const std::function<void(const std::string& line)>& onLine);
