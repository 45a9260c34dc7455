#include "contenthash.h"

#include <bit>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> kInitialState = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t BigEndianWord(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

std::array<std::uint8_t, 8> BigEndianLength(std::uint64_t value) {
    std::array<std::uint8_t, 8> bytes{};
    for (int i = 0; i < 8; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    return bytes;
}

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& hostPath)
        : m_fd(open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        struct stat status {};
        if (m_fd >= 0 && (fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)))
            Close();
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() { Close(); }
    int Descriptor() const { return m_fd; }

private:
    void Close() {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }
    int m_fd;
};

} // namespace

CContentHash::CContentHash() : m_state(kInitialState) {}

void CContentHash::Add(std::string_view piece) {
    AddBytes(BigEndianLength(piece.size()));
    AddBytes({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
}

bool CContentHash::AddFile(const std::string& hostPath) {
    const ReadOnlyFile file(hostPath);
    if (file.Descriptor() < 0) {
        Add("没有这个文件");
        return false;
    }
    // The length goes after the bytes here: it is known only once they are read.
    std::array<std::uint8_t, 65536> buffer{};
    std::uint64_t length = 0;
    for (;;) {
        const ssize_t got = read(file.Descriptor(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            AddBytes(BigEndianLength(length));
            return got == 0;
        }
        AddBytes({buffer.data(), static_cast<std::size_t>(got)});
        length += static_cast<std::uint64_t>(got);
    }
}

void CContentHash::AddBytes(std::span<const std::uint8_t> bytes) {
    m_totalBytes += bytes.size();
    for (const std::uint8_t byte : bytes) {
        m_block[m_blockUsed++] = byte;
        if (m_blockUsed == m_block.size()) {
            Compress(m_block.data());
            m_blockUsed = 0;
        }
    }
}

void CContentHash::Compress(const std::uint8_t* block) {
    std::array<std::uint32_t, 64> words{};
    for (std::size_t i = 0; i < 16; ++i)
        words[i] = BigEndianWord(block + 4 * i);
    for (std::size_t i = 16; i < 64; ++i) {
        const std::uint32_t s0 =
            std::rotr(words[i - 15], 7) ^ std::rotr(words[i - 15], 18) ^ (words[i - 15] >> 3);
        const std::uint32_t s1 =
            std::rotr(words[i - 2], 17) ^ std::rotr(words[i - 2], 19) ^ (words[i - 2] >> 10);
        words[i] = words[i - 16] + s0 + words[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = m_state;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kRoundConstants[i] + words[i];
        const std::uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + s0 + majority;
    }
    const std::array<std::uint32_t, 8> worked = {a, b, c, d, e, f, g, h};
    for (std::size_t i = 0; i < 8; ++i)
        m_state[i] += worked[i];
}

std::string CContentHash::Hex() {
    const std::uint64_t bits = m_totalBytes * 8;
    const std::uint8_t marker = 0x80;
    AddBytes({&marker, 1});
    const std::uint8_t zero = 0;
    while (m_blockUsed != 56)
        AddBytes({&zero, 1});
    AddBytes(BigEndianLength(bits));
    std::string hex;
    for (const std::uint32_t word : m_state) {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", word);
        hex += text;
    }
    return hex;
}
