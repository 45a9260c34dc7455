// An installed step running in its own process for the view: the window goes on while it
// runs, and ended() is called from the event loop when the process has ended.
#pragma once

#include "afxwin.h"
#include "installedsteps.h"
#include "readystephost.h"
#include "resultorigin.h"

#include <functional>
#include <memory>
#include <string>

// What a run is asked for: the step, its values, and where it starts.
struct CStepRun {
    CInstalledStep step;
    std::vector<double> values; // one per parameter
    CResultOrigin start;        // the links before the step and its input
};

class CRunningStep {
public:
    // Runs the step in host, whose planes are the input's and whose result plane it holds
    // until the step ends; Problem() says why when Started() is false.
    CRunningStep(CStepRun run, CPreparedStepHost host, std::string imageHostPath,
                 bool planesAreCurrent, std::function<void()> ended);

    bool Started() const { return m_watch != nullptr; }
    const std::string& Problem() const {
        return m_host.process ? m_host.process->Problem() : m_host.problem;
    }
    const CInstalledStep& Step() const { return m_run.step; }
    const std::vector<double>& Values() const { return m_run.values; }
    const std::string& ImageHostPath() const { return m_imageHostPath; }
    bool PlanesAreCurrent() const { return m_planesAreCurrent; }
    // How the process ended, once ended() was called; nothing before.
    std::optional<CStepEnd> Collect() { return m_host.process->Wait(0); }
    // The result plane, once the step has Finished.
    CByteBlock TakeResult() { return std::move(m_host.result); }
    // Where the result comes from: the chain before it with this step added.
    CResultOrigin Origin() const;

private:
    CStepRun m_run;
    std::string m_imageHostPath;
    bool m_planesAreCurrent;
    CPreparedStepHost m_host;
    std::unique_ptr<CDescriptorWatch> m_watch;
};
