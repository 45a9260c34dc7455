#include "imagedecoder.h"

#include "imagefilekind.h"

#include <climits>

namespace {

std::uint64_t ColorPlaneBytes(std::uint64_t width, std::uint64_t height, std::uint64_t stride,
                              int bitsPerPixel) {
    return bitsPerPixel == 8 ? 3 * width * height : stride * height;
}

} // namespace

std::size_t CImageDecoder::GrayPlaneSize() const {
    return static_cast<std::size_t>(m_width) * m_height;
}

std::size_t CImageDecoder::ColorPlaneSize() const {
    return ColorPlaneBytes(m_width, m_height, Stride(m_width, m_bitsPerPixel), m_bitsPerPixel);
}

bool CImageDecoder::AcceptPlanes(std::int64_t width, std::int64_t height, int bitsPerPixel,
                                 std::uint64_t maxPlaneBytes) {
    if (width < 0 || height < 0 || height > INT32_MAX || width > INT32_MAX / bitsPerPixel)
        return false;
    const int stride = Stride(static_cast<int>(width), bitsPerPixel);
    const std::uint64_t grayBytes = static_cast<std::uint64_t>(width) * height;
    if (grayBytes + ColorPlaneBytes(width, height, stride, bitsPerPixel) > maxPlaneBytes)
        return false;
    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);
    m_bitsPerPixel = bitsPerPixel;
    return true;
}

CImageDecoder::Result CImageDecoder::Refuse(const std::string& reason) {
    m_problem =
        std::string("不是 Vexlan 能读取的") + (m_readsBitmaps ? "位图" : "图像") + "：" + reason;
    return Result::Refused;
}

CImageDecoder::Result CImageDecoder::RefuseSize(std::int64_t width, std::int64_t height) {
    return Refuse("尺寸 " + std::to_string(width) + " × " + std::to_string(height) + " 像素太大");
}

std::optional<std::string> CImageDecoder::OtherKind(std::FILE* file) const {
    const CImageKind kind = KindOfContent(file);
    if (kind == CImageKind::Unknown || (kind == CImageKind::Bitmap) == m_readsBitmaps)
        return std::nullopt;
    if (kind == CImageKind::Bitmap)
        return "它的内容是 BMP 位图，位图要以 .bmp 为扩展名才能打开";
    return "它的内容是 " + KindName(kind) + " 图像";
}
