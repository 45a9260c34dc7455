// An open file read through a stream that counts how far its reader has come and that fails
// every read once cancelled, so that a decoder on another thread can be followed and stopped
// without knowing it.
#pragma once

#include "pathmap.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

class CTrackedFile {
public:
    // Takes file, which stays open as long as this does. Stream() is null when the system has
    // no stream to give.
    explicit CTrackedFile(CFilePtr file);
    ~CTrackedFile();
    CTrackedFile(const CTrackedFile&) = delete;
    CTrackedFile& operator=(const CTrackedFile&) = delete;

    // The counted stream, for the decoder; the file itself, for its stamp.
    std::FILE* Stream() const { return m_stream; }
    std::FILE* File() const { return m_file.get(); }

    std::int64_t Length() const { return m_length; }
    // How much of the file has been read so far, from 0 to 1; any thread may ask.
    double Progress() const;
    // Makes every further read fail, so that the decoder gives up; any thread may call it.
    void Cancel() { m_cancelled = true; }

private:
    static ssize_t Read(void* cookie, char* buffer, std::size_t size);
    static int Seek(void* cookie, off64_t* offset, int whence);

    CFilePtr m_file;
    std::int64_t m_length = 0;
    std::int64_t m_position = 0; // the reading thread's own
    std::atomic<std::int64_t> m_farthest{0};
    std::atomic<bool> m_cancelled{false};
    std::FILE* m_stream = nullptr;
};
