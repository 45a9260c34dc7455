// Steps installed as files (vexlan-step build): found only in the user's step folder and the
// installed system folder, never in an image's folder or the working directory. Each is read
// and run by a process of its own (stepprocess.h).
#pragma once

#include "filestamp.h"
#include "processingstep.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CInstalledStep {
    std::string path;
    std::string name; // the batch name
    std::string menuText;
    std::string prompt;
    std::optional<CFileStamp> stamp; // changes whenever the file is replaced or rewritten
};

struct CInstalledSteps {
    std::vector<CInstalledStep> steps; // the user's folder first, each name once
    std::vector<std::string> problems; // the folders and files refused, and why

    const CInstalledStep* Find(std::string_view name) const;
};

// $XDG_DATA_HOME/vexlan/steps, by default ~/.local/share/vexlan/steps.
std::string UserStepFolder();
// <prefix>/lib/vexlan/steps, beside the running program's bin folder.
std::string SystemStepFolder();
std::vector<std::string> StepFolders();

// The steps of the *.so files in folders, in file-name order. A folder or file that another
// user may write, a file whose step was built for another header version or cannot be read,
// and a name already taken are refused with a problem each.
CInstalledSteps FindInstalledSteps(const std::vector<std::string>& folders = StepFolders());

// Runs step on input in its own process, which writes its result (width * height bytes)
// straight into result; the planes and result are shared blocks (DEBUG_NEW_SHARED_BYTES),
// result zeroed. A step that runs longer than timeoutSeconds is killed. Nothing when it ran; what
// happened otherwise, naming the step and imageHostPath, with the command that repeats the
// run in a debugger.
std::optional<std::string> RunInstalledStep(const CInstalledStep& step, const CStepInput& input,
                                            BYTE* result, std::optional<double> timeoutSeconds,
                                            const std::string& imageHostPath);
// Runs it in this process: a debugger stops at the faulting line.
std::optional<std::string> RunInstalledStepHere(const CInstalledStep& step, const CStepInput& input,
                                                BYTE* result);

struct CStepEnd;
std::string StepEndMessage(const std::string& stepName, const CStepEnd& end,
                           const std::string& imageHostPath);
