#include "resultinput.h"

#include <algorithm>

std::optional<CResultInput> ResultAsInput(int width, int height, const BYTE* result) {
    const std::optional<std::size_t> size = PlaneSize(width, height);
    if (!size || *size == 0 || *size > SIZE_MAX / 3)
        return std::nullopt;
    CResultInput input{DEBUG_NEW_SHARED_BYTES(*size), DEBUG_NEW_SHARED_BYTES(3 * *size), width,
                       height};
    if (!input.gray || !input.color)
        return std::nullopt;
    std::copy_n(result, *size, input.gray.get());
    BYTE* bgr = input.color.get();
    for (std::size_t pixel = 0; pixel < *size; ++pixel, bgr += 3)
        bgr[0] = bgr[1] = bgr[2] = result[pixel];
    return input;
}
