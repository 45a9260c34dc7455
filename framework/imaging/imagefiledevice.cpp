#include "imagefiledevice.h"

bool CImageFileDevice::Open(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    const off_t length = ftello(file);
    if (length < 0 || fseeko(file, 0, SEEK_SET) != 0)
        return false;
    m_file = file;
    m_length = length;
    m_position = 0;
    m_readPastEnd = false;
    m_shortRead = false;
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool CImageFileDevice::seek(qint64 position) {
    if (position < 0 || !QIODevice::seek(position) || fseeko(m_file, position, SEEK_SET) != 0)
        return false;
    m_position = position;
    return true;
}

qint64 CImageFileDevice::readData(char* data, qint64 maxSize) {
    if (maxSize <= 0)
        return 0;
    if (m_position >= m_length)
        m_readPastEnd = true;
    const std::size_t got = std::fread(data, 1, static_cast<std::size_t>(maxSize), m_file);
    m_position += static_cast<qint64>(got);
    if (got == 0 && std::ferror(m_file))
        return -1;
    m_shortRead = m_shortRead || got < static_cast<std::size_t>(maxSize);
    return static_cast<qint64>(got);
}
