// The steps installed as files, as the window offers them: listed under 颜色 below 颜色分割 and
// followed live; the one chosen runs in its own process while the window goes on, with a host
// started ahead while the program is idle; the status bar names it and Esc ends it.
#pragma once

#include "installedsteps.h"

#include <memory>
#include <optional>
#include <string>

class CBackgroundTask;
class CFolderWatch;
class CFrameWnd;
class CReadyStepHost;
class CRunningStep;
class CVexlanView;

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
    bool IsRunning() const { return m_pRunningStep != nullptr; }
    // Ends the running step, if any, and says so: its result would belong to what is replaced.
    void EndRunning();
    // What the status bar says while a step runs; empty while none does.
    std::string RunningNotice() const;
    // The result shown no longer comes from an installed step.
    void ForgetShownStep() { m_shownStep.reset(); }

    // While the program is idle: starts the process of the next step with the image's planes
    // in place, so that choosing a step costs the step alone.
    void PrepareWhileIdle();

private:
    // Lists the steps found, as Update says.
    void Show(CInstalledSteps found);
    void OnEnded();
    // The planes as a step gets them, once moved to memory that its process can map.
    std::optional<CStepInput> SharedStepInput();
    CFrameWnd* Frame() const;

    CVexlanView& m_view;
    CInstalledSteps m_installedSteps;
    std::unique_ptr<CFolderWatch> m_pFolderWatch;
    std::unique_ptr<CBackgroundTask> m_pFirstReading;
    std::unique_ptr<CRunningStep> m_pRunningStep;
    std::unique_ptr<CReadyStepHost> m_pReadyHost;
    // The installed step whose result is shown, as its file was when it ran.
    std::optional<CInstalledStep> m_shownStep;
};
