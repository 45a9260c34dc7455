// The bitmap decoder against a public corpus of real-world and broken files, and against small
// files built in memory for the cases the corpus does not pin down.
#include "bitmapdecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Result = CBitmapDecoder::Result;
using Bytes = std::vector<std::uint8_t>;

struct Decoded {
    Result result = Result::Refused;
    std::string problem;
    int width = 0;
    int height = 0;
    Bytes gray{};
    Bytes color{};
    bool operator==(const Decoded&) const = default;
};

// Decodes the way the view does; the planes start filled with a marker so that any byte the
// decoder leaves undefined shows.
Decoded Decode(std::FILE* file) {
    CBitmapDecoder decoder;
    Decoded out{decoder.ReadHeader(file), decoder.Problem(), decoder.Width(), decoder.Height()};
    if (out.result == Result::Decodable) {
        out.gray.assign(decoder.GrayPlaneSize(), 0xCD);
        out.color.assign(decoder.ColorPlaneSize(), 0xCD);
        decoder.ReadPixels(file, out.gray.data(), out.color.data());
    }
    std::fclose(file);
    return out;
}

Decoded Decode(Bytes bytes) {
    return Decode(fmemopen(bytes.data(), bytes.size(), "rb"));
}

Result ReadHeaderOnly(Bytes bytes) {
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    const Result result = CBitmapDecoder().ReadHeader(file);
    std::fclose(file);
    return result;
}

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint32_t> GrayPalette() {
    std::vector<std::uint32_t> palette;
    for (std::uint32_t level = 0; level < 256; ++level) {
        palette.push_back(level * 0x010101);
    }
    return palette;
}

struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette = GrayPalette(); // 0xRRGGBB
    Bytes pixels{};                                     // as stored
    std::uint32_t pixelOffset = 0;                      // 0: right after the palette
};

void Put32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

Bytes Build(const Bitmap& bitmap) {
    const std::uint32_t offset =
        bitmap.pixelOffset != 0 ? bitmap.pixelOffset : 54 + 4 * bitmap.palette.size();
    Bytes file{'B', 'M'};
    for (std::uint32_t field :
         {offset + std::uint32_t(bitmap.pixels.size()), 0u, offset, 40u,
          std::uint32_t(bitmap.width), std::uint32_t(bitmap.height), 1u | bitmap.bitsPerPixel << 16,
          bitmap.compression, 0u, 0u, 0u, bitmap.colorsUsed, 0u}) {
        Put32(file, field);
    }
    for (std::uint32_t entry : bitmap.palette) {
        Put32(file, entry);
    }
    file.resize(std::max<std::size_t>(file.size(), offset));
    file.insert(file.end(), bitmap.pixels.begin(), bitmap.pixels.end());
    return file;
}

TEST(BitmapCorpus, EveryFileDoesWhatTheTableSays) {
    const std::string corpus = VEXLAN_SHARED_DIR "/bmpsuite/";
    std::ifstream table(corpus + "expect.tsv");
    ASSERT_TRUE(table.is_open());
    std::string line;
    std::getline(table, line);
    int rows = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string name, bits, compression, headerSize, width, height, expect;
        fields >> name >> bits >> compression >> headerSize >> width >> height >> expect;
        SCOPED_TRACE(name + " (" + expect + ")");
        ++rows;
        const Bytes bytes = ReadWholeFile(corpus + name);
        ASSERT_FALSE(bytes.empty());
        const Decoded decoded = Decode(std::fopen((corpus + name).c_str(), "rb"));
        if (expect == "match") {
            ASSERT_EQ(decoded.result, Result::Decodable) << decoded.problem;
            EXPECT_EQ(decoded.width, std::stoi(width));
            EXPECT_EQ(decoded.height, std::abs(std::stoi(height)));
            const Bytes reference =
                ReadWholeFile(corpus + "ref/" + name.substr(2, name.size() - 6) + ".bgr");
            ASSERT_EQ(reference.size(), 3u * decoded.width * decoded.height);
            EXPECT_TRUE(std::equal(reference.begin(), reference.end(), decoded.color.begin()));
        } else if (expect == "decode-or-refuse") {
            EXPECT_NE(decoded.result, Result::UnsupportedFormat);
            EXPECT_EQ(decoded.result == Result::Decodable, decoded.problem.empty());
            EXPECT_EQ(decoded, Decode(bytes));
        } else {
            ASSERT_EQ(expect, "refuse");
            EXPECT_NE(decoded.result, Result::Decodable);
            EXPECT_FALSE(decoded.problem.empty());
        }
    }
    EXPECT_GT(rows, 0);
}

