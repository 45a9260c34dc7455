#include "imagesetpaths.h"

#include "pathmap.h"

std::optional<std::string> JoinEntryPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '\\';
    path += name;
    if (path.size() > kMaxEntryPath)
        return std::nullopt;
    return path;
}

std::string ResultFileName(std::string_view entryName) {
    return "D:\\out" + std::string(entryName.substr(0, entryName.find('.'))) + ".raw";
}

std::string FileProblemMessage(std::string_view systemPath, std::string_view problem) {
    return "文件 " + AfxPathForMessage(systemPath) + " " + std::string(problem) + "。";
}

std::string PathTooLongMessage(std::string_view systemPath) {
    return FileProblemMessage(systemPath, "的完整路径超过 119 个字符，无法打开");
}
