#include "resultcomparison.h"

#include "pngencoder.h"
#include "rawresultfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
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

// Red, green, blue per pixel: dark gray where the planes agree within the tolerance.
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

std::string PngNameOf(const std::string& rawName) {
    return fs::path(rawName).replace_extension(".png").string();
}

std::string Decimal(double value) {
    if (std::isinf(value))
        return "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
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
    return "最大差 " + std::to_string(image.largestDifference) + "，PSNR " + Decimal(image.psnr) +
           " dB";
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

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

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
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator entry(referenceFolder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("out") && name.ends_with(".raw") && !entry->is_directory())
            names.push_back(name);
    }
    if (error) {
        problem = "无法读取参考文件夹 " + referenceFolder + "。";
        return std::nullopt;
    }
    if (names.empty()) {
        problem = "参考文件夹 " + referenceFolder + " 中没有 out*.raw 结果文件。";
        return std::nullopt;
    }
    std::ranges::sort(names);
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
    const std::string path = (fs::path(differenceFolder) / PngNameOf(name)).string();
    std::error_code error;
    fs::create_directories(differenceFolder, error);
    std::string problem;
    if (!WriteFileReplacing(
            path, EncodePng(other.width, other.height, pixels.data(), CPngPixels::Rgb24), problem))
        return "无法写出 " + path + "（" + problem + "）";
    return path;
}

std::string ImageComparisonLine(const std::string& label, const CImageComparison& image) {
    return label + "/" + image.name + "：" + OutcomeWord(image.outcome) + OutcomeDetails(image);
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

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    return line + "\r\n";
}

std::string ComparisonCsvHeader(std::string_view firstColumn) {
    return CsvLine({std::string(firstColumn), "图像", "结果", "宽", "高", "不同像素", "最大差",
                    "PSNR", "说明"});
}

std::string ComparisonCsvRows(const CFolderComparison& folder) {
    using Outcome = CImageComparison::Outcome;
    std::string rows;
    for (const CImageComparison& image : folder.images) {
        const bool read = image.outcome != Outcome::Missing && image.outcome != Outcome::Damaged &&
                          image.outcome != Outcome::ReferenceDamaged;
        const bool compared = image.outcome == Outcome::Equal || image.outcome == Outcome::Differs;
        const auto when = [](bool known, const std::string& text) {
            return known ? text : std::string();
        };
        rows += CsvLine({folder.label, image.name, OutcomeWord(image.outcome),
                         when(read, std::to_string(image.width)),
                         when(read, std::to_string(image.height)),
                         when(compared, std::to_string(image.differingPixels)),
                         when(compared, std::to_string(image.largestDifference)),
                         when(compared, Decimal(image.psnr)),
                         image.problem.empty() ? image.differenceImage : image.problem});
    }
    return rows;
}

bool WriteComparisonCsv(const std::string& hostPath, const std::string& table,
                        std::string& problem) {
    const std::string bytes = "\xEF\xBB\xBF" + table;
    std::string reason;
    if (WriteFileReplacing(hostPath, {reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()},
                           reason))
        return true;
    problem = "无法写出表格 " + hostPath + "：" + reason + "。";
    return false;
}
