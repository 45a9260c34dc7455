#include "rawresultfile.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kHeaderSize = 8;

std::array<BYTE, kHeaderSize> Header(int width, int height) {
    const std::uint32_t fields[] = {static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height)};
    std::array<BYTE, kHeaderSize> header{};
    for (std::size_t i = 0; i < kHeaderSize; ++i)
        header[i] = static_cast<BYTE>(fields[i / 4] >> (8 * (i % 4)));
    return header;
}

std::size_t PixelCount(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

struct TemporaryFile {
    std::string path;
    int descriptor = -1;
};

// Created exclusively, so an unrelated file is never reused, and with the mode that fopen
// asks for, so that the umask applies to it as it would to the target.
std::optional<TemporaryFile> CreateTemporaryFile(const std::string& target) {
    const std::string stem = target + ".tmp" + std::to_string(getpid()) + "_";
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        TemporaryFile temporary{stem + std::to_string(attempt)};
        temporary.descriptor =
            open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temporary.descriptor >= 0)
            return temporary;
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

// Truncating a file in place keeps its mode; the replacement should not change it either. This
// is a courtesy: where the file system cannot take the mode, the file is still worth saving.
void TakeModeOfTarget(const std::string& target, int descriptor) {
    struct stat status {};
    if (stat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        static_cast<void>(fchmod(descriptor, status.st_mode & 07777));
}

bool WriteBytes(std::FILE* stream, const BYTE* bytes, std::size_t size) {
    return size == 0 || std::fwrite(bytes, 1, size, stream) == size;
}

// Takes over the descriptor and closes it in every case. The data is synced before the rename,
// so that after a crash the target holds either the old or the whole new contents.
bool WriteContents(int descriptor, int width, int height, const BYTE* plane) {
    std::FILE* stream = fdopen(descriptor, "wb");
    if (!stream) {
        close(descriptor);
        return false;
    }
    const std::array<BYTE, kHeaderSize> header = Header(width, height);
    const bool written = WriteBytes(stream, header.data(), header.size()) &&
                         WriteBytes(stream, plane, PixelCount(width, height)) &&
                         std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
    const bool closed = std::fclose(stream) == 0;
    return written && closed;
}

bool Fail(const TemporaryFile& temporary, const char* phrase, std::string& problem) {
    std::remove(temporary.path.c_str());
    problem = phrase;
    return false;
}

} // namespace

bool WriteRawResultFile(const std::string& hostPath, int width, int height, const BYTE* plane,
                        std::string& problem) {
    const std::optional<TemporaryFile> temporary = CreateTemporaryFile(hostPath);
    if (!temporary) {
        problem = "cannot be created";
        return false;
    }
    TakeModeOfTarget(hostPath, temporary->descriptor);
    if (!WriteContents(temporary->descriptor, width, height, plane))
        return Fail(*temporary, "cannot be written", problem);
    if (std::rename(temporary->path.c_str(), hostPath.c_str()) != 0)
        return Fail(*temporary, "cannot be created", problem);
    return true;
}
