#include "trackedfile.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

} // namespace

CTrackedFile::CTrackedFile(CFilePtr file) : m_file(std::move(file)) {
    struct stat status {};
    if (!m_file || fstat(fileno(m_file.get()), &status) != 0)
        return;
    m_length = status.st_size;
    m_stream =
        fopencookie(this, "rb", {&CTrackedFile::Read, nullptr, &CTrackedFile::Seek, nullptr});
    // The decoders read in blocks of their own; the stream should pass them on in few calls.
    if (m_stream)
        std::setvbuf(m_stream, nullptr, _IOFBF, kBufferBytes);
}

CTrackedFile::~CTrackedFile() {
    if (m_stream)
        std::fclose(m_stream);
}

double CTrackedFile::Progress() const {
    if (m_length <= 0)
        return 0;
    return std::min(1.0, static_cast<double>(m_farthest) / static_cast<double>(m_length));
}

ssize_t CTrackedFile::Read(void* cookie, char* buffer, std::size_t size) {
    auto& tracked = *static_cast<CTrackedFile*>(cookie);
    if (tracked.m_cancelled) {
        errno = ECANCELED;
        return -1;
    }
    ssize_t got = 0;
    do
        got = pread(fileno(tracked.m_file.get()), buffer, size, tracked.m_position);
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        tracked.m_position += got;
        tracked.m_farthest = std::max<std::int64_t>(tracked.m_farthest, tracked.m_position);
    }
    return got;
}

int CTrackedFile::Seek(void* cookie, off64_t* offset, int whence) {
    auto& tracked = *static_cast<CTrackedFile*>(cookie);
    const std::int64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? tracked.m_position
                                                   : tracked.m_length;
    if (base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    tracked.m_position = base + *offset;
    *offset = tracked.m_position;
    return 0;
}
