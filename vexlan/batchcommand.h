// The command line of vexlan-batch: vexlan-batch [-o DIR] STEP FILE..., --list, --help.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

// Exit statuses: every image saved, some image or file failed, the command line is wrong.
constexpr int kBatchAllSaved = 0;
constexpr int kBatchSomeFailed = 1;
constexpr int kBatchUsageError = 2;

// args are the arguments after the program's name. Help, the step list and progress go to
// out; usage errors, refusals and failures to err.
int RunBatchCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);
