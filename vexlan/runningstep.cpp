#include "runningstep.h"

CRunningStep::CRunningStep(const CInstalledStep& step, const CStepInput& input, CByteBlock result,
                           std::string imageHostPath, bool planesAreCurrent,
                           std::function<void()> ended)
    : m_step(step), m_imageHostPath(std::move(imageHostPath)), m_planesAreCurrent(planesAreCurrent),
      m_result(std::move(result)) {
    if (m_process.StartRun(step.path, input, m_result.get()))
        m_watch = std::make_unique<CDescriptorWatch>(m_process.EndDescriptor(), std::move(ended));
}
