// The command line of vexlan-batch: vexlan-batch [-o DIR] STEP FILE..., --list, --help,
// --version.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

// Exit statuses: every image saved, some image or file failed, the command line is wrong, and
// stopped by a signal (plus the signal's number, as a shell reports it: 130 for SIGINT).
constexpr int kBatchAllSaved = 0;
constexpr int kBatchSomeFailed = 1;
constexpr int kBatchUsageError = 2;
constexpr int kBatchStoppedBySignal = 128;

// args are the arguments after the program's name. Help, the step list and progress go to
// out; usage errors, refusals and failures to err.
int RunBatchCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);
