#include "widenetpbm.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

namespace {

constexpr int kLargestMaxval = 65535;

// The header's fields: decimal numbers between white space and comments running to the line's
// end, the last followed by one white space character.
class HeaderReader {
public:
    explicit HeaderReader(QIODevice& device) : m_device(device) {}

    std::optional<int> Number() {
        char c = 0;
        while (Next(c) && (std::isspace(static_cast<unsigned char>(c)) || c == '#'))
            if (c == '#')
                while (Next(c) && c != '\n' && c != '\r') {
                }
        long long value = 0;
        bool digits = false;
        while (std::isdigit(static_cast<unsigned char>(c)) && value <= kLargestMaxval * 1000LL) {
            value = value * 10 + (c - '0');
            digits = true;
            if (!Next(c))
                return std::nullopt;
        }
        if (!digits || !std::isspace(static_cast<unsigned char>(c)) || value > INT_MAX)
            return std::nullopt;
        return static_cast<int>(value);
    }

private:
    bool Next(char& c) { return m_device.getChar(&c); }

    QIODevice& m_device;
};

unsigned Sample(const unsigned char* bytes) {
    return static_cast<unsigned>(bytes[0]) << 8 | bytes[1];
}

} // namespace

std::optional<CWideNetpbm> ReadWideNetpbmHeader(QIODevice& device) {
    char magic[2] = {};
    if (!device.seek(0) || device.read(magic, 2) != 2 || magic[0] != 'P' ||
        (magic[1] != '5' && magic[1] != '6'))
        return std::nullopt;
    HeaderReader reader(device);
    const std::optional<int> width = reader.Number();
    const std::optional<int> height = width ? reader.Number() : std::nullopt;
    const std::optional<int> maxval = height ? reader.Number() : std::nullopt;
    if (!maxval || *maxval <= 255 || *maxval > kLargestMaxval || *width <= 0 || *height <= 0)
        return std::nullopt;
    return CWideNetpbm{*width, *height, *maxval, magic[1] == '5' ? 1 : 3, device.pos()};
}

bool ReadWideNetpbm(QIODevice& device, const CWideNetpbm& header, QImage& image) {
    const bool gray = header.channels == 1;
    image = QImage(header.width, header.height,
                   gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull() || !device.seek(header.dataOffset))
        return false;
    const qint64 rowBytes = qint64{2} * header.channels * header.width;
    std::vector<unsigned char> row(static_cast<std::size_t>(rowBytes));
    const unsigned maxval = static_cast<unsigned>(header.maxval);
    const auto scaled = [maxval](const unsigned char* bytes) {
        const unsigned sample = std::min(Sample(bytes), maxval);
        return (sample * 255 + maxval / 2) / maxval;
    };
    for (int y = 0; y < header.height; ++y) {
        if (device.read(reinterpret_cast<char*>(row.data()), rowBytes) != rowBytes)
            return false;
        uchar* line = image.scanLine(y);
        for (int x = 0; x < header.width; ++x) {
            const unsigned char* samples = row.data() + std::size_t{2} * header.channels * x;
            if (gray)
                line[x] = static_cast<uchar>(scaled(samples));
            else
                reinterpret_cast<QRgb*>(line)[x] =
                    qRgb(scaled(samples), scaled(samples + 2), scaled(samples + 4));
        }
    }
    return true;
}
