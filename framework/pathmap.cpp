#include "pathmap.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

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

std::FILE* AfxOpenFile(const char* systemPath, const char* mode) {
    const auto host = AfxHostPath(systemPath);
    if (!host) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(host->c_str(), mode);
}
