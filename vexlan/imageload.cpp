#include "imageload.h"

#include "imagesetpaths.h"
#include "readahead.h"

#include <utility>

namespace {

// Decoded while the window waits: a few milliseconds of work, so that what a small image does
// shows at once. Anything larger goes to a thread of its own.
constexpr std::size_t kQuickPixels = std::size_t{1} << 22;
constexpr std::int64_t kQuickFileBytes = std::int64_t{16} << 20;

} // namespace

CImageLoad::CImageLoad(std::string fullName, const std::string& name, CFilePtr file,
                       std::shared_ptr<CReadAhead> readAhead, CZeroedPlaneSource newPlane)
    : m_fullName(std::move(fullName)), m_file(std::move(file)), m_decoder(DecoderFor(name)),
      m_readAhead(std::move(readAhead)), m_newPlane(newPlane) {}

CImageLoad::~CImageLoad() = default;

bool CImageLoad::ReadHeader() {
    if (!m_file.Stream()) {
        m_problem = FileProblemMessage(m_fullName, kTooLargeForMemory);
        return false;
    }
    if (m_decoder->ReadHeader(m_file.Stream()) == CImageDecoder::Result::Decodable)
        return true;
    m_problem = FileProblemMessage(m_fullName, m_decoder->Problem());
    return false;
}

bool CImageLoad::IsQuick() const {
    return m_decoder->GrayPlaneSize() <= kQuickPixels && m_file.Length() <= kQuickFileBytes;
}

bool CImageLoad::Run(CDecodedImage& planes) {
    if (m_readAhead)
        if (std::optional<CDecodedImage> ahead = m_readAhead->Take(m_fullName, m_file.File())) {
            if (planes.gray)
                m_readAhead->Recycle(std::exchange(planes, std::move(*ahead)));
            else
                planes = std::move(*ahead);
            return true;
        }
    const std::optional<std::string> problem =
        DecodeImage(*m_decoder, m_file.Stream(), planes, m_newPlane);
    if (problem)
        m_problem = FileProblemMessage(m_fullName, *problem);
    return !problem;
}
