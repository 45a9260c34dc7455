/* A Vexlan processing step in one source file.

   #include <vexlan/step.h>

   VEXLAN_STEP(invert, "反色", "把每个像素的灰度反过来：黑变白，白变黑") {
       for (int y = 0; y < image->height; ++y)
           for (int x = 0; x < image->width; ++x)
               image->result[y * image->width + x] = 255 - vexlan_gray_at(image, x, y);
   }

   A step may declare parameters beside it, each by a macro of its own, and read their current
   values through the image:

   VEXLAN_PARAM(threshold, "阈值", 0, 255, 128);
   ...
       const int t = vexlan_int_param(image, threshold);

   `vexlan-step build invert.cpp` compiles it into the user's step folder; Vexlan lists it
   under the 颜色 menu and `vexlan-batch invert FILE...` runs it. The step runs in a process of
   its own: a crash or an endless loop is reported, never suffered by the program.

   Plain C as well as C++; nothing here needs more than the C standard library. */
#ifndef VEXLAN_STEP_H
#define VEXLAN_STEP_H

#include <stddef.h>

/* Version 2 adds parameters. A step built against version 1 still loads and runs unchanged; a
   step built against a version the program does not know is refused with both versions named. */
#define VEXLAN_STEP_API_VERSION 2
#define VEXLAN_STEP_OLDEST_API_VERSION 1

#ifdef __cplusplus
extern "C" {
#endif

/* The loaded image and the plane the step fills. Every plane holds rows top-down, the top
   row first, without a gap between rows. */
typedef struct vexlan_image {
    int width;  /* at least 1 */
    int height; /* at least 1 */
    /* width * height bytes, pixel (x, y) at y * width + x. An 8-bit file gives each pixel's
       palette index (a gray level only when the palette is a gray ramp); a 24-bit file gives
       zeros. For brightness, use vexlan_gray_at. A step that runs on the result of the step
       before (a chain) gets that result here. */
    const unsigned char* gray;
    /* Blue, green, red per pixel: pixel (x, y) at 3 * (y * width + x). Filled for every
       loaded file; in a chain, the result before as gray (three equal bytes per pixel), so
       that vexlan_gray_at gives the result's value. */
    const unsigned char* color;
    /* width * height bytes in the gray plane's layout, zeroed: a byte left alone is black.
       Every value 0 to 255 is painted as that gray level and saved by File Save. */
    unsigned char* result;
    /* Since version 2: the current value of each parameter the step declares, in the order of
       vexlan_step_info.parameters. Read them with vexlan_param and vexlan_int_param. */
    const double* values;
    int value_count;
} vexlan_image;

/* A parameter, as VEXLAN_PARAM and VEXLAN_REAL_PARAM declare it. */
typedef struct vexlan_param_info {
    const char* name;  /* an identifier: what vexlan-batch --set NAME=VALUE names */
    const char* label; /* beside its slider in the program's 参数 panel */
    int whole_numbers; /* 1: whole numbers only; 0: real numbers */
    double minimum;
    double maximum;
    double default_value;
    int line; /* of the declaration: the program lists parameters in the order declared */
} vexlan_param_info;

typedef void (*vexlan_step_function)(const vexlan_image* image);

/* What the program reads from a step file, under the symbol VEXLAN_STEP_SYMBOL. */
#define VEXLAN_STEP_SYMBOL "vexlan_step_entry"
typedef struct vexlan_step_info {
    int api_version;       /* VEXLAN_STEP_API_VERSION of the header the step was built with */
    const char* name;      /* the batch name: lower case, no spaces */
    const char* menu_text; /* the item under 颜色 */
    const char* prompt;    /* the status-bar text while the item is highlighted */
    vexlan_step_function run;
    /* Since version 2: the declared parameters, from parameters up to parameters_end (both
       null when there are none). */
    const vexlan_param_info* const* parameters;
    const vexlan_param_info* const* parameters_end;
} vexlan_step_info;

/* Every declaration puts a pointer to its parameter into this section of the step file; the
   linker marks the section's ends, which are null when the step declares no parameter. */
extern const vexlan_param_info* const __start_vexlan_params[]
    __attribute__((weak, visibility("hidden")));
extern const vexlan_param_info* const __stop_vexlan_params[]
    __attribute__((weak, visibility("hidden")));

/* The value of a declared parameter for this run: its default where the caller gave none. */
static inline double vexlan_param_value(const vexlan_image* image, const vexlan_param_info* param) {
    int i;
    for (i = 0; image->values && i < image->value_count; ++i)
        if (__start_vexlan_params[i] == param)
            return image->values[i];
    return param->default_value;
}

/* The same, rounded to the nearest whole number, for a parameter of whole numbers. */
static inline int vexlan_int_param_value(const vexlan_image* image,
                                         const vexlan_param_info* param) {
    const double value = vexlan_param_value(image, param);
    return (int)(value < 0 ? value - 0.5 : value + 0.5);
}

/* The gray level of pixel (x, y) from its colour: 0.299 red + 0.587 green + 0.114 blue, in
   whole numbers out of 256 (29 blue, 150 green, 77 red), so white is 255 and black 0. */
static inline int vexlan_gray_at(const vexlan_image* image, int x, int y) {
    const unsigned char* bgr = image->color + 3 * ((size_t)y * (size_t)image->width + (size_t)x);
    return (29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2]) >> 8;
}

