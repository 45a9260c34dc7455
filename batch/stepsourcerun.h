// One step source built and run over the exercise, in a folder of its own that nothing else
// writes: FOLDER/step/ (its build, the XDG_DATA_HOME of vexlan-step), FOLDER/results/ (where
// its run writes), FOLDER/log.txt and FOLDER/record.txt (what the build and run gave, under
// the digest of all they depend on). A student's folder is RUN_DIR/students/NAME, the
// reference's RUN_DIR/reference.
#pragma once

#include "exercise.h"
#include "sealpolicy.h"
#include "steprunrecord.h"

#include <optional>
#include <string>
#include <vector>

// What every build and run of a grade shares.
struct CStepRunSetting {
    std::string stepTool;      // vexlan-step
    std::string runner;        // vexlan-batch
    std::string includeFolder; // the step header's
    const CExercise* exercise = nullptr;
    double timeoutSeconds = 0;         // per image
    std::vector<std::string> settings; // --set NAME=VALUE, the same for every run
    // Each build sealed within these (their processor time is the compiler's), each run too,
    // its steps each within them on every image; none: they run as the user, unsealed.
    std::optional<CSealLimits> limits;
    // A digest of what every run depends on besides its source: Vexlan's version and
    // programs, the header, the exercise's files and images, the time limit, the settings,
    // the limits.
    std::string commonKey;
};

class CStepSourceRun {
public:
    CStepSourceRun(const CStepRunSetting& setting, std::string folder, std::string source);

    // The record kept in the folder by an earlier build and run, when it was made under the
    // same digest, its results beside it: those are used again as they are.
    std::optional<CStepRunRecord> Kept() const;
    // Builds and runs the source afresh. Once stopFd is readable, what is running is ended and
    // the record says interrupted; such a record is not kept.
    CStepRunRecord Run(int stopFd) const;

    std::string ResultsFolder() const;
    std::string LogPath() const;

private:
    std::string Key() const;
    // The step file, or nothing with the record saying why.
    std::optional<std::string> Build(CStepRunRecord& record, class CStudentLog& log,
                                     int stopFd) const;
    void RunStep(const std::string& stepFile, CStepRunRecord& record, CStudentLog& log,
                 int stopFd) const;

    const CStepRunSetting& m_setting;
    std::string m_folder;
    std::string m_source;
};
