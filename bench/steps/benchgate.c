/* vexlan-step new's example: the 3 x 3 mean against a threshold, for the benchmark of a value
   turned in the 参数 panel. */
#include <vexlan/step.h>

VEXLAN_PARAM(threshold, "阈值", 0, 255, 128);

VEXLAN_STEP(benchgate, "阈值（基准）", "基准测试用") {
    const int threshold = vexlan_int_param(image, threshold);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            int around[9], sum = 0;
            vexlan_neighbourhood(image, x, y, 3, around);
            for (int i = 0; i < 9; ++i)
                sum += around[i];
            image->result[(size_t)y * (size_t)image->width + (size_t)x] =
                sum / 9 >= threshold ? 255 : 0;
        }
}
