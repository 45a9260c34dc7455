// RAW result files: the width and the height, each a 32-bit little-endian signed integer,
// then width * height bytes of a one-byte-per-pixel plane, rows top-down.
#pragma once

#include "afxtypes.h"
#include "debugalloc.h"
#include "imagedecoder.h"

#include <optional>
#include <span>
#include <string>

// Writes the file at hostPath (a host path, not the program's own form) through a temporary
// file in the target's directory that is renamed over the target only once it is complete, so
// a failed or interrupted write neither leaves a cut-off file nor loses the previous one.
// A symbolic link at hostPath is followed and the file it leads to is replaced; the link stays.
// A new file gets the permissions that fopen would give it, a replaced one keeps its own. An
// existing target the user may not write, or one that is read-only, a folder or not a regular
// file, is refused and left as it is. When width or height is zero or less only the header is
// written. On failure returns false, removes the temporary file and sets problem to the reason,
// a phrase in the user's language (no final stop) taken from the system's error.
bool WriteRawResultFile(const std::string& hostPath, int width, int height, const BYTE* plane,
                        std::string& problem);

// Writes bytes as the whole file at hostPath with the same care, for a result's other files
// (its PNG). No bytes is a failure: an encoder that made nothing must not replace a file.
bool WriteFileReplacing(const std::string& hostPath, std::span<const BYTE> bytes,
                        std::string& problem);

// A RAW result file read back: its size and its plane, byte for byte as written.
struct CRawResult {
    int width = 0;
    int height = 0;
    CByteBlock plane; // width * height bytes
};

// The most pixels a result file read back may have: those of an 8-bit image whose planes fill
// the planes' limit, so that a result and its image fit it alike, and every index into the plane
// fits an int.
constexpr std::uint64_t kMaxResultPixels = kMaxPlaneBytes / 4;

// Reads the RAW result file at hostPath. Only a regular file is read, and only one whose length
// is exactly 8 + width * height with a width and a height above zero and at most
// kMaxResultPixels pixels; the size and the length are checked before anything is allocated.
// On failure returns nothing and sets problem to the reason, a phrase in the user's language
// (no final stop); a size refused is told as an image's is ("尺寸 W × H 像素太大").
std::optional<CRawResult> ReadRawResultFile(const std::string& hostPath, std::string& problem);
