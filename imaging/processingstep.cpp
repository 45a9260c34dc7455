#include "processingstep.h"

#include <algorithm>

std::optional<std::size_t> PlaneSize(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    std::size_t size = 0;
    if (__builtin_mul_overflow(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                               &size))
        return std::nullopt;
    return size;
}

void ApplyStep(const CProcessingStep& step, const CStepInput& input, BYTE* result,
               CResultPlane plane) {
    const std::size_t size = PlaneSize(input.width, input.height).value_or(0);
    if (size == 0)
        return;
    if (!step.writesEveryByte && plane != CResultPlane::Zeroed)
        std::fill_n(result, size, BYTE{0});
    step.run(input, result);
}
