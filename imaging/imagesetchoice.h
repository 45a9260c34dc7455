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

// The open dialog's filter of these kinds, 所有图像 first: every kind, then each on its own.
constexpr char kImageSetFilter[] =
    "所有图像\0*.lst;*.raw;*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.pgm;*.ppm;*.pbm;*.gif;*.webp\0"
    "图像列表\0*.lst\0"
    "位图\0*.bmp;*.raw\0"
    "PNG 图像\0*.png\0"
    "JPEG 图像\0*.jpg;*.jpeg\0"
    "TIFF 图像\0*.tif;*.tiff\0"
    "PGM、PPM、PBM 图像\0*.pgm;*.ppm;*.pbm\0"
    "GIF 图像\0*.gif\0"
    "WebP 图像\0*.webp\0";

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
