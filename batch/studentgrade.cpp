#include "studentgrade.h"

#include "exercise.h"

#include <algorithm>
#include <cmath>

namespace {

using Outcome = CGradedImage::Outcome;
using Status = CStudentGrade::Status;

Outcome OutcomeOfComparison(CImageComparison::Outcome outcome) {
    switch (outcome) {
    case CImageComparison::Outcome::Equal:
        return Outcome::Equal;
    case CImageComparison::Outcome::Differs:
        return Outcome::Differs;
    case CImageComparison::Outcome::SizeDiffers:
        return Outcome::SizeDiffers;
    case CImageComparison::Outcome::Damaged:
        return Outcome::Damaged;
    case CImageComparison::Outcome::ReferenceDamaged:
        return Outcome::ReferenceDamaged;
    case CImageComparison::Outcome::Missing:
        break;
    }
    return Outcome::Missing;
}

// What became of an image the run wrote no result for.
void TakeRunOutcome(const CImageRun& run, const CStepRunRecord& record, CGradedImage& image) {
    if (run.kind == CImageRun::Kind::Failed || run.kind == CImageRun::Kind::TimedOut) {
        image.outcome = run.kind == CImageRun::Kind::Failed ? Outcome::Crashed : Outcome::TimedOut;
        image.detail = run.detail;
    } else if (run.kind == CImageRun::Kind::NotReported && record.runTimedOut) {
        image.outcome = Outcome::TimedOut;
        image.detail = record.runProblem;
    } else if (run.kind == CImageRun::Kind::NotReported && !record.runProblem.empty()) {
        image.outcome = Outcome::Crashed;
        image.detail = record.runProblem;
    }
}

std::size_t CountOf(const std::vector<CGradedImage>& images, Outcome outcome) {
    return static_cast<std::size_t>(std::ranges::count(images, outcome, &CGradedImage::outcome));
}

// "，1 个运行出错（[1/10] ……）": nothing when there are none.
std::string Part(const std::vector<CGradedImage>& images, Outcome outcome, const char* word,
                 const std::string& aside = {}) {
    const std::size_t count = CountOf(images, outcome);
    if (count == 0)
        return "";
    return "，" + std::to_string(count) + " 个" + word + (aside.empty() ? "" : "（" + aside + "）");
}

std::string FirstDetail(const std::vector<CGradedImage>& images, Outcome outcome) {
    const auto first = std::ranges::find(images, outcome, &CGradedImage::outcome);
    return first == images.end() ? "" : first->detail;
}

// Over the differing images: those within the tolerance differ by less than any of them.
std::string DifferingAside(const CStudentGrade& grade) {
    return "最大差 " + std::to_string(grade.LargestDifference().value_or(0)) + "，最低 PSNR " +
           TwoDecimals(grade.LowestPsnr().value_or(0)) + " dB";
}

std::string WithinToleranceAside(const std::vector<CGradedImage>& images) {
    const auto within = std::ranges::count_if(images, [](const CGradedImage& image) {
        return image.outcome == Outcome::Equal && image.comparison.largestDifference > 0;
    });
    return within == 0 ? "" : "其中 " + std::to_string(within) + " 个容差内相同";
}

std::string ImagesPart(const CStudentGrade& grade) {
    const std::vector<CGradedImage>& images = grade.images;
    return std::to_string(images.size()) + " 个图像中 " +
           std::to_string(CountOf(images, Outcome::Equal)) + " 个相同" +
           (WithinToleranceAside(images).empty() ? ""
                                                 : "（" + WithinToleranceAside(images) + "）") +
           Part(images, Outcome::Differs, "不同", DifferingAside(grade)) +
           Part(images, Outcome::Crashed, "运行出错", FirstDetail(images, Outcome::Crashed)) +
           Part(images, Outcome::TimedOut, "超时", FirstDetail(images, Outcome::TimedOut)) +
           Part(images, Outcome::Missing, "缺少") + Part(images, Outcome::SizeDiffers, "尺寸不同") +
           Part(images, Outcome::Damaged, "损坏") +
           Part(images, Outcome::ReferenceDamaged, "参考损坏");
}

} // namespace

