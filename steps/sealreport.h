// What vexlan-seal leaves in its status file for the program that launched it: how the sealed
// program ended ("end WAITSTATUS"), or why the seal could not be set up ("setup PROBLEM").
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kSealEnd = "end ";
inline constexpr std::string_view kSealSetup = "setup ";

inline std::string SealEndReport(int waitStatus) {
    return std::string(kSealEnd) + std::to_string(waitStatus);
}

inline std::string SealSetupReport(const std::string& problem) {
    return std::string(kSealSetup) + problem;
}

// The wait status of an "end" report.
inline std::optional<int> SealEndStatus(std::string_view report) {
    if (!report.starts_with(kSealEnd))
        return std::nullopt;
    report.remove_prefix(kSealEnd.size());
    int status = 0;
    const auto [end, error] = std::from_chars(report.data(), report.data() + report.size(), status);
    return error == std::errc() && end == report.data() + report.size() ? std::optional(status)
                                                                        : std::nullopt;
}

// The problem of a "setup" report; empty for any other.
inline std::string SealSetupProblem(std::string_view report) {
    return report.starts_with(kSealSetup) ? std::string(report.substr(kSealSetup.size()))
                                          : std::string();
}
