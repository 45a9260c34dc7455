#include "imagesetchoice.h"

#include "imagelist.h"
#include "imagesetpaths.h"
#include "pathmap.h"
#include "systemerror.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

std::string ListProblemMessage(std::string_view systemPath, std::string_view problem) {
    return "列表文件 " + AfxPathForMessage(systemPath) + " " + std::string(problem) + "。";
}

std::optional<CImageSetChoice> SplitSingleFile(const std::string& path, std::string& message) {
    // The split is at the last backslash before the kind's three letters.
    const auto split = path.find_last_of('\\', path.size() - 3);
    if (split == std::string::npos) {
        message = FileProblemMessage(path, "不在任何文件夹中");
        return std::nullopt;
    }
    CImageSetChoice choice{path.substr(0, split), {path.substr(split + 1)}, 0};
    // The joined path is the tighter limit on the directory: it leaves at most 117 characters.
    if (choice.names[0].size() > kImageListMaxName)
        message = FileProblemMessage(path, "的名称超过 99 个字节");
    else if (!JoinEntryPath(choice.directory, choice.names[0]))
        message = PathTooLongMessage(choice.directory, choice.names[0]);
    else
        return choice;
    return std::nullopt;
}

std::optional<CImageSetChoice> ReadList(const std::string& path, std::string& message) {
    const CFilePtr file(AfxOpenFile(path.c_str(), "rb"));
    if (!file) {
        message = ListProblemMessage(path, "无法打开：" + AfxSystemErrorPhrase(errno));
        return std::nullopt;
    }
    std::string problem;
    std::optional<CImageList> list = ReadImageList(file.get(), problem);
    if (!list) {
        message = ListProblemMessage(path, problem);
        return std::nullopt;
    }
    return CImageSetChoice{std::move(list->directory), std::move(list->names), list->count};
}

} // namespace

CChosenKind KindOfChosenFile(std::string_view systemPath) {
    if (systemPath.size() < 3)
        return CChosenKind::Other;
    const std::string_view last = systemPath.substr(systemPath.size() - 3);
    if (last == "raw")
        return CChosenKind::Raw;
    if (last == "lst")
        return CChosenKind::List;
    if (last == "bmp")
        return CChosenKind::Bitmap;
    return NamesImageFile(systemPath) ? CChosenKind::Image : CChosenKind::Other;
}

bool NamesImageFile(std::string_view name) {
    static constexpr std::string_view kEndings[] = {"png", "jpg", "jpeg", "tif", "tiff",
                                                    "pgm", "ppm", "pbm",  "gif", "webp"};
    const auto endsIn = [name](std::string_view ending) {
        return name.size() >= ending.size() &&
               std::ranges::equal(
                   name.substr(name.size() - ending.size()), ending,
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    return std::ranges::any_of(kEndings, endsIn);
}

std::optional<CImageSetChoice> ReadImageSetChoice(const std::string& systemPath,
                                                  std::string& message) {
    switch (KindOfChosenFile(systemPath)) {
    case CChosenKind::Raw:
    case CChosenKind::Bitmap:
    case CChosenKind::Image:
        return SplitSingleFile(systemPath, message);
    case CChosenKind::List:
        return ReadList(systemPath, message);
    case CChosenKind::Other:
        break;
    }
    message = FileProblemMessage(systemPath, "不是 Vexlan 能打开的图像或列表文件");
    return std::nullopt;
}
