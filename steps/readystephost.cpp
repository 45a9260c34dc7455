#include "readystephost.h"

#include <sys/stat.h>

CPreparedStepHost PrepareStepHost(const CStepInput& input) {
    CPreparedStepHost prepared;
    const std::optional<std::size_t> size = PlaneSize(input.width, input.height);
    prepared.result = DEBUG_NEW_SHARED_BYTES(size.value_or(0));
    prepared.process = std::make_unique<CStepProcess>();
    if (!size || !prepared.result) {
        prepared.problem = "内存不足，无法为步骤分配结果";
    } else if (!prepared.process->Start() ||
               !prepared.process->SharePlanes(input, prepared.result.get())) {
        prepared.problem = prepared.process->Problem();
    }
    if (!prepared.problem.empty())
        prepared.process.reset();
    return prepared;
}

std::optional<CReadyStepHost::Identity> CReadyStepHost::IdentityOf(const CStepInput& input) {
    Identity identity{static_cast<std::uint64_t>(input.width),
                      static_cast<std::uint64_t>(input.height)};
    std::size_t next = 2;
    for (const BYTE* plane : {input.grayPlane, input.colorPlane}) {
        struct stat status {};
        if (fstat(AfxSharedBlockDescriptor(plane), &status) != 0)
            return std::nullopt;
        identity[next++] = status.st_dev;
        identity[next++] = status.st_ino;
    }
    return identity;
}

bool CReadyStepHost::IsReadyFor(const std::optional<Identity>& identity) {
    // A host that ended meanwhile (killed, out of memory) is no use; sealed, its seal may
    // outlive it by a moment, but not its end of the socket.
    return identity && identity == m_identity && m_prepared.process &&
           !m_prepared.process->HungUp() && !m_prepared.process->Wait(0);
}

void CReadyStepHost::Prepare(const CStepInput& input) {
    const std::optional<Identity> identity = IdentityOf(input);
    if (IsReadyFor(identity))
        return;
    Drop();
    if (!identity)
        return;
    m_prepared = PrepareStepHost(input);
    m_identity = identity;
}

CPreparedStepHost CReadyStepHost::Take(const CStepInput& input) {
    if (!IsReadyFor(IdentityOf(input)))
        Drop();
    m_identity.reset();
    return m_prepared.process ? std::move(m_prepared) : PrepareStepHost(input);
}

bool CReadyStepHost::WaitReady(int timeoutMs) {
    return m_prepared.process && m_prepared.process->WaitReady(timeoutMs);
}

void CReadyStepHost::Drop() {
    m_prepared.process.reset(); // ended before its result plane goes
    m_prepared = CPreparedStepHost{};
    m_identity.reset();
}
