#include "classfolder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// Longer names leave no room for the endings of the files made from them.
constexpr std::size_t kMaxNameBytes = 200;

bool IsStepSource(const fs::path& path) {
    std::string ending = path.extension().string();
    std::ranges::transform(ending, ending.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return ending == ".c" || ending == ".cpp" || ending == ".cc" || ending == ".cxx";
}

bool HasControlCharacter(const std::string& name) {
    return std::ranges::any_of(name, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

// Why a name cannot stand for a student, if it cannot.
std::optional<std::string> NameProblem(const std::string& entryName, const std::string& name) {
    if (entryName.starts_with("."))
        return "隐藏的文件或文件夹，不评分";
    if (HasControlCharacter(entryName))
        return "名称中有换行符或其他控制字符，成绩的行和表格无法表示它，请改名";
    if (entryName.find('\\') != std::string::npos)
        return "名称中有反斜杠，Vexlan 的路径无法表示它，请改名";
    if (name.empty() || name.size() > kMaxNameBytes)
        return "名称为空或太长（最多 " + std::to_string(kMaxNameBytes) + " 字节），请改名";
    return std::nullopt;
}

bool IsInside(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(path, error);
    if (error)
        return false;
    const auto [end, inside] =
        std::mismatch(folder.begin(), folder.end(), real.begin(), real.end());
    return end == folder.end() && inside != real.end();
}

class ClassFolderReader {
public:
    explicit ClassFolderReader(const fs::path& folder) {
        std::error_code error;
        m_folder = fs::canonical(folder, error);
    }

    CClassEntry Read(const fs::directory_entry& entry) const {
        const std::string entryName = entry.path().filename().string();
        std::error_code error;
        const bool folder = entry.is_directory(error);
        const std::string name = folder ? entryName : entry.path().stem().string();
        if (const std::optional<std::string> problem = NameProblem(entryName, name))
            return Refused(entryName, *problem);
        if (!IsInside(entry.path(), m_folder))
            return Refused(entryName, "是指向学生文件夹之外的符号链接，不跟随");
        if (folder)
            return ReadStudentFolder(entry.path(), name);
        if (!IsStepSource(entry.path()))
            return Refused(entryName, "不是步骤源文件（.c、.cpp、.cc 或 .cxx）");
        if (!entry.is_regular_file(error))
            return Refused(entryName, "不是普通文件");
        return {name, entry.path().string(), {}};
    }

private:
    static CClassEntry Refused(const std::string& entryName, const std::string& problem) {
        return {VisibleName(entryName), {}, problem};
    }

    CClassEntry ReadStudentFolder(const fs::path& path, const std::string& name) const {
        std::vector<fs::path> sources;
        std::error_code error;
        for (fs::directory_iterator file(path, error), end; !error && file != end;
             file.increment(error)) {
            std::error_code kind;
            if (IsStepSource(file->path()) && !file->path().filename().string().starts_with(".") &&
                file->is_regular_file(kind))
                sources.push_back(file->path());
        }
        if (error)
            return Refused(name, "无法读取这个文件夹");
        if (sources.size() != 1)
            return {name,
                    {},
                    sources.empty()
                        ? "文件夹中没有步骤源文件（.c、.cpp、.cc 或 .cxx）"
                        : "文件夹中有 " + std::to_string(sources.size()) + " 个源文件，应只有一个"};
        if (!IsInside(sources.front(), m_folder))
            return {name, {}, "源文件是指向学生文件夹之外的符号链接，不跟随"};
        return {name, sources.front().string(), {}};
    }

    fs::path m_folder;
};

// Two sources of one name cannot both be that student's: neither is graded.
void RefuseNamesTwice(std::vector<CClassEntry>& entries, const std::vector<std::string>& files) {
    std::map<std::string, std::vector<std::size_t>> byName;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].source.empty())
            byName[entries[i].name].push_back(i);
    for (const auto& [name, indices] : byName) {
        if (indices.size() < 2)
            continue;
        std::string all;
        for (const std::size_t i : indices)
            all += (all.empty() ? "" : "、") + files[i];
        for (const std::size_t i : indices)
            entries[i] = {files[i], {}, "同一名学生有几个源文件（" + all + "），应只有一个"};
    }
}

} // namespace

std::string VisibleName(const std::string& name) {
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else
            shown += c;
    }
    return shown;
}

std::optional<std::vector<CClassEntry>> ReadClassFolder(const std::string& folder,
                                                        std::string& problem) {
    std::vector<fs::directory_entry> found;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        found.push_back(*entry);
    if (error || found.empty()) {
        problem = error ? "无法读取学生文件夹 " + folder + "。"
                        : "学生文件夹 " + folder +
                              " 是空的（每名学生一个 NAME.cpp，或一个文件夹 NAME）。";
        return std::nullopt;
    }
    std::ranges::sort(found, {}, [](const fs::directory_entry& e) { return e.path().filename(); });
    const ClassFolderReader reader(folder);
    std::vector<CClassEntry> entries;
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : found) {
        entries.push_back(reader.Read(entry));
        files.push_back(VisibleName(entry.path().filename().string()));
    }
    RefuseNamesTwice(entries, files);
    std::ranges::stable_sort(entries, {}, &CClassEntry::name);
    return entries;
}
