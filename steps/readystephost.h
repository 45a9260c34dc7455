// A step host started ahead while the program is idle, with the image's planes and a zeroed
// result plane of its own mapped and faulted in: choosing a step then costs the step alone,
// not a process start and the first touch of every page.
#pragma once

#include "debugalloc.h"
#include "stepprocess.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

struct CPreparedStepHost {
    CByteBlock result; // shared, zeroed, width * height bytes
    // null when it could not start, with problem. After the result, so that the process has
    // ended before its result plane is freed and handed out again.
    std::unique_ptr<CStepProcess> process;
    std::string problem;
};

// Starts a host for input now (its planes shared blocks), with a result plane of its own.
CPreparedStepHost PrepareStepHost(const CStepInput& input);

class CReadyStepHost {
public:
    // Starts a host for input unless one is ready for it already.
    void Prepare(const CStepInput& input);
    // The host prepared for input, or one started for it now.
    CPreparedStepHost Take(const CStepInput& input);
    // Waits up to timeoutMs until the prepared host has its planes in place.
    bool WaitReady(int timeoutMs);
    void Drop();

private:
    // The size and the memory files of the planes: a plane handed out again at the same
    // address may be another file, but a file that a host maps is never another's.
    using Identity = std::array<std::uint64_t, 6>;
    static std::optional<Identity> IdentityOf(const CStepInput& input);
    bool IsReadyFor(const std::optional<Identity>& identity);

    CPreparedStepHost m_prepared;
    std::optional<Identity> m_identity;
};
