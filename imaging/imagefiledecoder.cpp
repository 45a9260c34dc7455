#include "imagefiledecoder.h"

#include <cstring>

CImageFileDecoder::Result CImageFileDecoder::ReadHeader(std::FILE* file) {
    m_width = m_height = m_bitsPerPixel = 0;
    // Until it is decoded, an image counts as colour: a 24-bit bitmap's planes are the larger.
    if (!m_reader.ReadHeader(file))
        return Refuse(m_reader.Problem());
    // Checked before decoding, as a bitmap's size is, in either orientation: the file may
    // say that the image is to be turned upright.
    const int width = m_reader.Width();
    const int height = m_reader.Height();
    if (!AcceptSize(width, height) || !AcceptSize(height, width))
        return RefuseSize(width, height);
    // A 16-bit image with alpha takes eight bytes a pixel while it is decoded.
    if (!m_reader.Decode(2 * m_maxPlaneBytes))
        return Refuse(m_reader.Problem());
    if (!AcceptSize(m_reader.Width(), m_reader.Height()))
        return RefuseSize(m_reader.Width(), m_reader.Height());
    return Result::Decodable;
}

bool CImageFileDecoder::AcceptSize(int width, int height) {
    const bool color = m_reader.Kind() == CImageFileReader::Pixels::ColorOnly;
    return AcceptPlanes(width, height, color ? 24 : 8, m_maxPlaneBytes);
}

void CImageFileDecoder::ReadPixels(std::FILE*, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                                   GrayPlane gray) const {
    if (GrayPlaneSize() == 0)
        return;
    if (m_bitsPerPixel == 8) {
        m_reader.CopyGray(grayPlane);
    } else if (gray != GrayPlane::Zeroed) {
        std::memset(grayPlane, 0, GrayPlaneSize());
    }
    m_reader.CopyBgr(colorPlane);
    const std::size_t used = 3 * GrayPlaneSize();
    std::memset(colorPlane + used, 0, ColorPlaneSize() - used);
}
