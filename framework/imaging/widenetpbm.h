// Binary PGM and PPM files of more than eight bits a sample. The toolkit reads them too, but
// drops the low bits; here each sample becomes round(sample * 255 / maxval), as the sixteen-bit
// samples of every other kind do.
#pragma once

#include <QIODevice>
#include <QImage>

#include <optional>

struct CWideNetpbm {
    int width = 0;
    int height = 0;
    int maxval = 0;
    int channels = 0; // 1 for P5, 3 for P6
    qint64 dataOffset = 0;
};

// The header at the start of device, when it is a P5 or P6 file with a maxval above 255.
std::optional<CWideNetpbm> ReadWideNetpbmHeader(QIODevice& device);
// Reads the samples into a Grayscale8 or RGB32 image; false when the file ends before them or
// the image cannot be allocated.
bool ReadWideNetpbm(QIODevice& device, const CWideNetpbm& header, QImage& image);
