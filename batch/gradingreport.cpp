#include "gradingreport.h"

#include "logexcerpt.h"
#include "rawresultfile.h"
#include "reportpicture.h"
#include "textfile.h"

#include <filesystem>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

// Logs are kept short, but a report reads no more of one than this.
constexpr std::uintmax_t kMaxLogBytes = 8 << 20;

constexpr char kStyle[] =
    "body{font-family:'Noto Sans CJK SC','WenQuanYi Micro Hei',sans-serif;margin:16px;"
    "background:#fff;color:#111}"
    "table{border-collapse:collapse}td,th{border:1px solid #999;padding:4px 8px;"
    "text-align:left;vertical-align:top}"
    "section{margin-top:24px;border-top:2px solid #444}"
    ".pictures{display:flex;gap:12px;align-items:flex-start}"
    "figure{margin:0}figcaption{font-size:12px}"
    ".picture,img{display:block;image-rendering:pixelated;image-rendering:crisp-edges;"
    "background-size:100% 100%}"
    ".absent{width:96px;height:96px;border:1px dashed #999;font-size:12px}"
    "pre{background:#f4f4f4;padding:8px;white-space:pre-wrap}";

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string Size(const CReportPicture& picture) {
    return "width:" + std::to_string(picture.width) +
           "px;height:" + std::to_string(picture.height) + "px";
}

std::string Figure(const std::string& body, const std::string& caption) {
    return "<figure>" + body + "<figcaption>" + Escaped(caption) + "</figcaption></figure>";
}

std::string Image(const CReportPicture& picture, const std::string& alt) {
    return "<img src=\"" + picture.uri + "\" width=\"" + std::to_string(picture.width) +
           "\" height=\"" + std::to_string(picture.height) + "\" alt=\"" + Escaped(alt) + "\">";
}

std::string Absent(const std::string& why) {
    return "<div class=\"absent\">" + Escaped(why) + "</div>";
}

std::optional<CReportPicture> GrayPicture(const std::optional<CRawResult>& plane) {
    if (!plane)
        return std::nullopt;
    return CReportPicture::FromGray(plane->plane.get(), plane->width, plane->height);
}

// The student's result and its difference from the reference, where there is one to show.
std::string StudentPictures(const std::optional<CRawResult>& reference,
                            const std::optional<CRawResult>& result, int tolerance) {
    const std::optional<CReportPicture> shown = GrayPicture(result);
    std::string pictures =
        Figure(shown ? Image(*shown, "学生的结果") : Absent("没有结果"), "学生的结果");
    if (!reference || !result || reference->width != result->width ||
        reference->height != result->height)
        return pictures + Figure(Absent("无法比较"), "差异");
    const std::vector<BYTE> difference =
        DifferencePixels(reference->plane.get(), result->plane.get(),
                         std::size_t(result->width) * std::size_t(result->height), tolerance);
    return pictures +
           Figure(Image(CReportPicture::FromRgb(difference, result->width, result->height), "差异"),
                  "差异");
}

std::string LogBlock(const std::string& excerpt) {
    return excerpt.empty() ? "" : "<pre class=\"log\">" + Escaped(excerpt) + "</pre>";
}

} // namespace

// The pictures every student's failing image shows of the exercise: made once, as classes of
// the page's style.
struct CGradingReport::Shared {
    std::map<std::string, std::optional<CReportPicture>> pictures; // by class name

    // The figure of the picture of that class, made by make the first time it is shown.
    std::string Figure(const std::string& name, const std::string& caption,
                       const std::function<std::optional<CReportPicture>()>& make) {
        auto found = pictures.find(name);
        if (found == pictures.end())
            found = pictures.emplace(name, make()).first;
        if (!found->second)
            return ::Figure(Absent("无法读取"), caption);
        return ::Figure("<div class=\"picture " + name + "\" style=\"" + Size(*found->second) +
                            "\" role=\"img\" aria-label=\"" + Escaped(caption) + "\"></div>",
                        caption);
    }
    std::string Style() const {
        std::string style;
        for (const auto& [name, picture] : pictures)
            if (picture)
                style += "." + name + "{background-image:url(" + picture->uri + ")}";
        return style;
    }
};

