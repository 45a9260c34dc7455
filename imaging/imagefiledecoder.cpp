#include "imagefiledecoder.h"

#include <cstring>

namespace {

constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;
// libwebp decodes a lossless image into a full-size buffer of its own, and its alpha into
// another.
constexpr std::uint64_t kWebPBufferBytesPerPixel = 5;

std::uint64_t Mebibytes(std::uint64_t bytes) {
    return (bytes + kMebibyte - 1) / kMebibyte;
}

std::uint64_t FileBytes(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0)
        return 0;
    const off_t length = ftello(file);
    std::fseek(file, 0, SEEK_SET);
    return length < 0 ? 0 : static_cast<std::uint64_t>(length);
}

} // namespace

CImageFileDecoder::Result CImageFileDecoder::ReadHeader(std::FILE* file) {
    m_width = m_height = m_bitsPerPixel = 0;
    m_kind = KindOfContent(file);
    m_fileBytes = FileBytes(file);
    if (const std::optional<CFramingProblem> framing = HeaderFramingProblem(m_kind, file)) {
        RefuseData(framing->endedEarly, framing->detail);
        return Result::Refused;
    }
    if (!m_reader.ReadHeader(file)) {
        RefuseHeader(file);
        return Result::Refused;
    }
    // In either orientation, as a bitmap's size is, before anything is decoded.
    const int width = m_reader.Width();
    const int height = m_reader.Height();
    if (!AcceptSize(height, width, m_reader.DeclaresGrayPlane()) ||
        !AcceptSize(width, height, m_reader.DeclaresGrayPlane()))
        return RefuseSize(width, height);
    if (!WithinAllowance(m_reader.DecodedBytes() + DecoderBufferBytes()))
        return Result::Refused;
    return Result::Decodable;
}

bool CImageFileDecoder::AcceptSize(int width, int height, bool grayPlane) {
    return AcceptPlanes(width, height, grayPlane ? 8 : 24, m_maxPlaneBytes);
}

std::uint64_t CImageFileDecoder::DecoderBufferBytes() const {
    if (m_kind != CImageKind::WebP)
        return 0;
    return m_fileBytes + kWebPBufferBytesPerPixel * GrayPlaneSize();
}

bool CImageFileDecoder::WithinAllowance(std::uint64_t decodingBytes) {
    const std::uint64_t needed = PlaneBytes() + decodingBytes;
    if (needed <= m_maxDecodeBytes)
        return true;
    Refuse("尺寸 " + std::to_string(m_width) + " × " + std::to_string(m_height) +
           " 像素，解码要用约 " + std::to_string(Mebibytes(needed)) + " MiB 内存，超过上限 " +
           std::to_string(m_maxDecodeBytes / kMebibyte) + " MiB");
    return false;
}

void CImageFileDecoder::RefuseHeader(std::FILE* file) {
    using Fault = CImageFileReader::HeaderFault;
    // A header cut short says little of its own: the framing tells where the file ends.
    if (const std::optional<CFramingProblem> framing = FramingProblem(m_kind, file))
        RefuseData(framing->endedEarly, framing->detail);
    else if (m_reader.HeaderFailure() == Fault::EndedEarly)
        RefuseData(true, m_reader.DecoderText());
    else if (const std::optional<std::string> other = OtherKind(file))
        Refuse(*other);
    else if (m_reader.HeaderFailure() == Fault::Damaged && m_kind != CImageKind::Unknown)
        RefuseKind(" 文件头已损坏", m_reader.DecoderText());
    else
        Refuse(m_reader.Problem());
}

bool CImageFileDecoder::RefuseData(bool endedEarly, const std::string& detail) {
    return RefuseKind(endedEarly ? " 文件在数据结束之前就结束了" : " 文件的数据已损坏", detail);
}

bool CImageFileDecoder::RefuseKind(const std::string& cause, const std::string& detail) {
    Refuse(KindName(m_kind) + cause + (detail.empty() ? "" : "（" + detail + "）"));
    return false;
}

bool CImageFileDecoder::ReadPixels(std::FILE* file, std::uint8_t* grayPlane,
                                   std::uint8_t* colorPlane, GrayPlane gray) {
    // The reader goes on from where its header ended.
    const off_t readerPosition = ftello(file);
    if (const std::optional<CFramingProblem> framing = FramingProblem(m_kind, file))
        return RefuseData(framing->endedEarly, framing->detail);
    const std::uint64_t coefficients = m_kind == CImageKind::Jpeg ? JpegCoefficientBytes(file) : 0;
    if (readerPosition < 0 || fseeko(file, readerPosition, SEEK_SET) != 0)
        return RefuseData(false, "无法读取文件");
    const std::uint64_t buffers = DecoderBufferBytes() + coefficients;
    if (!WithinAllowance(m_reader.DecodedBytes() + buffers))
        return false;
    // The toolkit's image may take what the planes and the buffers leave.
    switch (m_reader.Decode(m_maxDecodeBytes - PlaneBytes() - buffers)) {
    case CImageFileReader::Outcome::EndedEarly:
        return RefuseData(true, m_reader.DecoderText());
    case CImageFileReader::Outcome::Damaged:
        return RefuseData(false, m_reader.DecoderText());
    case CImageFileReader::Outcome::OutOfMemory:
        Refuse("解码所需的内存超过上限 " + std::to_string(m_maxDecodeBytes / kMebibyte) + " MiB");
        return false;
    case CImageFileReader::Outcome::Decoded:
        break;
    }
    if (m_reader.Width() != m_width || m_reader.Height() != m_height) {
        Refuse("解码出的图像是 " + std::to_string(m_reader.Width()) + " × " +
               std::to_string(m_reader.Height()) + " 像素，与文件头不符");
        return false;
    }
    CopyPlanes(grayPlane, colorPlane, gray);
    m_reader.Release();
    return true;
}

void CImageFileDecoder::CopyPlanes(std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                                   GrayPlane gray) {
    const CImageFileReader::Pixels kind = m_reader.Kind();
    m_grayValues = kind == CImageFileReader::Pixels::GrayLevels       ? CGrayValues::Levels
                   : kind == CImageFileReader::Pixels::PaletteIndices ? CGrayValues::Indices
                                                                      : CGrayValues::None;
    if (GrayPlaneSize() == 0)
        return;
    if (m_grayValues != CGrayValues::None)
        m_reader.CopyGray(grayPlane);
    else if (gray != GrayPlane::Zeroed)
        std::memset(grayPlane, 0, GrayPlaneSize());
    m_reader.CopyBgr(colorPlane);
    const std::size_t used = 3 * GrayPlaneSize();
    std::memset(colorPlane + used, 0, ColorPlaneSize() - used);
}
