// What building and running one step source gave, kept beside its results under a digest of
// everything it depends on: a regrade whose digest is the same takes the record and the results
// as they are instead of building and running again.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CImageRun {
    enum class Kind { NotReported, Saved, Failed, TimedOut };

    Kind kind = Kind::NotReported;
    std::string detail; // the runner's line for a failure or a time-out
    double seconds = 0; // from the line before to this image's line
};

struct CStepRunRecord {
    std::string key; // the digest of what the run depends on
    bool built = false;
    std::string buildProblem;      // the compiler's first error
    std::vector<CImageRun> images; // by the run's order: images[i] is "[i+1/N]"
    // Why images have no line of their own: the runner refused the step, or the whole run
    // passed its time limit.
    std::string runProblem;
    bool runTimedOut = false;
    double seconds = 0; // the run's, not the build's

    // What the run said of image runIndex ("[runIndex/N]"); NotReported when nothing.
    CImageRun Image(int runIndex) const;

    // Not kept: how this record came to be.
    bool reused = false;
    bool interrupted = false;
};

// The record as text, one field a line, and back. A text that is not a whole record (cut off,
// edited, of another version) gives nothing, and the step is built and run again.
std::string StepRunRecordText(const CStepRunRecord& record);
std::optional<CStepRunRecord> ParseStepRunRecord(const std::string& text);
