#include "colorsegmentation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// The class rule as stated in degrees, in double precision, kept apart from the integer code
// on purpose: the two must agree on every colour, boundaries included.
int ReferenceClass(int blue, int green, int red) {
    const int value = blue > green ? (blue > red ? blue : red) : (green > red ? green : red);
    const int least = blue < green ? (blue < red ? blue : red) : (green < red ? green : red);
    const int chroma = value - least;
    if (value < 48)
        return 0;
    if (4 * chroma < value)
        return value >= 192 ? 2 : 1;
    double hue = 0;
    if (value == red)
        hue = 60.0 * (green - blue) / chroma;
    else if (value == green)
        hue = 120.0 + 60.0 * (blue - red) / chroma;
    else
        hue = 240.0 + 60.0 * (red - green) / chroma;
    if (hue < 0)
        hue += 360.0;
    return 3 + static_cast<int>(std::floor((hue + 30.0) / 60.0)) % 6;
}

int ReferenceValue(int blue, int green, int red) {
    return ReferenceClass(blue, green, red) * 255 / 8;
}

struct Pixel {
    BYTE blue;
    BYTE green;
    BYTE red;
};

std::vector<BYTE> ColorPlane(const std::vector<Pixel>& pixels) {
    std::vector<BYTE> plane;
    for (const Pixel& p : pixels)
        plane.insert(plane.end(), {p.blue, p.green, p.red});
    return plane;
}

TEST(ColorClassValue, AnchorColours) {
    struct Case {
        Pixel pixel;
        int expected;
    };
    const Case cases[] = {
        {{0, 0, 47}, 0},       {{0, 0, 48}, 95},      // the darkest non-black is a hue...
        {{47, 47, 48}, 31},    {{191, 191, 191}, 31}, // ...or gray
        {{192, 192, 192}, 63}, {{255, 255, 255}, 63}, // white
        {{75, 75, 100}, 95},   {{76, 76, 100}, 31},   // 4 * chroma == value is still a hue
        {{0, 0, 255}, 95},     {{0, 255, 255}, 127},  {{0, 255, 0}, 159},
        {{255, 255, 0}, 191},  {{255, 0, 0}, 223},    {{255, 0, 255}, 255},
        {{0, 100, 200}, 127},  {{100, 0, 200}, 95}, // hue +30 moves on, -30 stays
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorClassValue(c.pixel.blue, c.pixel.green, c.pixel.red), c.expected)
            << "blue " << int(c.pixel.blue) << " green " << int(c.pixel.green) << " red "
            << int(c.pixel.red);
}

// Plain loops over raw pointers keep this quick also in unoptimised sanitizer builds.
TEST(ColorClassValue, AgreesWithTheDegreeFormulaOnEveryColour) {
    constexpr std::size_t kColours = std::size_t(1) << 24;
    std::vector<BYTE> planeBytes(3 * kColours), referenceBytes(kColours), resultBytes(kColours);
    BYTE* plane = planeBytes.data();
    BYTE* reference = referenceBytes.data();
    std::size_t classMismatches = 0;
    for (std::size_t colour = 0; colour < kColours; ++colour) {
        const BYTE blue = BYTE(colour), green = BYTE(colour >> 8), red = BYTE(colour >> 16);
        plane[3 * colour] = blue;
        plane[3 * colour + 1] = green;
        plane[3 * colour + 2] = red;
        reference[colour] = BYTE(ReferenceValue(blue, green, red));
        classMismatches += ColorClassValue(blue, green, red) != reference[colour];
    }
    EXPECT_EQ(classMismatches, 0u);

    BYTE* result = resultBytes.data();
    SegmentColorPlane(plane, result, 4096, 4096);
    std::size_t planeMismatches = 0;
    for (std::size_t colour = 0; colour < kColours; ++colour)
        planeMismatches += result[colour] != reference[colour] / 2;
    EXPECT_EQ(planeMismatches, 0u);
}

TEST(SegmentColorPlane, OnePixelWritesOneHalvedByte) {
    const std::vector<BYTE> plane = ColorPlane({{0, 0, 255}});
    std::vector<BYTE> result(2, 0xAA);
    SegmentColorPlane(plane.data(), result.data(), 1, 1);
    EXPECT_EQ(result, (std::vector<BYTE>{47, 0xAA}));
}

TEST(SegmentColorPlane, RowsOfKnownClasses) {
    const std::vector<BYTE> plane = ColorPlane({{10, 10, 10},
                                                {250, 250, 250},
                                                {100, 100, 100},
                                                {0, 200, 0},
                                                {200, 200, 0},
                                                {255, 0, 255}});
    std::vector<BYTE> result(7, 0xAA);
    SegmentColorPlane(plane.data(), result.data(), 3, 2);
    EXPECT_EQ(result, (std::vector<BYTE>{0, 31, 15, 79, 95, 127, 0xAA}));
}

// Whole runs of pixels and a ragged end, against the per-pixel rule.
TEST(SegmentColorPlane, MatchesThePixelRuleAcrossRunsAndARaggedEnd) {
    constexpr int kWidth = 37, kHeight = 3;
    std::vector<Pixel> pixels;
    for (int i = 0; i < kWidth * kHeight; ++i)
        pixels.push_back({BYTE(i * 37), BYTE(255 - i * 11), BYTE(i * 101 + 7)});
    const std::vector<BYTE> plane = ColorPlane(pixels);
    std::vector<BYTE> result(kWidth * kHeight + 1, 0xAA);
    SegmentColorPlane(plane.data(), result.data(), kWidth, kHeight);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        EXPECT_EQ(result[i], ColorClassValue(pixels[i].blue, pixels[i].green, pixels[i].red) / 2)
            << "pixel " << i;
    EXPECT_EQ(result.back(), 0xAA);
}

TEST(SegmentColorPlane, EmptyOrNegativeSizesWriteNothing) {
    std::vector<BYTE> result(4, 0xAA);
    SegmentColorPlane(nullptr, result.data(), 0, 2);
    SegmentColorPlane(nullptr, result.data(), 2, -1);
    SegmentColorPlane(nullptr, result.data(), -3, -3);
    EXPECT_EQ(result, std::vector<BYTE>(4, 0xAA));
}

} // namespace
