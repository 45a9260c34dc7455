#include "gradingtables.h"

#include "csvtext.h"

#include <algorithm>
#include <iterator>

namespace {

using Status = CStudentGrade::Status;

bool WasRun(const CStudentGrade& grade) {
    return grade.status != Status::DidNotBuild && grade.status != Status::NotGraded;
}

// An image the run wrote no result for has only its outcome and what the run said of it.
std::vector<std::string> ImageFields(const CGradedImage& image) {
    using Outcome = CGradedImage::Outcome;
    if (image.outcome == Outcome::Crashed || image.outcome == Outcome::TimedOut ||
        image.outcome == Outcome::Missing)
        return {GradedImageWord(image), "", "", "", "", ""};
    return ImageComparisonFields(image.comparison);
}

std::string ImageNote(const CGradedImage& image) {
    return image.detail.empty() ? ImageComparisonNote(image.comparison) : image.detail;
}

std::string StudentNote(const CStudentGrade& grade) {
    if (!WasRun(grade))
        return grade.detail;
    return grade.reused ? "未改变，沿用上次结果" : "";
}

} // namespace

std::string GradeImagesCsv(const std::vector<CStudentGrade>& grades, int tolerance) {
    std::string table = CsvLine({"学生", "图像", "结果", "宽", "高", "不同像素", "最大差", "PSNR",
                                 "容差", "用时（秒）", "说明"});
    const std::string toleranceText = std::to_string(tolerance);
    for (const CStudentGrade& grade : grades) {
        if (!WasRun(grade)) {
            table += CsvLine({grade.name, "", StudentStatusWord(grade.status), "", "", "", "", "",
                              toleranceText, "", grade.detail});
            continue;
        }
        for (const CGradedImage& image : grade.images) {
            std::vector<std::string> fields = {grade.name, image.name};
            std::ranges::move(ImageFields(image), std::back_inserter(fields));
            fields.insert(fields.end(),
                          {toleranceText, TwoDecimals(image.seconds), ImageNote(image)});
            table += CsvLine(fields);
        }
    }
    return table;
}

std::string GradeScoresCsv(const std::vector<CStudentGrade>& grades, std::optional<double> points) {
    std::vector<std::string> header = {"学生",   "状态",      "相同图像",  "图像数",
                                       "最大差", "最低 PSNR", "用时（秒）"};
    if (points)
        header.push_back("得分");
    header.push_back("说明");
    std::string table = CsvLine(header);
    for (const CStudentGrade& grade : grades) {
        const bool run = WasRun(grade);
        const std::optional<int> largest = grade.LargestDifference();
        const std::optional<double> lowest = grade.LowestPsnr();
        std::vector<std::string> fields = {grade.name,
                                           StudentStatusWord(grade.status),
                                           run ? std::to_string(grade.EqualImages()) : "",
                                           run ? std::to_string(grade.images.size()) : "",
                                           largest ? std::to_string(*largest) : "",
                                           lowest ? TwoDecimals(*lowest) : "",
                                           run ? TwoDecimals(grade.seconds) : ""};
        if (points)
            fields.push_back(
                grade.status == Status::NotGraded ? "" : PointsText(StudentPoints(grade, *points)));
        fields.push_back(StudentNote(grade));
        table += CsvLine(fields);
    }
    return table;
}
