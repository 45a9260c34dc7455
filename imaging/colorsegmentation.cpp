#include "colorsegmentation.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// In the order of their gray levels; the hue sectors run once round the colour wheel.
enum ColorClass : int {
    kBlack,
    kGray,
    kWhite,
    kRed,
    kYellow,
    kGreen,
    kCyan,
    kBlue,
    kMagenta,
    kLastClass = kMagenta
};

// A brightest channel below kDarkLimit is black whatever its hue; an unsaturated pixel from
// kWhiteLimit on is white.
constexpr BYTE kDarkLimit = 48;
constexpr BYTE kWhiteLimit = 192;

constexpr BYTE GrayLevel(ColorClass colorClass) {
    return static_cast<BYTE>(colorClass * 255 / kLastClass);
}

// The sectors round the primary of one channel: its own, and the two it shares with the
// channels that follow and precede it on the wheel (red, green, blue, red).
struct HueSectors {
    ColorClass primary;
    ColorClass towardNext;
    ColorClass towardPrevious;
};
constexpr HueSectors kRedSectors{kRed, kYellow, kMagenta};
constexpr HueSectors kGreenSectors{kGreen, kCyan, kYellow};
constexpr HueSectors kBlueSectors{kBlue, kMagenta, kCyan};

// The hue is 60 * (next - previous) / chroma degrees off the primary, and sectors change at
// 30 degrees: comparing 2 * (next - previous) with the chroma gives the same answer without
// division, also exactly on a boundary (+30 goes to the next sector, -30 stays).
ColorClass HueSector(const HueSectors& sectors, int next, int previous, int chroma) {
    const int twiceDifference = 2 * (next - previous);
    if (twiceDifference >= chroma)
        return sectors.towardNext;
    if (twiceDifference < -chroma)
        return sectors.towardPrevious;
    return sectors.primary;
}

// Ties for the brightest channel go to red, then green.
ColorClass ClassOf(int blue, int green, int red) {
    const int value = std::max(std::max(blue, green), red);
    const int chroma = value - std::min(std::min(blue, green), red);
    if (value < kDarkLimit)
        return kBlack;
    if (4 * chroma < value)
        return value >= kWhiteLimit ? kWhite : kGray;
    if (value == red)
        return HueSector(kRedSectors, green, blue, chroma);
    if (value == green)
        return HueSector(kGreenSectors, blue, red, chroma);
    return HueSector(kBlueSectors, red, green, chroma);
}

// The plane is classified sixteen pixels at a time in vectors that the compiler maps to the
// target's SIMD registers. Random colours make the branches above mispredict about every other
// pixel; the branch-free vector form keeps the step close to memory speed.
constexpr std::size_t kLanes = 16;
typedef BYTE Bytes __attribute__((vector_size(kLanes)));
using Mask = decltype(std::declval<Bytes>() == std::declval<Bytes>());

Bytes Splat(BYTE byte) {
    return Bytes{} + byte;
}

Bytes Select(Mask mask, Bytes ifSet, Bytes ifClear) {
    const Bytes bits = std::bit_cast<Bytes>(mask);
    return (ifSet & bits) | (ifClear & ~bits);
}

Bytes Max(Bytes a, Bytes b) {
    return Select(a > b, a, b);
}
Bytes Min(Bytes a, Bytes b) {
    return Select(a < b, a, b);
}

struct Channels {
    Bytes blue;
    Bytes green;
    Bytes red;
};

// The low half of a interleaved with the high half of b, and the other way round.
Bytes ZipLowHigh(Bytes a, Bytes b) {
    return __builtin_shufflevector(a, b, 0, 24, 1, 25, 2, 26, 3, 27, 4, 28, 5, 29, 6, 30, 7, 31);
}
Bytes ZipHighLow(Bytes a, Bytes b) {
    return __builtin_shufflevector(a, b, 8, 16, 9, 17, 10, 18, 11, 19, 12, 20, 13, 21, 14, 22, 15,
                                   23);
}

