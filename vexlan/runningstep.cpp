#include "runningstep.h"

CRunningStep::CRunningStep(const CInstalledStep& step, CPreparedStepHost host,
                           std::string imageHostPath, bool planesAreCurrent,
                           std::function<void()> ended)
    : m_step(step), m_imageHostPath(std::move(imageHostPath)), m_planesAreCurrent(planesAreCurrent),
      m_host(std::move(host)) {
    if (m_host.process && m_host.process->Run(step.path))
        m_watch =
            std::make_unique<CDescriptorWatch>(m_host.process->EndDescriptor(), std::move(ended));
}
