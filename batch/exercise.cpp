#include "exercise.h"

#include "chosenfile.h"
#include "contenthash.h"
#include "imagesetpaths.h"
#include "pathmap.h"

#include <set>

namespace {

std::string JoinedBelowRoot(const std::string& path) {
    std::string joined;
    for (const std::string& part : PartsBelowRoot(path))
        joined += (joined.empty() ? "" : "/") + part;
    return joined;
}

} // namespace

std::optional<CExercise> CExercise::Read(const std::vector<std::string>& files,
                                         std::string& problem) {
    CExercise exercise;
    std::set<std::string> results;
    for (const std::string& file : files) {
        const std::optional<CChosenFile> chosen = OpenChosenFile(file, problem);
        if (!chosen)
            return std::nullopt;
        exercise.m_files.push_back(chosen->hostPath);
        for (const std::string& name : chosen->imageSet.names) {
            const int runIndex = ++exercise.m_runCount;
            const std::string resultName = JoinedBelowRoot(ResultFileName(name));
            if (!results.insert(resultName).second)
                continue;
            const std::optional<std::string> systemPath =
                JoinEntryPath(chosen->imageSet.directory, name);
            const std::optional<std::string> hostPath =
                systemPath ? AfxHostPath(*systemPath) : std::nullopt;
            exercise.m_images.push_back({name, hostPath.value_or(""), resultName, runIndex});
        }
    }
    return exercise;
}

std::string CExercise::Digest() const {
    CContentHash hash;
    for (const std::string& file : m_files) {
        hash.Add(file);
        hash.AddFile(file);
    }
    for (const CExerciseImage& image : m_images) {
        hash.Add(image.name);
        hash.AddFile(image.hostPath);
    }
    return hash.Hex();
}