int CStudentGrade::EqualImages() const {
    return static_cast<int>(CountOf(images, Outcome::Equal));
}

std::optional<int> CStudentGrade::LargestDifference() const {
    std::optional<int> largest;
    for (const CGradedImage& image : images)
        if (image.outcome == Outcome::Equal || image.outcome == Outcome::Differs)
            largest = std::max(largest.value_or(0), image.comparison.largestDifference);
    return largest;
}

std::optional<double> CStudentGrade::LowestPsnr() const {
    std::optional<double> lowest;
    for (const CGradedImage& image : images)
        if (image.outcome == Outcome::Differs)
            lowest = std::min(lowest.value_or(image.comparison.psnr), image.comparison.psnr);
    return lowest;
}

std::vector<CGradedImage> GradedImages(const std::vector<CExerciseImage>& images,
                                       const CStepRunRecord& record,
                                       const CFolderComparison& compared) {
    std::vector<CGradedImage> graded;
    for (std::size_t i = 0; i < images.size() && i < compared.images.size(); ++i) {
        const CImageRun ran = record.Image(images[i].runIndex);
        CGradedImage image{images[i].name,
                           OutcomeOfComparison(compared.images[i].outcome),
                           compared.images[i],
                           {},
                           ran.seconds};
        if (image.outcome == Outcome::Missing)
            TakeRunOutcome(ran, record, image);
        graded.push_back(std::move(image));
    }
    return graded;
}

Status StatusOfImages(const std::vector<CGradedImage>& images) {
    if (CountOf(images, Outcome::TimedOut) > 0)
        return Status::TimedOut;
    if (CountOf(images, Outcome::Crashed) > 0)
        return Status::Crashed;
    return CountOf(images, Outcome::Equal) == images.size() ? Status::Equal : Status::Differs;
}

std::string GradedImageWord(const CGradedImage& image) {
    switch (image.outcome) {
    case Outcome::Crashed:
        return "运行出错";
    case Outcome::TimedOut:
        return "超时";
    case Outcome::Missing:
        return "缺少";
    default:
        return ImageOutcomeWord(image.comparison);
    }
}

const char* StudentStatusWord(Status status) {
    switch (status) {
    case Status::Equal:
        return "相同";
    case Status::Differs:
        return "不同";
    case Status::Crashed:
        return "运行出错";
    case Status::TimedOut:
        return "超时";
    case Status::DidNotBuild:
        return "没有编译成功";
    case Status::NotGraded:
        break;
    }
    return "未评分";
}

double StudentPoints(const CStudentGrade& grade, double points) {
    if (grade.images.empty())
        return 0;
    return grade.EqualImages() * points / static_cast<double>(grade.images.size());
}

std::string PointsText(double points) {
    std::string text = TwoDecimals(std::round(points * 100) / 100);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

std::string StudentGradeLine(const CStudentGrade& grade, std::optional<double> points) {
    const std::string reused = grade.reused ? "（未改变，沿用上次结果）" : "";
    const std::string scored = points ? "；得分 " + PointsText(StudentPoints(grade, *points)) +
                                            "（满分 " + PointsText(*points) + "）"
                                      : "";
    switch (grade.status) {
    case Status::NotGraded:
        return grade.name + "：未评分：" + grade.detail;
    case Status::DidNotBuild:
        return grade.name + "：没有编译成功" + reused + "：" + grade.detail + scored;
    default:
        return grade.name + "：已编译" + reused + "，" + ImagesPart(grade) + scored;
    }
}

std::string GradeSummaryLine(const std::vector<CStudentGrade>& grades) {
    const auto count = [&](Status status) {
        return std::to_string(std::ranges::count(grades, status, &CStudentGrade::status));
    };
    const std::string notGraded = count(Status::NotGraded);
    return "共 " + std::to_string(grades.size()) + " 名学生：相同 " + count(Status::Equal) +
           " 名，不同 " + count(Status::Differs) + " 名，运行出错 " + count(Status::Crashed) +
           " 名，超时 " + count(Status::TimedOut) + " 名，没有编译成功 " +
           count(Status::DidNotBuild) + " 名" +
           (notGraded == "0" ? "" : "，未评分 " + notGraded + " 名") + "。";
}
