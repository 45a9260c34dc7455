#include "rawresultfile.h"

#include "systemerror.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kHeaderSize = 8;
// The kernel's own limit on links followed in one lookup.
constexpr int kMostLinksFollowed = 40;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// Failures the system does not report through errno, and permission errors told apart by where
// they happen.
constexpr int kReadOnlyFile = -1;
constexpr int kNotARegularFile = -2;
constexpr int kFileNotWritable = -3;
constexpr int kFolderNotWritable = -4;

std::string ReasonFor(int error) {
    switch (error) {
    case kReadOnlyFile:
        return "文件是只读的";
    case kNotARegularFile:
        return "同名的对象不是普通文件";
    case kFileNotWritable:
        return "没有写入这个文件的权限";
    case kFolderNotWritable:
        return "没有在这个文件夹中写入的权限";
    default:
        return AfxSystemErrorPhrase(error);
    }
}

// A permission error on the file, or on the folder where the temporary file goes.
int PermissionOf(int error, int permission) {
    return error == EACCES || error == EPERM ? permission : error;
}

bool Fail(int error, std::string& problem) {
    problem = ReasonFor(error);
    return false;
}

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

// A relative link is read from the folder that holds the link.
std::string LinkDestination(const std::string& link, const std::string& content) {
    const std::size_t slash = link.rfind('/');
    if ((!content.empty() && content.front() == '/') || slash == std::string::npos)
        return content;
    return link.substr(0, slash + 1) + content;
}

// Follows a chain of symbolic links at path to the name that is not one (it need not exist), as
// opening the path for writing would. The folders on the way are left to the system.
std::optional<std::string> FollowLinks(std::string path, int& error) {
    for (int followed = 0; followed <= kMostLinksFollowed; ++followed) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        std::array<char, PATH_MAX> content{};
        const ssize_t length = readlink(path.c_str(), content.data(), content.size());
        if (length < 0 || static_cast<std::size_t>(length) >= content.size()) {
            error = length < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        path = LinkDestination(path, std::string(content.data(), static_cast<std::size_t>(length)));
    }
    error = ELOOP;
    return std::nullopt;
}

// Zero when the existing target may be replaced (or there is none), else why not. The user's
// protections hold even for a user the system would let through: a file nobody may write is
// read-only on purpose, and only a regular file is ever replaced (a rename over a device or a
// pipe would take it away).
int RefusalOfTarget(const std::string& target, std::optional<struct stat>& existing) {
    struct stat status {};
    if (stat(target.c_str(), &status) != 0)
        return errno == ENOENT ? 0 : PermissionOf(errno, kFolderNotWritable);
    if (S_ISDIR(status.st_mode))
        return EISDIR;
    if (!S_ISREG(status.st_mode))
        return kNotARegularFile;
    if (access(target.c_str(), W_OK) != 0)
        return PermissionOf(errno, kFileNotWritable);
    if ((status.st_mode & kAnyWriteBit) == 0)
        return kReadOnlyFile;
    existing = status;
    return 0;
}

