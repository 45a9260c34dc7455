// Runs one processing step over the images of chosen files without the GUI: each chosen
// .bmp, .raw or .lst is opened as File Open opens it, every image it names is loaded as the
// view loads it, and each step's result is written as File Save writes the output plane.
#pragma once

#include "processingstep.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// Runs a step on one image into result (width * height bytes): what went wrong, or nothing.
// imageHostPath names the image in messages.
using CBatchStepRun = std::function<std::optional<std::string>(
    const CStepInput& input, BYTE* result, const std::string& imageHostPath)>;

class CBatchRunner {
public:
    // Results go to "D:\out<stem>.raw" (through the drive mapping), or into the host folder
    // outputDirectory when one is given. Progress goes to out, refusals and failures to err.
    CBatchRunner(const CProcessingStep& step, std::optional<std::string> outputDirectory,
                 std::ostream& out, std::ostream& err);
    CBatchRunner(CBatchStepRun run, std::optional<std::string> outputDirectory, std::ostream& out,
                 std::ostream& err);

    // Adds the images of a chosen file, given as a host path. A file that cannot be opened
    // as an image set is reported, counts as failed and adds nothing.
    void AddChosenFile(const std::string& hostPath);
    // Runs the step on every added image, one line each; returns true when every chosen file
    // was accepted and every image saved.
    bool Run();

private:
    struct Entry {
        std::string directory; // the program's form, as the image set holds it
        std::string name;
    };

    bool RunEntry(const Entry& entry, const std::string& prefix);
    // Where File Save's name for a result ("D:\out<stem>.raw") goes on the host: through the
    // drive mapping, or into the output folder. Nothing for an unmapped drive.
    std::optional<std::string> ResultHostPath(const std::string& resultName) const;

    CBatchStepRun m_run;
    std::optional<std::string> m_outputDirectory;
    std::ostream& m_out;
    std::ostream& m_err;
    std::vector<Entry> m_entries;
    int m_refusedFiles = 0;
};
