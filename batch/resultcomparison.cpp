#include "resultcomparison.h"

#include "csvtext.h"
#include "pngencoder.h"
#include "rawresultfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>

namespace fs = std::filesystem;

namespace {

constexpr double kLargestValue = 255.0;
constexpr BYTE kEqualGray = 64;
// Even a difference of 1 is a red well apart from the equal pixels' gray.
constexpr int kFaintestRed = 96;

struct PixelDifferences {
    std::uint64_t beyondTolerance = 0;
    int largest = 0;
    double sumOfSquares = 0;
};

PixelDifferences Differences(const BYTE* reference, const BYTE* other, std::size_t count,
                             int tolerance) {
    PixelDifferences found;
    std::uint64_t sumOfSquares = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int difference = std::abs(int{reference[i]} - int{other[i]});
        found.beyondTolerance += difference > tolerance ? 1 : 0;
        found.largest = std::max(found.largest, difference);
        sumOfSquares += static_cast<std::uint64_t>(difference * difference);
    }
    found.sumOfSquares = static_cast<double>(sumOfSquares);
    return found;
}

double Psnr(double sumOfSquares, std::size_t count) {
    if (sumOfSquares == 0 || count == 0)
        return std::numeric_limits<double>::infinity();
    return 10 *
           std::log10(kLargestValue * kLargestValue * static_cast<double>(count) / sumOfSquares);
}

std::string PngNameOf(const std::string& rawName) {
    return fs::path(rawName).replace_extension(".png").string();
}

std::string Size(int width, int height) {
    return std::to_string(width) + "×" + std::to_string(height);
}

const char* OutcomeWord(CImageComparison::Outcome outcome) {
    using Outcome = CImageComparison::Outcome;
    switch (outcome) {
    case Outcome::Equal:
        return "相同";
    case Outcome::Differs:
        return "不同";
    case Outcome::Missing:
        return "缺少";
    case Outcome::SizeDiffers:
        return "尺寸不同";
    case Outcome::Damaged:
        return "损坏";
    case Outcome::ReferenceDamaged:
        return "参考损坏";
    }
    return "";
}

std::string Distances(const CImageComparison& image) {
    return "最大差 " + std::to_string(image.largestDifference) + "，PSNR " +
           TwoDecimals(image.psnr) + " dB";
}

std::string OutcomeDetails(const CImageComparison& image) {
    using Outcome = CImageComparison::Outcome;
    switch (image.outcome) {
    case Outcome::Equal:
        return image.largestDifference == 0 ? "" : "（在容差之内），" + Distances(image);
    case Outcome::Differs:
        return "：" + std::to_string(image.differingPixels) + " 个像素不同，" + Distances(image) +
               (image.differenceImage.empty() ? "" : "，差异图 " + image.differenceImage);
    case Outcome::SizeDiffers:
        return "：参考是 " + Size(image.referenceWidth, image.referenceHeight) + "，这里是 " +
               Size(image.width, image.height);
    case Outcome::Damaged:
    case Outcome::ReferenceDamaged:
        return "：" + image.problem;
    case Outcome::Missing:
        break;
    }
    return "";
}

// A file the runner writes: the first folder or the name begins with "out", the name ends in
// ".raw" ("outcat.raw", "outsub/kitten.raw").
bool IsRunnerResult(const fs::path& relative) {
    return relative.begin()->string().starts_with("out") && relative.extension() == ".raw";
}

// The results below folder, '/' between folders, in name order.
std::optional<std::vector<std::string>> ResultsBelow(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path relative = entry->path().lexically_relative(folder);
        std::error_code kind;
        if (IsRunnerResult(relative) && entry->is_regular_file(kind))
            names.push_back(relative.generic_string());
    }
    if (error)
        return std::nullopt;
    std::ranges::sort(names);
    return names;
}

} // namespace

