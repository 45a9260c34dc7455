// The paths the program derives from an image set's entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The longest path the loader's buffer holds with its terminator.
constexpr std::size_t kMaxEntryPath = 119;

// directory + '\' + name, or nothing when that is longer than kMaxEntryPath.
std::optional<std::string> JoinEntryPath(std::string_view directory, std::string_view name);

// The RAW result file of an entry: "D:\out<stem>.raw", the stem being the name up to its first
// '.'. Joined, not formatted: a '%' in the name is copied as it is.
std::string ResultFileName(std::string_view entryName);

// "文件 <path> <problem>。", the path as messages show it.
std::string FileProblemMessage(std::string_view systemPath, std::string_view problem);

// The message for a joined path that does not fit the loader's buffer.
std::string PathTooLongMessage(std::string_view systemPath);
