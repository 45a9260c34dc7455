/* The guide's 反色, for the benchmark of an installed step against the same function in process. */
#include <vexlan/step.h>

VEXLAN_STEP(benchinvert, "反色（基准）", "基准测试用") {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image->result[(size_t)y * (size_t)image->width + (size_t)x] =
                (unsigned char)(255 - vexlan_gray_at(image, x, y));
}