std::vector<BYTE> DifferencePixels(const BYTE* reference, const BYTE* other, std::size_t count,
                                   int tolerance) {
    std::vector<BYTE> pixels(3 * count, kEqualGray);
    for (std::size_t i = 0; i < count; ++i) {
        const int difference = std::abs(int{reference[i]} - int{other[i]});
        if (difference <= tolerance)
            continue;
        pixels[3 * i] = static_cast<BYTE>(kFaintestRed + (255 - kFaintestRed) * difference / 255);
        pixels[3 * i + 1] = 0;
        pixels[3 * i + 2] = 0;
    }
    return pixels;
}

std::string TwoDecimals(double value) {
    if (std::isinf(value))
        return "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

bool CFolderComparison::AllEqual() const {
    return std::ranges::all_of(images, [](const CImageComparison& image) {
        return image.outcome == CImageComparison::Outcome::Equal;
    });
}

CResultComparison::CResultComparison(std::string referenceFolder, std::vector<std::string> names,
                                     int tolerance)
    : m_referenceFolder(std::move(referenceFolder)), m_names(std::move(names)),
      m_tolerance(tolerance) {}

std::optional<CResultComparison> CResultComparison::Open(const std::string& referenceFolder,
                                                         int tolerance, std::string& problem) {
    std::optional<std::vector<std::string>> names = ResultsBelow(referenceFolder);
    if (!names) {
        problem = "无法读取参考文件夹 " + referenceFolder + "。";
        return std::nullopt;
    }
    if (names->empty()) {
        problem = "参考文件夹 " + referenceFolder + " 中没有 out*.raw 结果文件。";
        return std::nullopt;
    }
    return CResultComparison(referenceFolder, std::move(*names), tolerance);
}

std::optional<CResultComparison> CResultComparison::Open(const std::string& referenceFolder,
                                                         std::vector<std::string> names,
                                                         int tolerance, std::string& problem) {
    for (const std::string& name : names) {
        std::error_code error;
        if (!fs::is_regular_file(fs::path(referenceFolder) / name, error)) {
            problem = "参考文件夹 " + referenceFolder + " 中没有 " + name + "。";
            return std::nullopt;
        }
    }
    return CResultComparison(referenceFolder, std::move(names), tolerance);
}

CFolderComparison
CResultComparison::Compare(const std::string& folder, const std::string& label,
                           const std::optional<std::string>& differenceFolder) const {
    CFolderComparison compared{label, {}};
    for (const std::string& name : m_names)
        compared.images.push_back(CompareImage(name, folder, differenceFolder));
    return compared;
}

CImageComparison
CResultComparison::CompareImage(const std::string& name, const std::string& folder,
                                const std::optional<std::string>& differenceFolder) const {
    using Outcome = CImageComparison::Outcome;
    CImageComparison image;
    image.name = name;
    // A file that cannot be read gives the image this outcome, with the reason.
    const auto read = [&image](const fs::path& path, Outcome damaged) {
        std::optional<CRawResult> result = ReadRawResultFile(path.string(), image.problem);
        if (!result)
            image.outcome = damaged;
        return result;
    };
    const std::optional<CRawResult> reference =
        read(fs::path(m_referenceFolder) / name, Outcome::ReferenceDamaged);
    if (!reference)
        return image;
    image.referenceWidth = reference->width;
    image.referenceHeight = reference->height;
    const fs::path otherPath = fs::path(folder) / name;
    std::error_code error;
    if (!fs::exists(otherPath, error))
        return image; // missing
    const std::optional<CRawResult> other = read(otherPath, Outcome::Damaged);
    if (!other)
        return image;
    image.width = other->width;
    image.height = other->height;
    if (other->width != reference->width || other->height != reference->height) {
        image.outcome = Outcome::SizeDiffers;
        return image;
    }
    const std::size_t count = std::size_t(other->width) * std::size_t(other->height);
    const PixelDifferences found =
        Differences(reference->plane.get(), other->plane.get(), count, m_tolerance);
    image.differingPixels = found.beyondTolerance;
    image.largestDifference = found.largest;
    image.psnr = Psnr(found.sumOfSquares, count);
    image.outcome = found.beyondTolerance == 0 ? Outcome::Equal : Outcome::Differs;
    if (image.outcome == Outcome::Differs && differenceFolder)
        image.differenceImage = WriteDifferenceImage(*reference, *other, *differenceFolder, name);
    return image;
}

std::string CResultComparison::WriteDifferenceImage(const CRawResult& reference,
                                                    const CRawResult& other,
                                                    const std::string& differenceFolder,
                                                    const std::string& name) const {
    const std::size_t count = std::size_t(other.width) * std::size_t(other.height);
    const std::vector<BYTE> pixels =
        DifferencePixels(reference.plane.get(), other.plane.get(), count, m_tolerance);
    const fs::path path = fs::path(differenceFolder) / PngNameOf(name);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::string problem;
    if (!WriteFileReplacing(path.string(),
                            EncodePng(other.width, other.height, pixels.data(), CPngPixels::Rgb24),
                            problem))
        return "无法写出 " + path.string() + "（" + problem + "）";
    return path.string();
}

std::string ImageComparisonLine(const std::string& label, const CImageComparison& image) {
    return label + "/" + image.name + "：" + OutcomeWord(image.outcome) + OutcomeDetails(image);
}

std::string ImageOutcomeDetails(const CImageComparison& image) {
    return OutcomeDetails(image);
}

std::string FolderComparisonSummary(const CFolderComparison& folder) {
    using Outcome = CImageComparison::Outcome;
    const auto count = [&](Outcome outcome, Outcome alike) {
        return std::to_string(std::ranges::count_if(folder.images, [&](const auto& image) {
            return image.outcome == outcome || image.outcome == alike;
        }));
    };
    return folder.label + "：共 " + std::to_string(folder.images.size()) + " 个图像：相同 " +
           count(Outcome::Equal, Outcome::Equal) + " 个，不同 " +
           count(Outcome::Differs, Outcome::Differs) + " 个，缺少 " +
           count(Outcome::Missing, Outcome::Missing) + " 个，尺寸不同 " +
           count(Outcome::SizeDiffers, Outcome::SizeDiffers) + " 个，损坏 " +
           count(Outcome::Damaged, Outcome::ReferenceDamaged) + " 个。";
}

std::string ImageOutcomeWord(const CImageComparison& image) {
    if (image.outcome == CImageComparison::Outcome::Equal && image.largestDifference > 0)
        return "容差内相同";
    return OutcomeWord(image.outcome);
}

std::vector<std::string> ImageComparisonFields(const CImageComparison& image) {
    using Outcome = CImageComparison::Outcome;
    const bool read = image.outcome != Outcome::Missing && image.outcome != Outcome::Damaged &&
                      image.outcome != Outcome::ReferenceDamaged;
    const bool compared = image.outcome == Outcome::Equal || image.outcome == Outcome::Differs;
    const auto when = [](bool known, const std::string& text) {
        return known ? text : std::string();
    };
    return {ImageOutcomeWord(image),
            when(read, std::to_string(image.width)),
            when(read, std::to_string(image.height)),
            when(compared, std::to_string(image.differingPixels)),
            when(compared, std::to_string(image.largestDifference)),
            when(compared, TwoDecimals(image.psnr))};
}

std::string ImageComparisonNote(const CImageComparison& image) {
    return image.problem.empty() ? image.differenceImage : image.problem;
}

std::string ComparisonCsv(const std::vector<CFolderComparison>& folders, int tolerance) {
    std::string table = CsvLine(
        {"文件夹", "图像", "结果", "宽", "高", "不同像素", "最大差", "PSNR", "容差", "说明"});
    for (const CFolderComparison& folder : folders)
        for (const CImageComparison& image : folder.images) {
            std::vector<std::string> fields = {folder.label, image.name};
            std::ranges::move(ImageComparisonFields(image), std::back_inserter(fields));
            fields.push_back(std::to_string(tolerance));
            fields.push_back(ImageComparisonNote(image));
            table += CsvLine(fields);
        }
    return table;
}
