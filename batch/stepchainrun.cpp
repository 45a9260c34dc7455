#include "stepchainrun.h"

#include "resultinput.h"

namespace {

CBatchStepRun BuiltInStepRun(const CProcessingStep& step) {
    return [&step](const CStepInput& input, BYTE* result, const std::string&, int) {
        ApplyStep(step, input, result, CResultPlane::Zeroed);
        return std::optional<std::string>();
    };
}

// An installed step, in its own sealed process within limits or, for a debugger, in this one.
CBatchStepRun InstalledStepRun(const CInstalledStep& step, const std::vector<double>& values,
                               bool inProcess, std::optional<double> timeout,
                               const CSealLimits& limits) {
    if (inProcess)
        return [step, values](const CStepInput& input, BYTE* result, const std::string&, int) {
            return RunInstalledStepHere(step, input, result, values);
        };
    return [step, values, timeout, limits](const CStepInput& input, BYTE* result,
                                           const std::string& imageHostPath,
                                           int stopFd) -> std::optional<std::string> {
        const CStepEnd end = RunInstalledStep(step, input, result, values, timeout, stopFd, limits);
        if (end.kind == CStepEnd::Kind::Finished)
            return std::nullopt;
        return StepEndMessage(step.name, end, imageHostPath, CStepCaller::Runner);
    };
}

CBatchStepRun OneStepRun(const CBatchStep& step, bool inProcess, std::optional<double> timeout,
                         const CSealLimits& limits) {
    return step.builtIn
               ? BuiltInStepRun(*step.builtIn)
               : InstalledStepRun(*step.installed, step.values, inProcess, timeout, limits);
}

} // namespace

CBatchStepRun StepChainRun(const std::vector<CBatchStep>& steps, bool inProcess,
                           std::optional<double> timeoutSeconds, const CSealLimits& limits) {
    std::vector<CBatchStepRun> runs;
    for (const CBatchStep& step : steps)
        runs.push_back(OneStepRun(step, inProcess, timeoutSeconds, limits));
    if (runs.size() == 1)
        return runs.front();
    return [runs](const CStepInput& image, BYTE* result, const std::string& imageHostPath,
                  int stopFd) -> std::optional<std::string> {
        std::optional<CResultInput> before; // the result of the step before, as an input
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const bool last = i + 1 == runs.size();
            CByteBlock between =
                last ? CByteBlock() : DEBUG_NEW_SHARED_BYTES(*PlaneSize(image.width, image.height));
            if (!last && !between)
                return "内存不足，无法保存链中间的结果";
            const CStepInput input = before ? before->Input() : image;
            if (std::optional<std::string> failure =
                    runs[i](input, last ? result : between.get(), imageHostPath, stopFd))
                return failure;
            if (!last && !(before = ResultAsInput(image.width, image.height, between.get())))
                return "内存不足，无法把链中间的结果交给下一个步骤";
        }
        return std::nullopt;
    };
}
