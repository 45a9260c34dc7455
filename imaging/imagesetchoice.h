// What a chosen file makes of the image set. It is worked out whole before the workspace is
// touched, so that a refusal leaves the image set that was open before.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Told apart by the last three characters of the chosen path, case-sensitively; then, for
// Image, by the ending of the names that NamesImageFile takes.
enum class CChosenKind { Raw, List, Bitmap, Image, Other };

CChosenKind KindOfChosenFile(std::string_view systemPath);

// Whether a name ends in png, jpg, jpeg, tif, tiff, pgm, ppm, pbm, gif or webp, in any case:
// the image files read by the toolkit's image reader rather than as bitmaps.
bool NamesImageFile(std::string_view name);

struct CImageSetChoice {
    std::string directory;
    std::vector<std::string> names;
    // The list's count; 0 for a single file.
    int fileCount = 0;
};

// The image set of a chosen .raw, .bmp, .lst or image file (in the program's path form): a single
// file is split at its last backslash, a list is read. Everything is checked against the
// workspace's buffers: a directory of at most 119 characters, names of at most 99, and for a
// single file a joined path of at most 119. A refusal returns nothing and sets message to a
// whole sentence for the user.
std::optional<CImageSetChoice> ReadImageSetChoice(const std::string& systemPath,
                                                  std::string& message);
