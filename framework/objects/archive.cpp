#include "archive.h"

std::size_t CArchive::Read(void* buffer, std::size_t size) {
    return IsLoading() ? std::fread(buffer, 1, size, m_pFile) : 0;
}

bool CArchive::Write(const void* buffer, std::size_t size) {
    return IsStoring() && std::fwrite(buffer, 1, size, m_pFile) == size;
}
