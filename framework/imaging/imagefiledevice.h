// An open file as the toolkit's image reader reads it: unbuffered, so that the reader's own
// reads reach it as they are, and telling whether the reader asked for bytes past the end,
// which is how a file that ends before its data shows itself.
#pragma once

#include <QIODevice>

#include <cstdio>

class CImageFileDevice : public QIODevice {
public:
    // Reads file from its start; it stays the caller's and must stay open while read.
    bool Open(std::FILE* file);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }
    bool seek(qint64 position) override;
    // Whether a read asked for bytes at or past the end of the file.
    bool ReadPastEnd() const { return m_readPastEnd; }
    // Whether a read got fewer bytes than it asked for, the end of the file coming first.
    bool ShortRead() const { return m_shortRead; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::FILE* m_file = nullptr;
    qint64 m_length = 0;
    qint64 m_position = 0;
    bool m_readPastEnd = false;
    bool m_shortRead = false;
};