TEST(BitmapDecoder, RowsArePaddedToFourBytesAndStoredBottomUp) {
    const Decoded indexed = Decode(Build(
        {.width = 5, .height = 2, .pixels = {1, 2, 3, 4, 5, 9, 9, 9, 6, 7, 8, 9, 10, 9, 9, 9}}));
    EXPECT_EQ(indexed.gray, (Bytes{6, 7, 8, 9, 10, 1, 2, 3, 4, 5}));
    ASSERT_EQ(indexed.color.size(), 30u);

    Bitmap trueColor{.width = 5, .height = 2, .bitsPerPixel = 24};
    for (std::uint8_t byte = 0; byte < 32; ++byte) {
        trueColor.pixels.push_back(byte % 16 == 15 ? 0xEE : byte);
    }
    const Decoded decoded = Decode(Build(trueColor));
    ASSERT_EQ(decoded.color.size(), 32u);
    EXPECT_TRUE(std::equal(&decoded.color[0], &decoded.color[15], &trueColor.pixels[16]));
    EXPECT_TRUE(std::equal(&decoded.color[15], &decoded.color[30], &trueColor.pixels[0]));
    EXPECT_EQ(Bytes(&decoded.color[30], &decoded.color[32]), Bytes(2, 0));
    EXPECT_EQ(decoded.gray, Bytes(10, 0));
}

TEST(BitmapDecoder, IndicesAreExpandedThroughThePalette) {
    Bitmap grayScale{.width = 16, .height = 16};
    for (int index = 0; index < 256; ++index) {
        grayScale.pixels.push_back(static_cast<std::uint8_t>(index));
    }
    const Decoded gray = Decode(Build(grayScale));
    for (std::size_t pixel = 0; pixel < gray.gray.size(); ++pixel) {
        ASSERT_EQ(Bytes(3, gray.gray[pixel]),
                  Bytes(&gray.color[3 * pixel], &gray.color[3 * pixel + 3]));
    }
    // Index 0 is red; index 5 lies past the two entries the file gives and shows black.
    const Decoded decoded = Decode(Build({.width = 4,
                                          .height = 1,
                                          .colorsUsed = 2,
                                          .palette = {0xFF0000, 0x010203},
                                          .pixels = {0, 1, 5, 0}}));
    EXPECT_EQ(decoded.gray, (Bytes{0, 1, 5, 0}));
    EXPECT_EQ(decoded.color, (Bytes{0, 0, 255, 3, 2, 1, 0, 0, 0, 0, 0, 255}));
}

TEST(BitmapDecoder, PixelOffsetIsHonouredOnlyWhenItIsPlausible) {
    // The classic layout: no colour count, 256 entries, rows at 1078.
    Bitmap classic{.width = 1, .height = 1, .pixels = {200, 0, 0, 0}};
    EXPECT_EQ(Build(classic).size(), 1082u);
    EXPECT_EQ(Decode(Build(classic)).gray, Bytes{200});
    // A count above 256 reads 256 entries; a gap before the rows is skipped.
    classic.colorsUsed = 1000;
    classic.pixelOffset = 1100;
    EXPECT_EQ(Decode(Build(classic)).color, (Bytes{200, 200, 200}));
    // An offset into the headers or past the end of the file: the rows follow the palette.
    for (std::uint32_t implausible : {20u, 5000u}) {
        Bytes file = Build({.width = 1, .height = 1, .pixels = {7}});
        file[10] = static_cast<std::uint8_t>(implausible);
        file[11] = static_cast<std::uint8_t>(implausible >> 8);
        EXPECT_EQ(Decode(file).gray, Bytes{7});
    }
}

