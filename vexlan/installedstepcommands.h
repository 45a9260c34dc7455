// The steps installed as files, as the window offers them: listed under 颜色 below 颜色分割 and
// followed live; the one chosen runs in its own process while the window goes on, with a host
// started ahead while the program is idle; the status bar names it and Esc ends it. A step
// runs with the values kept for it, on the image or, in a chain, on the result shown; new
// values run it again at once on the same input, ending a run they make stale.
#pragma once

#include "installedsteps.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CBackgroundTask;
class CFolderWatch;
class CFrameWnd;
class CReadyStepHost;
class CRunningStep;
class CVexlanView;
struct CStepRun;

class CInstalledStepCommands {
public:
    explicit CInstalledStepCommands(CVexlanView& view);
    ~CInstalledStepCommands();
    CInstalledStepCommands(const CInstalledStepCommands&) = delete;
    CInstalledStepCommands& operator=(const CInstalledStepCommands&) = delete;

    // Follows the step folders from now on, and lists what they hold once they have been read
    // on a thread of their own.
    void Watch();
    // Lists the steps the folders hold now, says once which were refused, and runs the step
    // whose result is shown again when its file was replaced.
    void Update();
    const CInstalledSteps& Steps() const { return m_installedSteps; }

    // The step of a menu command from ID_FIRST_INSTALLED_STEP on.
    void RunCommand(UINT commandId);
    // Starts step in its own process and returns; its result is taken as a built-in step's.
    void Run(const CInstalledStep& step);
    // Runs the step of the result shown again, on the same input, with values; a run still
    // going is ended first without a word.
    void RunAgain(const std::vector<double>& values);
    bool IsRunning() const { return m_pRunningStep != nullptr; }
    // Ends the running step, if any, and says so: its result would belong to what is replaced.
    void EndRunning();
    // What the status bar says while a step runs; empty while none does.
    std::string RunningNotice() const;
    // The status bar's idle text: the running step, else the chain of the result shown.
    void ShowIdleText();

    // While the program is idle: keeps the values of the last result in the settings, and
    // starts the process of the next step with the planes of its input in place, so that
    // choosing a step, or a new value, costs the step alone.
    void PrepareWhileIdle();
    // Waits until the host started ahead, if any, has its planes in place.
    void FinishPreparing();

private:
    // Lists the steps found, as Update says.
    void Show(CInstalledSteps found);
    void Start(CStepRun run);
    // Writes the values of the last result into the settings, if they are not there yet.
    void KeepValues();
    void OnEnded();
    // Says once, where the system cannot seal a step off, that it runs without.
    void TellIfUnsealed();
    // The planes as a step gets them, once moved to memory that its process can map.
    std::optional<CStepInput> SharedStepInput();
    // The input of the run most likely next: the shown step's again while it has parameters,
    // else a step chosen next.
    std::optional<CStepInput> InputToPrepare();
    CFrameWnd* Frame() const;

    CVexlanView& m_view;
    CInstalledSteps m_installedSteps;
    std::unique_ptr<CFolderWatch> m_pFolderWatch;
    std::unique_ptr<CBackgroundTask> m_pFirstReading;
    std::unique_ptr<CRunningStep> m_pRunningStep;
    std::unique_ptr<CReadyStepHost> m_pReadyHost;
    std::string m_idleText;                   // as last set
    std::unique_ptr<CStepRun> m_valuesToKeep; // the step and values of the last result
    // Whether the user was told that steps run without their seal here.
    bool m_toldUnsealed = false;
};
