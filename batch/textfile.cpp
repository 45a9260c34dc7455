#include "textfile.h"

#include "rawresultfile.h"

#include <filesystem>
#include <fstream>
#include <sstream>

std::optional<std::string> ReadTextFile(const std::string& path, std::uintmax_t maxBytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > maxBytes || error)
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file)
        return std::nullopt;
    return text.str();
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& problem) {
    std::string reason;
    if (WriteFileReplacing(path, {reinterpret_cast<const BYTE*>(text.data()), text.size()}, reason))
        return true;
    problem = "无法写出 " + path + "：" + reason + "。";
    return false;
}