TEST(BitmapDecoder, BytesMissingAtTheEndOfTheFileReadAsZero) {
    const Decoded decoded = Decode(Build({.width = 4, .height = 2, .pixels = {1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(decoded.gray, (Bytes{5, 6, 0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Bytes(decoded.color.begin(), decoded.color.begin() + 12),
              (Bytes{5, 5, 5, 6, 6, 6, 0, 0, 0, 0, 0, 0}));
}

TEST(BitmapDecoder, RunLengthStreamIsClippedToThePlane) {
    const Bytes stream = {3, 7,                // bottom row: a run of three 7s,
                          0, 3, 1, 2, 3, 0,    // three literals of which one fits, padded,
                          2, 8,                // a run that finds the row full,
                          0, 0,                // end of line;
                          0, 2, 1, 0, 2, 5, 0, // move right by one, a run of two 5s,
                          1, 4, 9}; // end of the bitmap, then bytes that must not be drawn
    const Decoded decoded =
        Decode(Build({.width = 4, .height = 2, .compression = 1, .pixels = stream}));
    EXPECT_EQ(decoded.gray, (Bytes{0, 5, 5, 0, 7, 7, 7, 1}));
    EXPECT_EQ(decoded.color[3 * 7], 1);

    // A move above the top row ends the decoding; so does a cut stream.
    for (const Bytes& cut : {Bytes{0, 2, 0, 5, 4, 9}, Bytes{4, 9, 0}}) {
        const Decoded ended =
            Decode(Build({.width = 4, .height = 2, .compression = 1, .pixels = cut}));
        EXPECT_EQ(ended.gray, cut[0] == 4 ? (Bytes{0, 0, 0, 0, 9, 9, 9, 9}) : Bytes(8, 0));
    }
}

TEST(BitmapDecoder, UntrustworthyHeadersAreRefusedBeforeAnyAllocation) {
    const auto header = [](int width, int height, int bitsPerPixel) {
        return ReadHeaderOnly(
            Build({.width = width, .height = height, .bitsPerPixel = bitsPerPixel}));
    };
    EXPECT_EQ(header(-5, 5, 8), Result::Refused);
    EXPECT_EQ(header(3000000, 2000000, 24), Result::Refused);
    EXPECT_EQ(header(INT_MAX / 24 + 1, 1, 24), Result::Refused);
    EXPECT_EQ(header(1, INT_MIN, 8), Result::Refused);
    // Exactly 1 GiB for both planes together is the most accepted.
    EXPECT_EQ(header(16384, 16384, 8), Result::Decodable);
    EXPECT_EQ(header(16384, 16385, 8), Result::Refused);

    Bytes file = Build({.width = 1, .height = 1});
    EXPECT_EQ(ReadHeaderOnly(Bytes(file.begin(), file.begin() + 53)), Result::Refused);
    file[14] = 20;
    EXPECT_EQ(ReadHeaderOnly(file), Result::Refused);
}

TEST(BitmapDecoder, OtherDepthsAndCompressionsAreNamedInTheProblem) {
    const Decoded fourBits = Decode(Build({.width = 1, .height = 1, .bitsPerPixel = 4}));
    EXPECT_EQ(fourBits.result, Result::UnsupportedFormat);
    EXPECT_EQ(fourBits.problem, "每像素 4 位，Vexlan 不读取这种位图");
    const Decoded bitFields =
        Decode(Build({.width = 1, .height = 1, .bitsPerPixel = 24, .compression = 3}));
    EXPECT_EQ(bitFields.result, Result::UnsupportedFormat);
    EXPECT_EQ(bitFields.problem, "每像素 24 位，压缩方式为 3，Vexlan 不读取这种位图");
}

TEST(BitmapDecoder, EmptyImagesHaveEmptyPlanes) {
    for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) {
        const Decoded decoded =
            Decode(Build({.width = width, .height = height, .bitsPerPixel = 24}));
        EXPECT_EQ(decoded.result, Result::Decodable);
        EXPECT_TRUE(decoded.gray.empty() && decoded.color.empty());
    }
}

} // namespace

namespace {

// A 40-byte-header file with extra bytes appended to its info header, as newer and private
// header versions do.
// The file with an info header of infoSize bytes: the 40-byte header's first infoSize bytes,
// or the whole of it followed by filler; the pixel offset moves with it.
Bytes WithInfoHeaderSize(Bytes file, std::uint32_t infoSize) {
    const auto at = file.begin() + 14 + std::min<std::uint32_t>(infoSize, 40);
    if (infoSize < 40)
        file.erase(at, file.begin() + 54);
    else
        file.insert(at, infoSize - 40, 0xEE);
    const std::uint32_t offset =
        file[10] | file[11] << 8 | file[12] << 16 | std::uint32_t(file[13]) << 24;
    for (auto [where, value] : {std::pair{14, infoSize}, std::pair{10, offset + infoSize - 40}}) {
        for (int i = 0; i < 4; ++i) {
            file[where + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    return file;
}

// Decodes into planes followed by guard bytes, so that an overrun fails in any build.
bool DecodeKeepsItsGuards(Bytes bytes) {
    constexpr std::size_t kGuard = 64;
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    CBitmapDecoder decoder;
    bool intact = decoder.ReadHeader(file) == Result::Decodable;
    if (intact) {
        Bytes gray(decoder.GrayPlaneSize() + kGuard, 0xAB);
        Bytes color(decoder.ColorPlaneSize() + kGuard, 0xAB);
        decoder.ReadPixels(file, gray.data(), color.data());
        const auto guardIntact = [](const Bytes& plane) {
            return std::all_of(plane.end() - kGuard, plane.end(),
                               [](std::uint8_t b) { return b == 0xAB; });
        };
        intact = guardIntact(gray) && guardIntact(color);
    }
    std::fclose(file);
    return intact;
}

} // namespace

// A 16-byte header is OS/2's short form of the 40-byte one.
TEST(BitmapDecoder, InfoHeadersOfSixteenOrFortyBytesAndMoreAreReadByTheirFirstBytes) {
    const Bytes plain = Build({.width = 2, .height = 2, .pixels = {1, 2, 0, 0, 3, 4, 0, 0}});
    const Bytes color = Build({.width = 2,
                               .height = 2,
                               .bitsPerPixel = 24,
                               .palette = {},
                               .pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}});
    for (const Bytes& file : {plain, color}) {
        const Decoded expected = Decode(file);
        ASSERT_EQ(expected.result, Result::Decodable);
        for (std::uint32_t infoSize : {16u, 48u, 96u, 200u}) {
            SCOPED_TRACE(infoSize);
            EXPECT_EQ(Decode(WithInfoHeaderSize(file, infoSize)), expected);
        }
    }
    Bytes shortUnknown = plain;
    shortUnknown[14] = 36;
    EXPECT_EQ(ReadHeaderOnly(shortUnknown), Result::Refused);
    Bytes pastTheEnd = plain;
    pastTheEnd[14] = 0xFF, pastTheEnd[15] = 0xFF, pastTheEnd[16] = 0xFF, pastTheEnd[17] = 0xFF;
    EXPECT_EQ(ReadHeaderOnly(pastTheEnd), Result::Refused);
    // A real file, unlike memory, lets a seek go past its end.
    std::FILE* file = std::tmpfile();
    ASSERT_EQ(std::fwrite(pastTheEnd.data(), 1, pastTheEnd.size(), file), pastTheEnd.size());
    std::rewind(file);
    EXPECT_EQ(Decode(file).result, Result::Refused);
}

TEST(BitmapDecoder, RunLengthDecodingStopsAtThePlanesEnd) {
    // 3 x 2 pixels: runs past the row's end, literal runs that end on it, moves past the last
    // pixel, and ends of line beyond the last row.
    const std::vector<Bytes> streams{
        {5, 7, 0, 0, 5, 8, 0, 1},
        {0, 3, 1, 2, 3, 0, 0, 0, 0, 3, 4, 5, 6, 0, 0, 1},
        {0, 2, 3, 0, 0, 3, 1, 2, 3, 0, 2, 9},
        {0, 2, 2, 1, 3, 9, 0, 4, 1, 2, 3, 4},
        {0, 0, 0, 0, 0, 0, 3, 1, 0, 1},
        {255, 5, 255, 6, 255, 7},
    };
    for (const Bytes& stream : streams) {
        SCOPED_TRACE(::testing::PrintToString(stream));
        EXPECT_TRUE(DecodeKeepsItsGuards(
            Build({.width = 3, .height = 2, .compression = 1, .pixels = stream})));
    }
}