// Created exclusively, so that an unrelated file is never reused, and with the mode that fopen
// asks for, so that the umask applies to it as it would to the target. Removed when it goes,
// unless it has become the target.
class TemporaryFile {
public:
    TemporaryFile(std::string path, int descriptor)
        : m_path(std::move(path)), m_descriptor(descriptor) {}
    TemporaryFile(TemporaryFile&& other) noexcept
        : m_path(std::move(other.m_path)), m_descriptor(std::exchange(other.m_descriptor, -1)),
          m_renamed(std::exchange(other.m_renamed, true)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    ~TemporaryFile() {
        if (m_descriptor >= 0)
            close(m_descriptor);
        if (!m_renamed)
            unlink(m_path.c_str());
    }

    static std::optional<TemporaryFile> CreateBeside(const std::string& target, int& error) {
        const std::string stem = target + ".tmp" + std::to_string(getpid()) + "_";
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            std::string path = stem + std::to_string(attempt);
            const int descriptor =
                open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor >= 0)
                return TemporaryFile(std::move(path), descriptor);
            if (errno != EEXIST)
                break;
        }
        error = PermissionOf(errno, kFolderNotWritable);
        return std::nullopt;
    }

    // Owner and mode of the file it replaces. A courtesy: where the system refuses them (an
    // ordinary user cannot give a file away), the result is still worth saving.
    void TakeOwnerAndModeOf(const struct stat& target) const {
        static_cast<void>(fchown(m_descriptor, target.st_uid, target.st_gid));
        static_cast<void>(fchmod(m_descriptor, target.st_mode & 07777));
    }

    // Zero or the error. The data is synced and the file closed before it is renamed, so that
    // after a crash the target holds either the old or the whole new contents.
    int Write(const BYTE* bytes, std::size_t size) const {
        while (size > 0) {
            const ssize_t written = ::write(m_descriptor, bytes, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return written < 0 ? errno : EIO;
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
        return 0;
    }
    int SyncAndClose() {
        const int synced = fsync(m_descriptor) == 0 ? 0 : errno;
        const int closed = close(std::exchange(m_descriptor, -1)) == 0 ? 0 : errno;
        return synced != 0 ? synced : closed;
    }
    int RenameTo(const std::string& target) {
        if (std::rename(m_path.c_str(), target.c_str()) != 0)
            return PermissionOf(errno, kFolderNotWritable);
        m_renamed = true;
        return 0;
    }

private:
    std::string m_path;
    int m_descriptor;
    bool m_renamed = false;
};

int WriteContents(TemporaryFile& file, std::span<const std::span<const BYTE>> parts) {
    for (const std::span<const BYTE> part : parts)
        if (const int error = file.Write(part.data(), part.size()))
            return error;
    return file.SyncAndClose();
}

bool WriteParts(const std::string& hostPath, std::span<const std::span<const BYTE>> parts,
                std::string& problem) {
    int error = 0;
    const std::optional<std::string> target = FollowLinks(hostPath, error);
    if (!target)
        return Fail(error, problem);
    std::optional<struct stat> existing;
    if (const int refusal = RefusalOfTarget(*target, existing))
        return Fail(refusal, problem);
    std::optional<TemporaryFile> temporary = TemporaryFile::CreateBeside(*target, error);
    if (!temporary)
        return Fail(error, problem);
    if (existing)
        temporary->TakeOwnerAndModeOf(*existing);
    if (const int failure = WriteContents(*temporary, parts))
        return Fail(failure, problem);
    if (const int failure = temporary->RenameTo(*target))
        return Fail(failure, problem);
    return true;
}

// Reads exactly size bytes; the error, or EIO when the file ends before them.
int ReadExactly(int descriptor, BYTE* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(descriptor, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return 0;
}

std::int32_t FieldAt(const std::array<BYTE, kHeaderSize>& header, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::uint32_t{header[offset + i]} << (8 * i);
    return static_cast<std::int32_t>(value);
}

std::optional<CRawResult> Refuse(std::string& problem, std::string reason) {
    problem = std::move(reason);
    return std::nullopt;
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_descriptor >= 0)
            close(m_descriptor);
    }
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

} // namespace

bool WriteRawResultFile(const std::string& hostPath, int width, int height, const BYTE* plane,
                        std::string& problem) {
    const std::array<BYTE, kHeaderSize> header = Header(width, height);
    const std::span<const BYTE> parts[] = {header, {plane, PixelCount(width, height)}};
    return WriteParts(hostPath, parts, problem);
}

bool WriteFileReplacing(const std::string& hostPath, std::span<const BYTE> bytes,
                        std::string& problem) {
    if (bytes.empty()) {
        problem = "没有生成任何内容，原有的文件保持不变";
        return false;
    }
    const std::span<const BYTE> parts[] = {bytes};
    return WriteParts(hostPath, parts, problem);
}

std::optional<CRawResult> ReadRawResultFile(const std::string& hostPath, std::string& problem) {
    // Without O_NONBLOCK a FIFO would wait for a writer before it could be refused.
    const Descriptor file(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || fstat(file.get(), &status) != 0)
        return Refuse(problem, "无法打开：" + AfxSystemErrorPhrase(errno));
    if (!S_ISREG(status.st_mode))
        return Refuse(problem, "无法打开：不是普通文件");
    const auto length = static_cast<std::uint64_t>(status.st_size);
    if (length < kHeaderSize)
        return Refuse(problem, "文件头不完整：只有 " + std::to_string(length) + " 字节");
    std::array<BYTE, kHeaderSize> header{};
    if (const int error = ReadExactly(file.get(), header.data(), header.size()))
        return Refuse(problem, "无法读取：" + AfxSystemErrorPhrase(error));
    const std::int32_t width = FieldAt(header, 0);
    const std::int32_t height = FieldAt(header, 4);
    if (width < 0 || height < 0)
        return Refuse(problem,
                      "文件头损坏：宽 " + std::to_string(width) + "，高 " + std::to_string(height));
    const std::string size = "尺寸 " + std::to_string(width) + " × " + std::to_string(height);
    if (width == 0 || height == 0)
        return Refuse(problem, size + " 像素，没有一个像素");
    // Both below 2^31, so the product fits 64 bits.
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    if (pixels > kMaxResultPixels)
        return Refuse(problem, size + " 像素太大");
    if (length != kHeaderSize + pixels)
        return Refuse(problem, std::to_string(width) + "×" + std::to_string(height) +
                                   " 的结果文件应有 " + std::to_string(kHeaderSize + pixels) +
                                   " 字节，实际是 " + std::to_string(length) + " 字节");
    CRawResult result{width, height, DEBUG_NEW_BYTES(pixels)};
    if (!result.plane)
        return Refuse(problem, "太大，内存放不下");
    if (const int error = ReadExactly(file.get(), result.plane.get(), pixels))
        return Refuse(problem, "无法读取：" + AfxSystemErrorPhrase(error));
    return result;
}
