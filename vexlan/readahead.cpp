#include "readahead.h"

#include "pathmap.h"

#include <utility>

namespace {

// Shareable as the view's own planes are (vexlanview.cpp).
CByteBlock NewSharedPlane(std::size_t size, std::size_t pixelBytes) {
    return DEBUG_NEW_SHARED_PLANE(size, pixelBytes);
}

} // namespace

CReadAhead::CReadAhead() : m_worker([this] { Work(); }) {}

CReadAhead::~CReadAhead() {
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void CReadAhead::Start(const std::string& path) {
    {
        std::lock_guard guard(m_lock);
        if (path == m_wanted)
            return;
        GiveUpHeld();
        m_wanted = path;
        m_pending = true;
    }
    m_changed.notify_all();
}

std::optional<CDecodedImage> CReadAhead::Take(const std::string& path, std::FILE* file) {
    std::unique_lock lock(m_lock);
    if (path == m_wanted)
        m_changed.wait(lock, [&] { return m_reading != path; });
    m_wanted.clear();
    m_pending = false;
    if (!m_held || m_held->path != path || StampOf(file) != m_held->stamp) {
        GiveUpHeld();
        return std::nullopt;
    }
    CDecodedImage image = std::move(m_held->image);
    m_held.reset();
    return image;
}

void CReadAhead::Drop() {
    std::lock_guard guard(m_lock);
    m_wanted.clear();
    m_pending = false;
    m_held.reset();
    m_spare = {};
}

void CReadAhead::Recycle(CDecodedImage planes) {
    std::lock_guard guard(m_lock);
    m_spare = std::move(planes);
}

void CReadAhead::Finish() {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [&] { return !m_pending && m_reading.empty(); });
}

void CReadAhead::GiveUpHeld() {
    if (m_held && !m_spare.gray)
        m_spare = std::move(m_held->image);
    m_held.reset();
}

void CReadAhead::Work() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stopping || m_pending; });
        if (m_stopping)
            return;
        m_reading = m_wanted;
        m_pending = false;
        const std::string path = m_reading;
        CDecodedImage spare = std::exchange(m_spare, {});
        lock.unlock();
        std::optional<Held> read = Read(path, std::move(spare));
        lock.lock();
        // Still wanted, and not asked for again meanwhile: held. Otherwise its planes are
        // kept as the spare ones, as long as there are none.
        if (read && m_reading == m_wanted && !m_pending)
            m_held = std::move(read);
        else if (read && !m_spare.gray)
            m_spare = std::move(read->image);
        m_reading.clear();
        m_changed.notify_all();
    }
}

std::optional<CReadAhead::Held> CReadAhead::Read(const std::string& path, CDecodedImage spare) {
    const CFilePtr file(AfxOpenFile(path.c_str(), "rb"));
    if (!file)
        return std::nullopt;
    const std::optional<CFileStamp> stamp = StampOf(file.get());
    const std::unique_ptr<CImageDecoder> decoder = DecoderFor(path);
    if (!stamp || decoder->ReadHeader(file.get()) != CImageDecoder::Result::Decodable ||
        DecodeImage(*decoder, file.get(), spare, NewSharedPlane))
        return std::nullopt;
    return Held{path, *stamp, std::move(spare)};
}
