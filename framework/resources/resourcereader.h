// Bounded little-endian reads over the bytes of one stored resource; private to the class
// layer. A read past the end yields zeros and leaves the reader failed for good, so a parser
// reads a whole structure and checks Ok() once.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <span>
#include <string>

class CResourceReader {
public:
    explicit CResourceReader(std::span<const BYTE> data) : m_data(data) {}

    bool Ok() const { return !m_failed; }
    std::size_t Position() const { return m_pos; }

    std::span<const BYTE> Bytes(std::size_t count) {
        if (m_failed || count > m_data.size() - m_pos) {
            m_failed = true;
            return {};
        }
        m_pos += count;
        return m_data.subspan(m_pos - count, count);
    }
    BYTE Byte() {
        const auto bytes = Bytes(1);
        return bytes.empty() ? BYTE{0} : bytes[0];
    }
    WORD Word() {
        const auto bytes = Bytes(2);
        return bytes.empty() ? WORD{0} : static_cast<WORD>(bytes[0] | bytes[1] << 8);
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    LONG Long() { return static_cast<LONG>(Dword()); }

    // A zero-terminated UTF-16 text, without its terminator.
    std::u16string Text() {
        std::u16string text;
        for (WORD c = Word(); c != 0 && Ok(); c = Word())
            text.push_back(static_cast<char16_t>(c));
        return text;
    }

    // Structures in a template start on a 4-byte boundary of the whole resource; the last
    // one's padding may be missing.
    void AlignToDword() {
        const std::size_t aligned = (m_pos + 3) & ~std::size_t{3};
        m_pos = aligned < m_data.size() ? aligned : m_data.size();
    }

private:
    std::span<const BYTE> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};
