// What a document's Serialize reads from or writes to: an open file and a direction.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <cstdio>

class CArchive {
public:
    enum Mode : UINT { store = 0, load = 1 };

    // The archive does not own the file.
    CArchive(std::FILE* file, Mode mode) : m_pFile(file), m_nMode(mode) {}
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsStoring() const { return m_nMode == store; }
    BOOL IsLoading() const { return m_nMode == load; }

    // Reads up to size bytes; returns how many arrived.
    std::size_t Read(void* buffer, std::size_t size);
    // Writes size bytes; false when the file did not take them all.
    bool Write(const void* buffer, std::size_t size);

private:
    std::FILE* m_pFile;
    Mode m_nMode;
};
