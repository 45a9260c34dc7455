// A file named on the runner's command line, taken as File Open takes the file chosen in its
// dialog, and where the runner puts the result of each of its images. Grading works out the
// images and results of a run the same way, before the run.
#pragma once

#include "imagesetchoice.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CChosenFile {
    std::string hostPath; // absolute
    CImageSetChoice imageSet;
};

// Nothing, with message set to the sentence for the user, when the file cannot be taken.
std::optional<CChosenFile> OpenChosenFile(const std::string& hostPath, std::string& message);

// The folders and name of a path below its drive's root ("D:\out\a.raw": "out", "a.raw"),
// both separators splitting. As at the root of a drive, ".." goes no higher than the root.
std::vector<std::string> PartsBelowRoot(std::string_view path);