/* Border rule: a coordinate outside the image is clamped to the nearest edge pixel, so the
   neighbourhood of a corner pixel repeats the corner. */
static inline int vexlan_clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

/* The gray levels (vexlan_gray_at) of the n x n neighbourhood centred on (x, y), row by row
   into out[n * n], with the border rule above. n is odd and at least 1: 3 gives the 3 x 3
   neighbourhood, out[4] being (x, y) itself. */
static inline void vexlan_neighbourhood(const vexlan_image* image, int x, int y, int n, int* out) {
    const int half = n / 2;
    for (int dy = -half; dy <= half; ++dy)
        for (int dx = -half; dx <= half; ++dx)
            *out++ = vexlan_gray_at(image, vexlan_clamp(x + dx, 0, image->width - 1),
                                    vexlan_clamp(y + dy, 0, image->height - 1));
}

#ifdef __cplusplus
}
#define VEXLAN_STEP_EXTERN extern "C"
#else
#define VEXLAN_STEP_EXTERN
#endif

/* Declares the step's batch name (an identifier), menu text and prompt, and opens the
   body of its function, which gets `const vexlan_image* image`. */
#define VEXLAN_STEP(stepName, menuText, prompt)                                                    \
    static void vexlan_step_run_##stepName(const vexlan_image* image);                             \
    VEXLAN_STEP_EXTERN __attribute__((visibility("default")))                                      \
    const vexlan_step_info vexlan_step_entry = {VEXLAN_STEP_API_VERSION,                           \
                                                #stepName,                                         \
                                                menuText,                                          \
                                                prompt,                                            \
                                                vexlan_step_run_##stepName,                        \
                                                __start_vexlan_params,                             \
                                                __stop_vexlan_params};                             \
    static void vexlan_step_run_##stepName(const vexlan_image* image)

/* Declares a parameter of the step, before the body that reads it, followed by a semicolon:
   VEXLAN_PARAM(threshold, "阈值", 0, 255, 128); gives the name (an identifier), the label, the
   smallest and largest value and the default. VEXLAN_PARAM takes whole numbers,
   VEXLAN_REAL_PARAM real ones. */
#define VEXLAN_DECLARE_PARAM(paramName, label, whole, low, high, initial)                          \
    static const vexlan_param_info vexlan_param_##paramName = {#paramName, label,   whole,   low,  \
                                                               high,       initial, __LINE__};     \
    static const vexlan_param_info* const vexlan_param_entry_##paramName                           \
        __attribute__((section("vexlan_params"), used)) = &vexlan_param_##paramName
#define VEXLAN_PARAM(paramName, label, low, high, initial)                                         \
    VEXLAN_DECLARE_PARAM(paramName, label, 1, low, high, initial)
#define VEXLAN_REAL_PARAM(paramName, label, low, high, initial)                                    \
    VEXLAN_DECLARE_PARAM(paramName, label, 0, low, high, initial)

/* The current value of the declared parameter paramName, inside the step's body. */
#define vexlan_param(image, paramName) vexlan_param_value(image, &vexlan_param_##paramName)
#define vexlan_int_param(image, paramName) vexlan_int_param_value(image, &vexlan_param_##paramName)

#endif
