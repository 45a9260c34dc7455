// Small text files of a grade read and written whole: records, logs, tables and the report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The regular file at path, when it holds at most maxBytes; nothing when it does not, cannot be
// read or is not there.
std::optional<std::string> ReadTextFile(const std::string& path, std::uintmax_t maxBytes);

// Writes text as the whole file at path, never leaving it cut off (WriteFileReplacing); false,
// with problem set to a sentence, when it cannot.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& problem);
