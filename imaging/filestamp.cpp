#include "filestamp.h"

#include <sys/stat.h>

namespace {

CFileStamp StampFrom(const struct stat& status) {
    return CFileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec,
                      status.st_mtim.tv_nsec};
}

} // namespace

std::optional<CFileStamp> StampOf(std::FILE* file) {
    struct stat status {};
    if (fstat(fileno(file), &status) != 0)
        return std::nullopt;
    return StampFrom(status);
}

std::optional<CFileStamp> StampOf(const std::string& hostPath) {
    struct stat status {};
    if (stat(hostPath.c_str(), &status) != 0)
        return std::nullopt;
    return StampFrom(status);
}
