#include "chosenfile.h"

#include "pathmap.h"

#include <filesystem>

std::optional<CChosenFile> OpenChosenFile(const std::string& hostPath, std::string& message) {
    // The file dialog hands the program an absolute path in the program's own form.
    std::error_code error;
    const std::string absolute =
        std::filesystem::absolute(hostPath, error).lexically_normal().string();
    const std::optional<std::string> systemPath = AfxSystemPath(absolute);
    if (error || !systemPath) {
        message = AfxBackslashNameMessage(hostPath);
        return std::nullopt;
    }
    std::optional<CImageSetChoice> choice = ReadImageSetChoice(*systemPath, message);
    if (!choice)
        return std::nullopt;
    return CChosenFile{absolute, std::move(*choice)};
}

std::vector<std::string> PartsBelowRoot(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':')
        path.remove_prefix(2);
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t end = std::min(path.find_first_of("\\/"), path.size());
        const std::string_view part = path.substr(0, end);
        path.remove_prefix(std::min(end + 1, path.size()));
        if (part == ".." && !parts.empty())
            parts.pop_back();
        else if (!part.empty() && part != "." && part != "..")
            parts.emplace_back(part);
    }
    return parts;
}
