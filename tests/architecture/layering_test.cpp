// The source tree's layering: every folder is a library that includes only from the folders
// below it, the runner and the program never include each other, only the layer over Qt
// includes Qt, and the programs without a window link no widgets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = VEXLAN_SOURCE_DIR;

// Each folder and the folders whose headers it may include, itself included.
const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"framework", {"framework"}},
    {"imaging", {"imaging", "framework"}},
    {"steps", {"steps", "imaging", "framework", "include"}},
    {"batch", {"batch", "steps", "imaging", "framework", "include"}},
    {"vexlan", {"vexlan", "steps", "imaging", "framework"}},
    {"include", {"include"}},
};

bool IsSource(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".h" || ext == ".cpp" || ext == ".c";
}

std::vector<fs::path> SourcesUnder(const std::string& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(kSource / folder))
        if (entry.is_regular_file() && IsSource(entry.path()))
            files.push_back(entry.path());
    return files;
}

// The folders that hold a header of each name; a name should stand in one.
std::map<std::string, std::set<std::string>> HeaderOwners() {
    std::map<std::string, std::set<std::string>> owners;
    for (const auto& [folder, allowed] : kMayInclude)
        for (const fs::path& file : SourcesUnder(folder))
            if (file.extension() == ".h")
                owners[file.filename().string()].insert(folder);
    return owners;
}

struct Include {
    bool quoted;
    std::string name;
};

std::vector<Include> IncludesOf(const fs::path& file) {
    static const std::regex directive(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> includes;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (std::smatch match; std::regex_search(line, match, directive))
            includes.push_back({match[1] == "\"", match[2]});
    return includes;
}

bool IsQtHeader(const std::string& name) {
    return name.starts_with("Q") || name.starts_with("Qt");
}

TEST(Layering, EveryFolderIncludesOnlyFromItselfAndTheFoldersBelowIt) {
    const auto owners = HeaderOwners();
    for (const auto& [folder, allowed] : kMayInclude)
        for (const fs::path& file : SourcesUnder(folder))
            for (const Include& include : IncludesOf(file)) {
                SCOPED_TRACE(fs::relative(file, kSource).string() + " includes " + include.name);
                if (!include.quoted) {
                    EXPECT_TRUE(folder == "framework" || !IsQtHeader(include.name))
                        << "only framework/ includes Qt";
                    continue;
                }
                const fs::path name = fs::path(include.name).filename();
                if (fs::exists(file.parent_path() / include.name))
                    continue; // beside the includer, in its own folder
                const auto found = owners.find(name.string());
                ASSERT_NE(found, owners.end()) << "no folder holds this header";
                ASSERT_EQ(found->second.size(), 1u) << "several folders hold a header of this name";
                EXPECT_TRUE(allowed.contains(*found->second.begin()))
                    << "from " << *found->second.begin() << "/, which " << folder << "/ lies below";
            }
}

// The dynamic libraries a program names, as readelf lists them.
std::string NeededLibraries(const std::string& program) {
    const std::string command = "readelf -d '" + program + "'";
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string needed;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()))
        if (std::string(line).find("(NEEDED)") != std::string::npos)
            needed += line;
    return needed;
}

TEST(Layering, TheRunnerAndTheStepHostLinkNoWindow) {
    for (const std::string program : {VEXLAN_BATCH_PROGRAM, VEXLAN_STEP_HOST_PROGRAM}) {
        SCOPED_TRACE(program);
        const std::string needed = NeededLibraries(program);
        ASSERT_NE(needed.find("libc.so"), std::string::npos) << "readelf gave no list";
        EXPECT_EQ(needed.find("Qt6Widgets"), std::string::npos);
    }
    EXPECT_NE(NeededLibraries(VEXLAN_PROGRAM).find("Qt6Widgets"), std::string::npos)
        << "the check would pass whatever the programs link";
    // The seal starts with every sealed run: no toolkit at all.
    EXPECT_EQ(NeededLibraries(VEXLAN_SEAL_PROGRAM).find("Qt6"), std::string::npos);
}

} // namespace
