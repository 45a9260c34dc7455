// Device-independent bitmaps as resources store them (info header, colour table, rows), read
// with bounded reads into toolkit images. Framework-internal.
#pragma once

#include "afxtypes.h"

#include <QImage>

#include <cstddef>
#include <optional>

// The DIB's colour rows; rows is the number of rows to read from the bottom of the stored
// image (0: the header's height). Uncompressed 1, 4 and 8 bits with a colour table, and 24.
std::optional<QImage> AfxImageFromDib(const BYTE* data, std::size_t size, int rows = 0);
