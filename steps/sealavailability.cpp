#include "sealavailability.h"

#include "programlaunch.h"

#include <sys/wait.h>

#include <cerrno>

namespace {

std::optional<std::string> TrySealing() {
    const CSealPolicy policy;
    const CProgramLaunch probe({}, {}, {}, &policy);
    if (probe.Pid() == 0)
        return probe.Problem();
    int status = 0;
    while (waitpid(probe.Pid(), &status, 0) < 0 && errno == EINTR) {
    }
    if (const std::string problem = probe.SealProblem(); !problem.empty())
        return "无法建立隔离的环境：" + problem;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "vexlan-seal 没有正常结束（状态 " + std::to_string(status) + "）";
    return std::nullopt;
}

} // namespace

const std::optional<std::string>& SealUnavailableReason() {
    static const std::optional<std::string> reason = TrySealing();
    return reason;
}

std::string UnsealedStepsMessage(const std::string& reason) {
    return "无法把步骤隔离开：" + reason +
           "。\n步骤仍在自己的进程中运行，但没有隔离：它能读写你能读写的一切，"
           "也能向本程序发信号。";
}
