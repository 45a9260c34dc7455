// What a step of a chain sees of the result before it, and the counts a histogram shows.
#include "graylevelcounts.h"
#include "resultinput.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

TEST(ResultInput, TheResultIsTheGrayPlaneAndGrayInEveryChannel) {
    const std::vector<BYTE> result{0, 1, 127, 128, 254, 255};
    const std::optional<CResultInput> input = ResultAsInput(3, 2, result.data());
    ASSERT_TRUE(input);
    const CStepInput planes = input->Input();
    EXPECT_EQ(std::vector<BYTE>(planes.grayPlane, planes.grayPlane + 6), result);
    for (int i = 0; i < 6; ++i)
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_EQ(planes.colorPlane[3 * i + channel], result[i]) << i;
    // A step reading brightness from the colours gets the result's values.
    const CGrayLevelCounts levels = CountColorGrayLevels(planes.colorPlane, 6);
    EXPECT_EQ(levels, CountGrayLevels(result.data(), 6));
    EXPECT_FALSE(ResultAsInput(0, 2, result.data()));
}

TEST(GrayLevelCounts, CountEachLevelOfAPlaneAndOfColours) {
    const std::vector<BYTE> plane{7, 7, 0, 255, 7};
    const CGrayLevelCounts counts = CountGrayLevels(plane.data(), plane.size());
    EXPECT_EQ(counts[7], 3u);
    EXPECT_EQ(counts[0], 1u);
    EXPECT_EQ(counts[255], 1u);
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), std::uint64_t{0}), 5u);
    // Black, white, red twice and blue, as blue, green, red bytes: the levels vexlan_gray_at
    // gives.
    const std::vector<BYTE> colors{0, 0, 0, 255, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0};
    const CGrayLevelCounts levels = CountColorGrayLevels(colors.data(), 5);
    for (const auto& [level, count] : {std::pair{0, 1u}, {255, 1u}, {76, 2u}, {28, 1u}})
        EXPECT_EQ(levels[static_cast<std::size_t>(level)], count) << level;
}

} // namespace
