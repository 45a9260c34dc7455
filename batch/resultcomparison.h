// Folders of RAW result files compared with a reference folder, image by image: for every
// result of the reference (out<stem>.raw, and the runner's subfolders, outsub/<stem>.raw), the
// file of that name in the folder is present or not, of the same size or not, and how far its
// pixels are from the reference's.
#pragma once

#include "afxtypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CImageComparison {
    enum class Outcome { Equal, Differs, Missing, SizeDiffers, Damaged, ReferenceDamaged };

    std::string name; // below the folder, '/' between folders: out<stem>.raw, outsub/<stem>.raw
    Outcome outcome = Outcome::Missing;
    int width = 0; // of the compared file, once it could be read
    int height = 0;
    int referenceWidth = 0;
    int referenceHeight = 0;
    std::uint64_t differingPixels = 0; // by more than the tolerance
    int largestDifference = 0;
    double psnr = 0;             // in dB; infinite for identical planes
    std::string problem;         // why a file is damaged
    std::string differenceImage; // the PNG that shows where the planes differ, once written
};

struct CFolderComparison {
    std::string label; // the folder as given, or a student's name
    std::vector<CImageComparison> images;

    bool AllEqual() const;
};

struct CRawResult;

class CResultComparison {
public:
    // Every result of referenceFolder, its subfolders included, in name order. Nothing, with
    // problem set to a sentence for the user, when referenceFolder cannot be read or holds no
    // result. A pixel counts as equal when it differs by at most tolerance.
    static std::optional<CResultComparison> Open(const std::string& referenceFolder, int tolerance,
                                                 std::string& problem);
    // The results named, in their order, each of which referenceFolder must hold.
    static std::optional<CResultComparison> Open(const std::string& referenceFolder,
                                                 std::vector<std::string> names, int tolerance,
                                                 std::string& problem);

    const std::string& ReferenceFolder() const { return m_referenceFolder; }
    int Tolerance() const { return m_tolerance; }

    // Compares folder (a host path) with the reference. Where an image differs and
    // differenceFolder is given, a PNG of the same stem goes there: equal pixels dark gray,
    // differing ones red, the brighter the larger the difference.
    CFolderComparison Compare(const std::string& folder, const std::string& label,
                              const std::optional<std::string>& differenceFolder) const;

private:
    CResultComparison(std::string referenceFolder, std::vector<std::string> names, int tolerance);
    CImageComparison CompareImage(const std::string& name, const std::string& folder,
                                  const std::optional<std::string>& differenceFolder) const;
    // The PNG's path, or why it could not be written.
    std::string WriteDifferenceImage(const CRawResult& reference, const CRawResult& other,
                                     const std::string& differenceFolder,
                                     const std::string& name) const;

    std::string m_referenceFolder;
    std::vector<std::string> m_names;
    int m_tolerance;
};

// The difference image: red, green and blue per pixel, dark gray where the planes agree within
// the tolerance, red where they do not, the brighter the larger the difference; even a
// difference of 1 is a red well apart from the gray.
std::vector<BYTE> DifferencePixels(const BYTE* reference, const BYTE* other, std::size_t count,
                                   int tolerance);

// "35.21", "inf": distances and times in lines and tables.
std::string TwoDecimals(double value);

// "<label>/outcat.raw：不同：12 个像素不同，最大差 40，PSNR 35.21 dB"
std::string ImageComparisonLine(const std::string& label, const CImageComparison& image);
// "<label>：共 10 个图像：相同 8 个，不同 1 个，缺少 1 个，尺寸不同 0 个，损坏 0 个。"
std::string FolderComparisonSummary(const CFolderComparison& folder);

// What follows the outcome's word in an image's line: "：12 个像素不同，最大差 40，……".
std::string ImageOutcomeDetails(const CImageComparison& image);
// 相同, 容差内相同 (equal within the tolerance, not exactly), 不同, 缺少, 尺寸不同, 损坏, 参考损坏.
std::string ImageOutcomeWord(const CImageComparison& image);
// The columns of an image in a table: its outcome's word, the width and height, the differing
// pixels, the largest difference and the PSNR, each empty where it is not known.
std::vector<std::string> ImageComparisonFields(const CImageComparison& image);
// A damaged file's problem, or the difference image's path.
std::string ImageComparisonNote(const CImageComparison& image);

// The table for a spreadsheet: a header row, then one row per folder and image.
std::string ComparisonCsv(const std::vector<CFolderComparison>& folders, int tolerance);
