// What a file's first bytes say it is, whatever its name: the kinds Vexlan reads, named as
// messages name them, and the checks of their framing that tell a file cut short or damaged
// before a decoder is handed it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

enum class CImageKind { Unknown, Bitmap, Png, Jpeg, Tiff, Gif, WebP, Pbm, Pgm, Ppm };

// Reads the first bytes of file and leaves it at its start.
CImageKind KindOfContent(std::FILE* file);
// "PNG", "JPEG", ...; empty for Unknown.
std::string KindName(CImageKind kind);

struct CFramingProblem {
    bool endedEarly = false; // else the data is damaged
    std::string detail;      // in the file's own terms ("IDAT 块的校验和不符")
};

// Walks the parts of a PNG (chunks and their checksums), a GIF (blocks up to its trailer), a WebP
// (the RIFF length), a TIFF (its first page's directory and data) or a binary netpbm file (its
// samples) from the start of file; nothing when they hold together or the kind has no framing
// to check. Reads through the file in small steps and leaves it anywhere.
std::optional<CFramingProblem> FramingProblem(CImageKind kind, std::FILE* file);

// The same for what a decoder reads with the header alone (a PNG's chunks before its pixel data),
// so that it never meets the end of the file there; leaves file at its start.
std::optional<CFramingProblem> HeaderFramingProblem(CImageKind kind, std::FILE* file);

// The bytes libjpeg keeps for the whole image's coefficients when a JPEG is progressive or
// stored in more than one scan; 0 for one that is decoded a row band at a time, or no JPEG.
// Reads the file's markers and leaves it anywhere.
std::uint64_t JpegCoefficientBytes(std::FILE* file);
