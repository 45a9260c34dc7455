#include "pathmap.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool HasDriveLetter(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::optional<std::string> DriveDirectory(char letter) {
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const std::string variable = std::string("VEXLAN_DRIVE_") + drive;
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) {
        std::string directory = mapped;
        while (directory.size() > 1 && directory.back() == '/')
            directory.pop_back();
        return directory;
    }
    if (drive == 'D') {
        std::error_code error;
        auto cwd = std::filesystem::current_path(error);
        if (!error)
            return cwd.string();
    }
    return std::nullopt;
}

std::string WithSlashes(std::string_view path) {
    std::string host(path);
    for (char& c : host)
        if (c == '\\')
            c = '/';
    return host;
}

} // namespace

std::optional<std::string> AfxHostPath(std::string_view systemPath) {
    if (!HasDriveLetter(systemPath))
        return WithSlashes(systemPath);
    auto directory = DriveDirectory(systemPath[0]);
    if (!directory)
        return std::nullopt;
    std::string_view rest = systemPath.substr(2);
    while (!rest.empty() && rest.front() == '\\')
        rest.remove_prefix(1);
    if (rest.empty())
        return directory;
    if (directory->back() != '/')
        directory->push_back('/');
    return *directory + WithSlashes(rest);
}

std::optional<std::string> AfxSystemPath(std::string_view hostPath) {
    if (hostPath.find('\\') != std::string_view::npos)
        return std::nullopt;
    std::string path(hostPath);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string AfxBackslashNameMessage(std::string_view hostName) {
    return "名称 " + std::string(hostName) + " 含有反斜杠，Vexlan 无法使用。";
}

std::string AfxPathForMessage(std::string_view systemPath) {
    const auto host = AfxHostPath(systemPath);
    if (!host)
        return std::string(systemPath);
    if (!HasDriveLetter(systemPath))
        return *host;
    return std::string(systemPath) + " (" + *host + ")";
}

namespace {

// The open() flags of an fopen mode, less O_TRUNC: only a file known to be regular is cut.
int OpenFlags(std::string_view mode) {
    const bool update = mode.find('+') != std::string_view::npos;
    const int access = update ? O_RDWR : (mode[0] == 'r' ? O_RDONLY : O_WRONLY);
    switch (mode[0]) {
    case 'w':
        return access | O_CREAT;
    case 'a':
        return access | O_CREAT | O_APPEND;
    default:
        return access;
    }
}

// Zero when the open file is a regular one, else why it is refused.
int RefusalOfOpenFile(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
    return 0;
}

// O_NONBLOCK keeps open() itself from waiting for a FIFO's other end; once the file is known to
// be regular, blocking transfers are what the stream expects.
std::FILE* OpenRegularFile(const std::string& hostPath, const char* mode) {
    const int descriptor =
        open(hostPath.c_str(), OpenFlags(mode) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return nullptr;
    int problem = RefusalOfOpenFile(descriptor);
    if (problem == 0 && mode[0] == 'w' && ftruncate(descriptor, 0) != 0)
        problem = errno;
    if (problem == 0 && fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
        problem = errno;
    std::FILE* file = problem == 0 ? fdopen(descriptor, mode) : nullptr;
    if (!file) {
        problem = problem == 0 ? errno : problem;
        close(descriptor);
        errno = problem;
    }
    return file;
}

} // namespace

std::FILE* AfxOpenFile(const char* systemPath, const char* mode) {
    const auto host = AfxHostPath(systemPath);
    if (!host) {
        errno = ENOENT;
        return nullptr;
    }
    return OpenRegularFile(*host, mode);
}
