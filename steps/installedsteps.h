// Steps installed as files (vexlan-step build): found only in the user's step folder and the
// installed system folder, never in an image's folder or the working directory. Each is read
// and run by a process of its own (stepprocess.h).
#pragma once

#include "filestamp.h"
#include "processingstep.h"
#include "stepparameter.h"
#include "stepprocess.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CInstalledStep {
    std::string path;
    std::string name; // the batch name
    std::string menuText;
    std::string prompt;
    std::optional<CFileStamp> stamp;        // changes whenever the file is replaced or rewritten
    std::vector<CStepParameter> parameters; // in the order declared
};

// What reading one step file gave: its step, or why it has none.
struct CStepFileReading {
    std::optional<CFileStamp> stamp;
    std::optional<CInstalledStep> step;
    std::string problem;
};

struct CInstalledSteps {
    std::vector<CInstalledStep> steps; // the user's folder first, each name once
    std::vector<std::string> problems; // the folders and files refused, and why
    // Every step file read, by path: one unchanged since is not read again.
    std::map<std::string, CStepFileReading> readings;

    const CInstalledStep* Find(std::string_view name) const;
    // The step of the file at path, read and trusted, even when its name is taken by another.
    const CInstalledStep* FindFile(const std::string& path) const;
};

// $XDG_DATA_HOME/vexlan/steps, by default ~/.local/share/vexlan/steps.
std::string UserStepFolder();
// <prefix>/lib/vexlan/steps, beside the running program's bin folder.
std::string SystemStepFolder();
std::vector<std::string> StepFolders();

// The steps of the *.so files in folders, in file-name order. A folder or file that another
// user may write, a file whose step was built for another header version or cannot be read,
// and a name already taken are refused with a problem each. Each file is read by a process of
// its own, all at once, so that files whose set-up hangs cost one time limit together; a file
// that known has read and that has not changed since is not read again.
CInstalledSteps FindInstalledSteps(const std::vector<std::string>& folders = StepFolders(),
                                   const CInstalledSteps* known = nullptr);

// Runs step on input with values (one per parameter; none: the defaults) in its own process,
// which writes its result (width * height bytes) straight into result; the planes and result
// are shared blocks (DEBUG_NEW_SHARED_BYTES), result zeroed. A step that runs longer than
// timeoutSeconds is killed, and so is one still running when stopFd becomes readable. The
// step's process takes limits. How it ended; StepEndMessage says what that means.
CStepEnd RunInstalledStep(const CInstalledStep& step, const CStepInput& input, BYTE* result,
                          std::span<const double> values, std::optional<double> timeoutSeconds,
                          int stopFd = -1, const CSealLimits& limits = {});
// Runs it in this process: a debugger stops at the faulting line.
std::optional<std::string> RunInstalledStepHere(const CInstalledStep& step, const CStepInput& input,
                                                BYTE* result, std::span<const double> values);

// Who ran the step, which says what a failed run left behind.
enum class CStepCaller { Program, Runner };
// Nothing for a step that finished; otherwise what happened, naming the step and
// imageHostPath, with the command that repeats the run in a debugger.
std::string StepEndMessage(const std::string& stepName, const CStepEnd& end,
                           const std::string& imageHostPath, CStepCaller caller);
