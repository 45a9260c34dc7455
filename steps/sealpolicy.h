// What a sealed program may reach and how much it may take. A sealed program runs under
// vexlan-seal in namespaces of its own: it cannot see, signal or trace any process outside,
// has no network, and every process it starts ends with it. The policy says which files it
// sees, which of them it may write, and its limits; the launcher writes it on vexlan-seal's
// command line, which reads it back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct CSealLimits {
    // Processes and threads of the run together (a fork bomb stops there). The kernel does
    // not count them for the system's root user, for whom the run's own process-id space
    // (at least 300 ids) is the limit.
    std::uint64_t processes = 128;
    // Address space of each process; 0 for none. A step host takes it as what the step may
    // allocate beyond its planes.
    std::uint64_t memoryBytes = std::uint64_t{2} << 30;
    // The largest file a process may write, and the size of its private temporary folder.
    std::uint64_t fileBytes = std::uint64_t{64} << 20;
    // Processor time of each process; 0 for none.
    std::uint64_t cpuSeconds = 0;
    // Printed output, standard output and error together, beyond which it is cut with a note;
    // 0 for none.
    std::uint64_t outputBytes = std::uint64_t{1} << 20;

    bool operator==(const CSealLimits&) const = default;
};

struct CSealPolicy {
    enum class View {
        // The whole file system, read-only: a step reads what the user can.
        WholeSystem,
        // The system's programs and libraries and the listed paths only, each at its own
        // place: what a student's build and run may see.
        Listed,
    };
    View view = View::WholeSystem;
    std::vector<std::string> readable; // absolute paths, seen read-only (Listed only)
    std::vector<std::string> writable; // absolute paths, seen and writable
    CSealLimits limits;

    bool operator==(const CSealPolicy&) const = default;
};

// vexlan-seal's options for policy, before the "--" that ends them.
std::vector<std::string> SealOptions(const CSealPolicy& policy);

// The policy read back from vexlan-seal's options up to "--"; next is left at the first
// argument after them. Nothing, with problem set, for an option it does not know.
std::optional<CSealPolicy> ReadSealOptions(std::span<const std::string> args, std::size_t& next,
                                           std::string& problem);

// "processes=64,memory=512" (memory and file sizes in MiB, output in KiB, cpu in seconds)
// applied to limits; why not, for a name or value it does not take.
std::optional<std::string> ApplyLimitSettings(const std::string& settings, CSealLimits& limits);
// The settings that give limits, in those units (rounded down).
std::string LimitSettings(const CSealLimits& limits);
