// What tells one state of a file from another: a file replaced, or written to, since differs
// in at least one of these. The read-ahead checks a file with it before its planes are used,
// and the view before it runs a rebuilt step again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

struct CFileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const CFileStamp&) const = default;
};

// The stamp of an open file, or of the file at a host path; nothing when the system cannot
// say.
std::optional<CFileStamp> StampOf(std::FILE* file);
std::optional<CFileStamp> StampOf(const std::string& hostPath);
