// The processing step @NAME@. Build and install it with
//     vexlan-step build @NAME@.cpp
// then choose it in Vexlan under 颜色, or run it on files: vexlan-batch @NAME@ a.bmp b.lst
// (vexlan-batch --set threshold=64 @NAME@ a.bmp for another threshold).
#include <vexlan/step.h>

// A parameter: its name, the label beside its slider in Vexlan's 参数 panel, the smallest and
// the largest value, and the default. VEXLAN_REAL_PARAM declares one of real numbers.
VEXLAN_PARAM(threshold, "阈值", 0, 255, 128);

// The batch name, the menu text and the status-bar prompt. The body gets `image`: its
// width and height, the gray and colour planes to read and the result plane to write
// (width * height bytes, zeroed: a pixel you leave alone is black), and the parameters' values.
VEXLAN_STEP(@NAME@, "@NAME@", "3×3 邻域的平均灰度不小于阈值的像素为白（示例，请改写）") {
    const int width = image->width;
    const int threshold = vexlan_int_param(image, threshold);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Gray levels of the pixel and its 8 neighbours, row by row; at the image's
            // border the edge pixels are repeated.
            int around[9];
            vexlan_neighbourhood(image, x, y, 3, around);
            int sum = 0;
            for (int level : around)
                sum += level;
            image->result[y * width + x] = sum / 9 >= threshold ? 255 : 0;
        }
    }
}
