#include "pngencoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QThread>

std::vector<std::uint8_t> EncodePng(int width, int height, const std::uint8_t* pixels,
                                    CPngPixels kind) {
    if (width <= 0 || height <= 0 || pixels == nullptr)
        return {};
    const bool gray = kind == CPngPixels::Gray8;
    const qsizetype bytesPerLine = qsizetype{width} * (gray ? 1 : 3);
    // Over the caller's pixels, without a copy: the image is only read.
    const QImage image(pixels, width, height, bytesPerLine,
                       gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return {};
    return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
}

void PrepareEncodingOnThreads() {
    QThread::currentThread();
    QImageWriter::supportedImageFormats();
}
