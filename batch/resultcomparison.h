// Folders of RAW result files compared with a reference folder, image by image: for every
// out<stem>.raw of the reference, the file of that name in the folder is present or not, of the
// same size or not, and how far its pixels are from the reference's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CImageComparison {
    enum class Outcome { Equal, Differs, Missing, SizeDiffers, Damaged, ReferenceDamaged };

    std::string name; // out<stem>.raw
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
    // Nothing, with problem set to a sentence for the user, when referenceFolder cannot be
    // read or holds no out*.raw file. A pixel counts as equal when it differs by at most
    // tolerance.
    static std::optional<CResultComparison> Open(const std::string& referenceFolder, int tolerance,
                                                 std::string& problem);

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

// "<label>/outcat.raw：不同：12 个像素不同，最大差 40，PSNR 35.21 dB"
std::string ImageComparisonLine(const std::string& label, const CImageComparison& image);
// "<label>：共 10 个图像：相同 8 个，不同 1 个，缺少 1 个，尺寸不同 0 个，损坏 0 个。"
std::string FolderComparisonSummary(const CFolderComparison& folder);

// The table for a spreadsheet: the header row, whose first column is named firstColumn, and
// one row per image of a folder. Lines end in CR LF, fields are quoted where they must be.
std::string ComparisonCsvHeader(std::string_view firstColumn);
std::string ComparisonCsvRows(const CFolderComparison& folder);
std::string CsvLine(const std::vector<std::string>& fields);
// Writes table (header and rows) at hostPath in UTF-8, after a byte-order mark by which
// spreadsheet programs know it; false, with problem set to a sentence, when it cannot.
bool WriteComparisonCsv(const std::string& hostPath, const std::string& table,
                        std::string& problem);
