// The processing step @NAME@. Build and install it with
//     vexlan-step build @NAME@.cpp
// then choose it in Vexlan under 颜色, or run it on files: vexlan-batch @NAME@ a.bmp b.lst
#include <vexlan/step.h>

// The batch name, the menu text and the status-bar prompt. The body gets `image`: its
// width and height, the gray and colour planes to read and the result plane to write
// (width * height bytes, zeroed: a pixel you leave alone is black).
VEXLAN_STEP(@NAME@, "@NAME@", "对每个像素取 3×3 邻域的平均灰度（示例，请改写）") {
    const int width = image->width;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Gray levels of the pixel and its 8 neighbours, row by row; at the image's
            // border the edge pixels are repeated.
            int around[9];
            vexlan_neighbourhood(image, x, y, 3, around);
            int sum = 0;
            for (int level : around)
                sum += level;
            image->result[y * width + x] = static_cast<unsigned char>(sum / 9);
        }
    }
}
