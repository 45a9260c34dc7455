#include "runningstep.h"

CRunningStep::CRunningStep(CStepRun run, CPreparedStepHost host, std::string imageHostPath,
                           bool planesAreCurrent, std::function<void()> ended)
    : m_run(std::move(run)), m_imageHostPath(std::move(imageHostPath)),
      m_planesAreCurrent(planesAreCurrent), m_host(std::move(host)) {
    if (m_host.process && m_host.process->Run(m_run.step.path, m_run.values))
        m_watch =
            std::make_unique<CDescriptorWatch>(m_host.process->EndDescriptor(), std::move(ended));
}

CResultOrigin CRunningStep::Origin() const {
    CResultOrigin origin = m_run.start;
    origin.links.push_back({m_run.step.name, ShownValues(m_run.step.parameters, m_run.values)});
    origin.installed = m_run.step;
    origin.values = m_run.values;
    return origin;
}