// Four rounds of this perfect shuffle of 48 bytes sort sixteen blue, green, red pixels into
// one register per channel, with only the byte unpacks that every SIMD instruction set has.
Channels Deinterleave(const BYTE* pixels) {
    Channels c;
    std::memcpy(&c.blue, pixels, kLanes);
    std::memcpy(&c.green, pixels + kLanes, kLanes);
    std::memcpy(&c.red, pixels + 2 * kLanes, kLanes);
    for (int round = 0; round < 4; ++round)
        c = {ZipLowHigh(c.blue, c.green), ZipHighLow(c.blue, c.red), ZipLowHigh(c.green, c.red)};
    return c;
}

// ClassOf on sixteen pixels, as gray levels. The hue comparisons of HueSector are rewritten so
// that every intermediate stays a byte: with value the brightest channel,
// 2 * (next - previous) >= value - previous is next - previous >= value - next.
Bytes GrayLevels(const Channels& c) {
    const Bytes value = Max(Max(c.red, c.green), c.blue);
    const Bytes chroma = value - Min(Min(c.red, c.green), c.blue);
    const Mask redLeads = c.red == value;
    const Mask greenLeads = (c.green == value) & ~redLeads;
    const auto byLead = [&](Bytes ifRed, Bytes ifGreen, Bytes ifBlue) {
        return Select(redLeads, ifRed, Select(greenLeads, ifGreen, ifBlue));
    };
    const auto sectorLevels = [&](ColorClass HueSectors::*sector) {
        return byLead(Splat(GrayLevel(kRedSectors.*sector)),
                      Splat(GrayLevel(kGreenSectors.*sector)),
                      Splat(GrayLevel(kBlueSectors.*sector)));
    };
    const Bytes next = byLead(c.green, c.blue, c.red);
    const Bytes previous = byLead(c.blue, c.red, c.green);
    const Mask towardNext = (next >= previous) & (next - previous >= value - next);
    const Mask towardPrevious = (previous > next) & (previous - next > value - previous);
    const Bytes hue = Select(towardNext, sectorLevels(&HueSectors::towardNext),
                             Select(towardPrevious, sectorLevels(&HueSectors::towardPrevious),
                                    sectorLevels(&HueSectors::primary)));

    // 4 * chroma < value is chroma <= (value - 1) / 4; a value of 0 wraps, but is black.
    const Mask unsaturated = chroma <= (value - Splat(1)) >> 2;
    const Bytes gray =
        Select(value >= Splat(kWhiteLimit), Splat(GrayLevel(kWhite)), Splat(GrayLevel(kGray)));
    return Select(value < Splat(kDarkLimit), Splat(GrayLevel(kBlack)),
                  Select(unsaturated, gray, hue));
}

void SegmentSixteen(const BYTE* pixels, BYTE* results) {
    const Bytes halved = GrayLevels(Deinterleave(pixels)) >> 1;
    std::memcpy(results, &halved, kLanes);
}

} // namespace

BYTE ColorClassValue(BYTE blue, BYTE green, BYTE red) {
    return GrayLevel(ClassOf(blue, green, red));
}

void SegmentColorPlane(const BYTE* colorPlane, BYTE* resultPlane, int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    // Rows follow each other without a gap in both planes, so the image is one run of pixels.
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t whole = count - count % kLanes;
    for (std::size_t i = 0; i < whole; i += kLanes)
        SegmentSixteen(colorPlane + 3 * i, resultPlane + i);
    const std::size_t rest = count - whole;
    if (rest == 0)
        return;
    // The last few pixels go through a padded copy, so nothing past either plane is touched.
    BYTE pixels[3 * kLanes] = {};
    BYTE results[kLanes];
    std::memcpy(pixels, colorPlane + 3 * whole, 3 * rest);
    SegmentSixteen(pixels, results);
    std::memcpy(resultPlane + whole, results, rest);
}

void SegmentColors(const CStepInput& input, BYTE* result) {
    SegmentColorPlane(input.colorPlane, result, input.width, input.height);
}
