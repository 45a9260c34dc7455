// PNG files read with libpng itself rather than through the toolkit's reader, whose libpng
// writes its errors to standard error: here every error and warning goes with the other
// decoders' words (CDecoderMessages), a damaged or cancelled file is refused quietly, and the
// pixels come out in the toolkit's image formats that the reader's copies take.
#pragma once

#include <QIODevice>
#include <QImage>

#include <memory>

class CPngFile {
public:
    // Reads from device, from where it stands (the start of the file).
    explicit CPngFile(QIODevice& device);
    ~CPngFile();
    CPngFile(const CPngFile&) = delete;
    CPngFile& operator=(const CPngFile&) = delete;

    // Reads up to the pixel data. False when the header cannot be read.
    bool ReadHeader();
    int Width() const;
    int Height() const;
    // The format Read gives.
    QImage::Format Format() const;
    // Reads the pixels into a new image of Format(); false when the data is damaged or cut
    // short, the reading is cancelled, or the image would take more than maxBytes.
    bool Read(QImage& image, std::size_t maxBytes);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
