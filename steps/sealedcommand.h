// The sealed program's own process, forked by vexlan-seal once the view is built: it takes
// the run's limits, gives up every privilege it had inside its namespaces for good (no
// capabilities, none to gain again, no new sockets) and becomes the program.
#pragma once

#include "sealpolicy.h"

#include <string>
#include <vector>

// Never returns: the program runs, or a message goes to standard error and the process ends
// with 127. output and error, when not -1, become its standard output and error.
[[noreturn]] void RunSealedCommand(const std::vector<std::string>& command,
                                   const CSealLimits& limits, int output, int error);