CGradingReport::CGradingReport(const CExercise& exercise, const CResultComparison& comparison)
    : m_exercise(exercise), m_comparison(comparison) {}

std::string CGradingReport::Html(const std::string& summary,
                                 const std::vector<CReportStudent>& students) const {
    Shared shared;
    std::string rows;
    std::string sections;
    for (std::size_t i = 0; i < students.size(); ++i) {
        const std::string& name = students[i].grade->name;
        rows += "<tr data-student=\"" + Escaped(name) + "\"><td><a href=\"#student-" +
                std::to_string(i + 1) + "\">" + Escaped(name) + "</a></td><td>" +
                Escaped(students[i].line) + "</td></tr>\n";
        sections += StudentSection(i + 1, students[i], shared);
    }
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<title>评分报告</title><style>" +
           std::string(kStyle) + shared.Style() +
           "</style></head>\n<body>\n<h1>评分报告</h1>\n<p id=\"summary\">" + Escaped(summary) +
           "</p>\n<p>参考结果：" + Escaped(m_comparison.ReferenceFolder()) + "；容差 " +
           std::to_string(m_comparison.Tolerance()) +
           "。差异图中相同的像素为深灰色，不同的为红色，差越大越亮。</p>\n"
           "<table id=\"students\"><thead><tr><th>学生</th><th>成绩</th></tr></thead><tbody>\n" +
           rows + "</tbody></table>\n" + sections + "</body></html>\n";
}

std::string CGradingReport::StudentSection(std::size_t number, const CReportStudent& student,
                                           Shared& shared) const {
    const CStudentGrade& grade = *student.grade;
    const std::string log = ReadTextFile(student.logPath, kMaxLogBytes).value_or("");
    std::string body;
    if (grade.status == CStudentGrade::Status::DidNotBuild)
        body += LogBlock(BuildLogExcerpt(log));
    for (std::size_t i = 0; i < grade.images.size() && i < m_exercise.Images().size(); ++i)
        if (grade.images[i].outcome != CGradedImage::Outcome::Equal)
            body += ImageBlock(student, grade.images[i], m_exercise.Images()[i], log, shared);
    if (body.empty())
        return "";
    return "<section class=\"student\" id=\"student-" + std::to_string(number) +
           "\" data-student=\"" + Escaped(grade.name) + "\"><h2>" + Escaped(grade.name) +
           "</h2><p>" + Escaped(student.line) + "</p>\n" + body + "</section>\n";
}

std::string CGradingReport::ImageBlock(const CReportStudent& student, const CGradedImage& graded,
                                       const CExerciseImage& image, const std::string& log,
                                       Shared& shared) const {
    const std::string key = std::to_string(image.runIndex);
    std::string problem;
    const std::optional<CRawResult> reference = ReadRawResultFile(
        (fs::path(m_comparison.ReferenceFolder()) / image.resultName).string(), problem);
    const std::optional<CRawResult> result =
        ReadRawResultFile((fs::path(student.resultsFolder) / image.resultName).string(), problem);

    const std::string pictures = shared.Figure("input-" + key, "输入", [&image] {
        return CReportPicture::FromImageFile(image.hostPath, image.name);
    }) + shared.Figure("reference-" + key, "参考", [&reference] {
        return GrayPicture(reference);
    }) + StudentPictures(reference, result, m_comparison.Tolerance());
    const bool failed = graded.outcome == CGradedImage::Outcome::Crashed ||
                        graded.outcome == CGradedImage::Outcome::TimedOut;
    const std::string details = !graded.detail.empty() ? "：" + graded.detail
                                : graded.outcome == CGradedImage::Outcome::Missing
                                    ? "：学生的运行没有写出 " + image.resultName
                                    : ImageOutcomeDetails(graded.comparison);
    return "<div class=\"image\" data-image=\"" + Escaped(image.name) + "\"><h3>" +
           Escaped(image.name) + "</h3><p>" + Escaped(GradedImageWord(graded) + details) +
           "</p><div class=\"pictures\">" + pictures + "</div>" +
           (failed ? LogBlock(ImageLogExcerpt(log, image.runIndex, m_exercise.RunCount())) : "") +
           "</div>\n";
}
