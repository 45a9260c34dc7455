// The file system a sealed program sees, built by vexlan-seal in the mount namespace it runs
// in: the whole system read-only, or only the system's programs and libraries and the
// listed paths. Either way with a process list of its own (/proc), the harmless devices
// (/dev/null, zero, full, random, urandom) and a private temporary folder (/tmp, size
// limited: over the whole system, the user's /tmp with what the run writes there kept apart
// in /dev/shm), and without the system's sockets (/run).
#pragma once

#include "sealpolicy.h"

#include <optional>
#include <string>

// Builds the view policy asks for; why not, when a step of it fails.
std::optional<std::string> BuildSealView(const CSealPolicy& policy);
