// Stop signals that end the process at once, for a stretch of work that cannot stop between two
// of its steps: an installed step run in the runner's own process (--in-process) loops in code
// that never looks at a signal. The runner's stop line is written and the process ends with
// 128 + the signal, as when it stops between two images.
#pragma once

#include "stopsignals.h"

#include <functional>
#include <string>

class CImmediateStop {
public:
    // From now on each of the signals stopSignals holds back ends the process, writing
    // lineFor(signal) to standard error first. A signal already waiting does so at once.
    CImmediateStop(const CStopSignals& stopSignals, const std::function<std::string(int)>& lineFor);
    // Holds the signals back again, as before.
    ~CImmediateStop();
    CImmediateStop(const CImmediateStop&) = delete;
    CImmediateStop& operator=(const CImmediateStop&) = delete;

private:
    sigset_t m_signals{};
};
