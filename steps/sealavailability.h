// Whether this system lets a run be sealed (user namespaces may be turned off), found out once
// per process by sealing one that does nothing. Where it cannot be, the program and the runner
// say so once and run steps as before; grading stops unless told to go on without.
#pragma once

#include <optional>
#include <string>

// Why a run cannot be sealed here, naming the cause; nothing when it can. The first call
// costs the start of a sealed process.
const std::optional<std::string>& SealUnavailableReason();

// What the program and the runner tell the user, once, when steps run without the seal.
std::string UnsealedStepsMessage(const std::string& reason);
