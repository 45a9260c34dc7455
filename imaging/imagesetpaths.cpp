#include "imagesetpaths.h"

#include "pathmap.h"
#include "rawresultfile.h"

namespace {

std::string Joined(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '\\';
    path += name;
    return path;
}

} // namespace

std::optional<std::string> JoinEntryPath(std::string_view directory, std::string_view name) {
    std::string path = Joined(directory, name);
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

std::string PathTooLongMessage(std::string_view directory, std::string_view name) {
    return FileProblemMessage(Joined(directory, name), "的完整路径超过 119 个字节，无法打开");
}

std::optional<std::string> SaveResultFile(const std::optional<std::string>& hostPath,
                                          std::string_view shownPath, int width, int height,
                                          const BYTE* plane) {
    std::string problem = "驱动器 D: 没有对应的文件夹";
    if (hostPath && WriteRawResultFile(*hostPath, width, height, plane, problem))
        return std::nullopt;
    return ResultSaveFailure(shownPath, problem);
}

std::string ResultSaveFailure(std::string_view shownPath, std::string_view problem) {
    return "无法保存结果文件 " + std::string(shownPath) + "：" + std::string(problem) + "。";
}
