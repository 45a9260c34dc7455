// Where an object's Dump writes its diagnostic description.
#pragma once

#include <iosfwd>

class CDumpContext {
public:
    explicit CDumpContext(std::ostream* stream = nullptr);

    CDumpContext& operator<<(const char* text);
    CDumpContext& operator<<(const void* pointer);
    CDumpContext& operator<<(long long value);
    CDumpContext& operator<<(int value) { return *this << static_cast<long long>(value); }

private:
    std::ostream* m_pStream;
};
