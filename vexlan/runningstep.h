// An installed step running in its own process for the view: the window goes on while it
// runs, and ended() is called from the event loop when the process has ended.
#pragma once

#include "afxwin.h"
#include "installedsteps.h"
#include "readystephost.h"

#include <functional>
#include <memory>
#include <string>

class CRunningStep {
public:
    // Runs step in host, whose planes are the image's and whose result plane it holds until
    // the step ends; Problem() says why when Started() is false.
    CRunningStep(const CInstalledStep& step, CPreparedStepHost host, std::string imageHostPath,
                 bool planesAreCurrent, std::function<void()> ended);

    bool Started() const { return m_watch != nullptr; }
    const std::string& Problem() const {
        return m_host.process ? m_host.process->Problem() : m_host.problem;
    }
    const CInstalledStep& Step() const { return m_step; }
    const std::string& ImageHostPath() const { return m_imageHostPath; }
    bool PlanesAreCurrent() const { return m_planesAreCurrent; }
    // How the process ended, once ended() was called; nothing before.
    std::optional<CStepEnd> Collect() { return m_host.process->Wait(0); }
    // The result plane, once the step has Finished.
    CByteBlock TakeResult() { return std::move(m_host.result); }

private:
    CInstalledStep m_step;
    std::string m_imageHostPath;
    bool m_planesAreCurrent;
    CPreparedStepHost m_host;
    std::unique_ptr<CDescriptorWatch> m_watch;
};
