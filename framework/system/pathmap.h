// The program keeps paths in its own form: backslashes, and an optional drive letter.
// These map them to host paths, only where a file is opened, created or shown.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// "X:\a\b" becomes "$VEXLAN_DRIVE_X/a/b" (drive D: is the working directory while its
// variable is unset); every other backslash becomes '/'. Nothing for an unmapped drive.
std::optional<std::string> AfxHostPath(std::string_view systemPath);

// A host path in the program's form: every '/' becomes a backslash. Nothing when the
// host name holds a backslash, which the program's form cannot represent.
std::optional<std::string> AfxSystemPath(std::string_view hostPath);

// A path as messages show it: the host path, and for a path on a drive both forms, such as
// "D:\outx.raw (/home/me/lab/outx.raw)". An unmapped drive leaves the program's form alone.
std::string AfxPathForMessage(std::string_view systemPath);

// The refusal of a host name that holds a backslash, which AfxSystemPath cannot take.
std::string AfxBackslashNameMessage(std::string_view hostName);

// fopen on the mapped path; null (errno ENOENT) for an unmapped drive. The file must be a
// regular file, and is opened without blocking: a FIFO, socket, device or folder would
// otherwise hang the only thread, be read as garbage or swallow what is written. Those fail
// with errno ENXIO, or EISDIR for a folder, and are never truncated.
std::FILE* AfxOpenFile(const char* systemPath, const char* mode);

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;
