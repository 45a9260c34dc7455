// Reads one image ahead of the view, on a thread of its own and into planes of its own: the
// list entry that the next step will most likely load. The view takes the planes when it loads
// that entry, as long as the file is still the one that was read; it never waits for a read of
// another file, and a file that cannot be read ahead is simply not held.
#pragma once

#include "decodedimage.h"
#include "filestamp.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class CReadAhead {
public:
    CReadAhead();
    // Waits for a read in flight.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // Reads the file at path (the program's own form) unless it is already held or being read;
    // whatever else was held is given up.
    void Start(const std::string& path);
    // The image read from path, when file, just opened on path, is still the file that was
    // read. Waits for a read of path in flight. Whatever is held is given up either way.
    std::optional<CDecodedImage> Take(const std::string& path, std::FILE* file);
    // Gives up what is held, and what is being read once it is done.
    void Drop();
    // Planes their holder no longer needs: the next read decodes into them when it can.
    void Recycle(CDecodedImage planes);
    // Waits until no read is in flight.
    void Finish();

private:
    struct Held {
        std::string path;
        CFileStamp stamp;
        CDecodedImage image;
    };

    void Work();
    // Reads path into spare's planes or new ones; nothing when it cannot be decoded.
    static std::optional<Held> Read(const std::string& path, CDecodedImage spare);
    // Keeps what was held as the spare planes, unless there are some already.
    void GiveUpHeld();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_wanted;   // empty when nothing is wanted
    bool m_pending = false; // m_wanted waits for the worker
    std::string m_reading;  // what the worker reads now; empty when it is idle
    std::optional<Held> m_held;
    CDecodedImage m_spare;
    bool m_stopping = false;
    std::thread m_worker; // last, so that it starts once the members above exist
};
