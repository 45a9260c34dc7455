// The paths the program derives from an image set's entries.
#pragma once

#include "afxtypes.h"

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

// What follows a file's name when its planes cannot be allocated.
constexpr char kTooLargeForMemory[] = "太大，内存放不下";

// "文件 <path> <problem>。", the path as messages show it.
std::string FileProblemMessage(std::string_view systemPath, std::string_view problem);

// The message for an entry whose joined path does not fit the loader's buffer.
std::string PathTooLongMessage(std::string_view directory, std::string_view name);

// Writes plane as the RAW result file at hostPath, where nothing means that the file's drive is
// not mapped. On failure returns the message for the user, naming the file as shownPath.
std::optional<std::string> SaveResultFile(const std::optional<std::string>& hostPath,
                                          std::string_view shownPath, int width, int height,
                                          const BYTE* plane);

// "无法保存结果文件 <shownPath>：<problem>。"
std::string ResultSaveFailure(std::string_view shownPath, std::string_view problem);
