// Runs a processing step, or a chain of them, over the images of chosen files without the GUI: each
// chosen image, .raw or .lst is opened as File Open opens it, every image it names is loaded as the
// view loads it, and each step's result is written as File Save writes the output plane.
#pragma once

#include "processingstep.h"

#include "stopsignals.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Runs a step on one image into result (width * height bytes, zeroed, in shared memory like
// the image's planes): what went wrong, or nothing. imageHostPath names the image in messages;
// stopFd becomes readable when a stop signal comes, and a step that can be stopped then stops.
using CBatchStepRun = std::function<std::optional<std::string>(
    const CStepInput& input, BYTE* result, const std::string& imageHostPath, int stopFd)>;

class CBatchRunner {
public:
    // Results go to "D:\out<stem>.raw" (through the drive mapping), or, when outputDirectory
    // is given, to the same name with that host folder in place of the root of drive D:.
    // Progress goes to out, refusals and failures to err.
    CBatchRunner(CBatchStepRun run, std::optional<std::string> outputDirectory, std::ostream& out,
                 std::ostream& err);

    // Adds the images of a chosen file, given as a host path. A file that cannot be opened
    // as an image set is reported, counts as failed and adds nothing.
    void AddChosenFile(const std::string& hostPath);
    // Also writes each result as an 8-bit gray PNG beside its RAW file (out<stem>.png).
    void WritePngBeside(bool write) { m_writePng = write; }
    // A stop signal that comes while a step runs ends the run at once, with the same line: for
    // a step run in this process, which never looks at the signals.
    void StopStepsAtOnce(bool atOnce) { m_stopStepsAtOnce = atOnce; }
    // Names each result by name(entry name) in place of File Save's "D:\out<stem>.raw".
    void NameResults(std::function<std::string(const std::string&)> name) {
        m_resultName = std::move(name);
    }
    // Runs the step on every added image, one line each; returns true when every chosen file
    // was accepted and every image saved. A result is never written over one of the run's
    // inputs nor over a result the run has already written. SIGINT, SIGTERM and SIGHUP stop the
    // run between two images, with one line that says where.
    bool Run();
    // The signal that stopped the last run, or 0.
    int StopSignal() const { return m_stopSignal; }

private:
    struct Entry {
        std::string directory; // the program's form, as the image set holds it
        std::string name;
    };
    using FileIdentity = std::pair<std::uint64_t, std::uint64_t>; // device, inode

    enum class Outcome { Saved, Failed, Stopped };

    void RememberInputs();
    // Stopped when a stop signal came while the step ran: nothing is written for the image.
    // entriesRun and saved count the images before this one.
    Outcome RunEntry(std::size_t entriesRun, int saved, CStopSignals& stopSignals);
    // Where File Save's name for a result ("D:\out<stem>.raw") goes on the host: through the
    // drive mapping, or below the output folder. Nothing for an unmapped drive.
    std::optional<std::string> ResultHostPath(const std::string& resultName) const;
    // Why the run must not write the result at hostPath, if it must not.
    std::optional<std::string> OverwriteRefusal(const std::string& hostPath) const;
    void ReportStop(std::size_t entriesRun, int saved) const;
    std::string StopLine(int signal, std::size_t entriesRun, int saved) const;
    // How messages name a result file: as File Save names it, or its host path under -o.
    std::string ShownPath(const std::string& resultName,
                          const std::optional<std::string>& hostPath) const;
    // Writes the PNG beside the RAW file resultName; its name as shown, or why it failed.
    bool SavePng(const std::string& resultName, int width, int height, const BYTE* result,
                 std::string& shownOrProblem) const;

    CBatchStepRun m_run;
    std::optional<std::string> m_outputDirectory;
    std::ostream& m_out;
    std::ostream& m_err;
    std::vector<Entry> m_entries;
    std::vector<std::string> m_chosenFiles; // host paths
    int m_refusedFiles = 0;
    bool m_writePng = false;
    bool m_stopStepsAtOnce = false;
    std::function<std::string(const std::string&)> m_resultName;
    int m_stopSignal = 0;
    std::set<FileIdentity> m_inputs;               // each file the run reads
    std::map<FileIdentity, std::string> m_written; // each result, with its image's name
};
