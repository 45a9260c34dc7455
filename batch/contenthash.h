// A SHA-256 digest of what a grade depends on: a regrade compares it with the one kept beside
// a student's results to know whether they can be used again.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CContentHash {
public:
    CContentHash();

    // Each piece is added with its length before it, so that ("ab", "c") and ("a", "bc") give
    // different digests.
    void Add(std::string_view piece);
    // The bytes of the regular file at hostPath, then their length; false, with a mark of its
    // own added, when it cannot be read (missing, a folder, a FIFO: nothing waits on it).
    bool AddFile(const std::string& hostPath);
    // Bytes as they are, without their length.
    void AddBytes(std::span<const std::uint8_t> bytes);

    // 64 hexadecimal digits; the hash takes nothing more afterwards.
    std::string Hex();

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockUsed = 0;
    std::uint64_t m_totalBytes = 0;
};
