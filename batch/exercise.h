// The exercise of a grade: the files named on the command line, the images they give in the
// order of the run, and the result file the runner writes for each, worked out as the runner
// works them out before anyone's step runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CExerciseImage {
    std::string name;       // as the list gives it: "sub\kitten.bmp"
    std::string hostPath;   // the image file
    std::string resultName; // below a results folder: "outsub/kitten.raw"
    int runIndex = 0;       // its number in the run, from 1: the i of the runner's "[i/N]"
};

class CExercise {
public:
    // Nothing, with problem set to the runner's sentence, when a file cannot be taken.
    static std::optional<CExercise> Read(const std::vector<std::string>& files,
                                         std::string& problem);

    const std::vector<std::string>& Files() const { return m_files; } // absolute
    // Each result once, in the order of the run: of two images that give one result file, the
    // runner writes the first and refuses the second.
    const std::vector<CExerciseImage>& Images() const { return m_images; }
    int RunCount() const { return m_runCount; } // the N of the runner's "[i/N]"
    // A digest of the files and of every image's bytes, so that a changed image is seen.
    std::string Digest() const;

private:
    std::vector<std::string> m_files;
    std::vector<CExerciseImage> m_images;
    int m_runCount = 0;
};
