// An installed step running in its own process for the view: the window goes on while it
// runs, and ended() is called from the event loop when the process has ended.
#pragma once

#include "afxwin.h"
#include "installedsteps.h"
#include "stepprocess.h"

#include <functional>
#include <memory>
#include <string>

class CRunningStep {
public:
    // Starts step on input into result, a zeroed shared block that it holds until the step
    // ends; Problem() says why when Started() is false.
    CRunningStep(const CInstalledStep& step, const CStepInput& input, CByteBlock result,
                 std::string imageHostPath, bool planesAreCurrent, std::function<void()> ended);

    bool Started() const { return m_process.Running(); }
    const std::string& Problem() const { return m_process.Problem(); }
    const CInstalledStep& Step() const { return m_step; }
    const std::string& ImageHostPath() const { return m_imageHostPath; }
    bool PlanesAreCurrent() const { return m_planesAreCurrent; }
    // How the process ended, once ended() was called; nothing before.
    std::optional<CStepEnd> Collect() { return m_process.Wait(0); }
    // The result plane, once the step has Finished.
    CByteBlock TakeResult() { return std::move(m_result); }

private:
    CInstalledStep m_step;
    std::string m_imageHostPath;
    bool m_planesAreCurrent;
    CByteBlock m_result;
    CStepProcess m_process;
    std::unique_ptr<CDescriptorWatch> m_watch;
};
