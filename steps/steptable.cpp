#include "steptable.h"

#include "colorsegmentation.h"
#include "stepcommands.h"

#include <algorithm>

namespace {

// One row per step, in menu order. A new step's command id comes from resource.h.
constexpr CProcessingStep kSteps[] = {
    {ID_COLOR_SEGMENTATION, "segment", SegmentColors, true},
};

} // namespace

std::span<const CProcessingStep> ProcessingSteps() {
    return kSteps;
}

const CProcessingStep* FindStepByCommand(UINT commandId) {
    const auto found = std::ranges::find(kSteps, commandId, &CProcessingStep::commandId);
    return found == std::end(kSteps) ? nullptr : &*found;
}

const CProcessingStep* FindStepByName(std::string_view name) {
    const auto found = std::ranges::find(
        kSteps, name, [](const CProcessingStep& step) { return std::string_view(step.name); });
    return found == std::end(kSteps) ? nullptr : &*found;
}
