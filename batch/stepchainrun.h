// How the runner runs its steps on one image: a built-in step in this process, an installed
// one in its own, sealed within limits (or, for a debugger, in this one), and a chain one step
// after the other, each on the result of the one before as resultinput.h gives it, the last into
// the result.
#pragma once

#include "batchrunner.h"
#include "batchstep.h"
#include "sealpolicy.h"

#include <optional>
#include <vector>

CBatchStepRun StepChainRun(const std::vector<CBatchStep>& steps, bool inProcess,
                           std::optional<double> timeoutSeconds, const CSealLimits& limits);
