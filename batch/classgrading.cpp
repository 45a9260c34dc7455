#include "classgrading.h"

#include "childprogram.h"
#include "rawresultfile.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Status = CStudentGrade::Status;

// The programs of the run are those installed beside this one.
std::string ProgramBeside(const char* name) {
    std::error_code error;
    return (fs::read_symlink("/proc/self/exe", error).parent_path() / name).string();
}

bool IsStepSource(const fs::path& path) {
    return path.extension() == ".cpp" || path.extension() == ".c";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The line that names the first problem: the compiler's first error, or failing that its first
// word at all.
std::string FirstErrorLine(const std::string& output) {
    const std::vector<std::string> lines = Lines(output);
    const auto error = std::ranges::find_if(
        lines, [](const std::string& line) { return line.find("error") != std::string::npos; });
    return error != lines.end() ? *error : lines.empty() ? "没有输出" : lines.front();
}

// A run's first line that is neither an image's progress nor the closing count.
std::string FirstFailureLine(const std::string& output) {
    for (const std::string& line : Lines(output))
        if (line.find(" -> ") == std::string::npos && !line.starts_with("共 "))
            return line;
    return "没有输出";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// vexlan-batch --list: "name<TAB>menu text<TAB>path" for each installed step.
std::optional<std::string> StepNameIn(const std::string& listing, const std::string& folder) {
    for (const std::string& line : Lines(listing)) {
        const std::size_t tab = line.find('\t');
        const std::size_t pathTab = line.rfind('\t');
        if (tab != std::string::npos && line.compare(pathTab + 1, folder.size(), folder) == 0)
            return line.substr(0, tab);
    }
    return std::nullopt;
}

// The settings between separators: "threshold=64，scale=2".
std::string SettingsText(const std::vector<std::string>& settings, const std::string& separator) {
    std::string text;
    for (const std::string& setting : settings)
        text += (text.empty() ? "" : separator) + setting;
    return text;
}

void ReplaceFolder(const std::string& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
}

const char* StatusWord(Status status) {
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
    }
    return "";
}

std::string DifferenceSummary(const CFolderComparison& comparison) {
    int largest = 0;
    double lowest = std::numeric_limits<double>::infinity();
    std::size_t unequal = 0;
    for (const CImageComparison& image : comparison.images) {
        if (image.outcome == CImageComparison::Outcome::Equal)
            continue;
        ++unequal;
        largest = std::max(largest, image.largestDifference);
        if (image.outcome == CImageComparison::Outcome::Differs)
            lowest = std::min(lowest, image.psnr);
    }
    // Distances only where some image had its pixels compared (not only missing or cut off).
    char distances[96] = "";
    if (std::isfinite(lowest))
        std::snprintf(distances, sizeof distances, "，最大差 %d，最低 PSNR %.2f dB", largest,
                      lowest);
    return std::to_string(comparison.images.size()) + " 个图像中 " + std::to_string(unequal) +
           " 个与参考不一致" + distances;
}

} // namespace

std::string StudentGradeLine(const CStudentGrade& grade) {
    const std::string built = grade.name + "：已编译，";
    switch (grade.status) {
    case Status::Equal:
        return built + "相同（" + std::to_string(grade.comparison->images.size()) + " 个图像）";
    case Status::Differs:
        return built + "不同：" + DifferenceSummary(*grade.comparison);
    case Status::Crashed:
    case Status::TimedOut:
        return built + StatusWord(grade.status) + "：" + grade.detail;
    case Status::DidNotBuild:
        break;
    }
    return grade.name + "：没有编译成功：" + grade.detail;
}

CClassGrading::CClassGrading(CGradingRequest request, std::ostream& out, std::ostream& err)
    : m_request(std::move(request)), m_stepProgram(ProgramBeside("vexlan-step")),
      m_batchProgram(ProgramBeside("vexlan-batch")), m_out(out), m_err(err) {
    // The step folders go into XDG_DATA_HOME, which only an absolute path may name.
    std::error_code error;
    m_request.runFolder = fs::absolute(m_request.runFolder, error).lexically_normal().string();
}

int CClassGrading::Run() {
    constexpr int kUnusable = 2;
    const std::optional<std::vector<Student>> students = FindStudents();
    if (!students)
        return kUnusable;
    if (const std::optional<std::string> problem = PrepareReference()) {
        m_err << "vexlan-batch：" << *problem << "\n";
        return kUnusable;
    }
    std::string problem;
    const std::optional<CResultComparison> comparison =
        CResultComparison::Open(m_referenceResults, m_request.tolerance, problem);
    if (!comparison) {
        m_err << "vexlan-batch：" << problem << "\n";
        return kUnusable;
    }
    if (!m_request.settings.empty())
        m_out << "参数：" << SettingsText(m_request.settings, "，") << "\n";
    GradeAll(*students, *comparison);
    return m_allEqual ? 0 : 1;
}

std::optional<std::vector<CClassGrading::Student>> CClassGrading::FindStudents() {
    std::vector<Student> students;
    std::error_code error;
    for (fs::directory_iterator entry(m_request.studentsFolder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path path = entry->path();
        if (path.filename().string().starts_with("."))
            continue;
        if (!entry->is_directory()) {
            if (IsStepSource(path))
                students.push_back({path.stem().string(), path.string(), {}});
            continue;
        }
        std::vector<std::string> sources;
        std::error_code inner;
        for (const fs::directory_entry& file : fs::directory_iterator(path, inner))
            if (IsStepSource(file.path()) && !file.is_directory())
                sources.push_back(file.path().string());
        Student student{path.filename().string(), sources.size() == 1 ? sources.front() : "", {}};
        if (sources.size() != 1)
            student.sourceProblem =
                sources.empty()
                    ? "文件夹中没有步骤源文件（.c 或 .cpp）"
                    : "文件夹中有 " + std::to_string(sources.size()) + " 个源文件，应只有一个";
        students.push_back(std::move(student));
    }
    if (error || students.empty()) {
        m_err << "vexlan-batch：" << (error ? "无法读取学生文件夹 " : "学生文件夹 ")
              << m_request.studentsFolder
              << (error ? "。" : " 中没有步骤源文件（NAME.cpp，或每名学生一个文件夹）。") << "\n";
        return std::nullopt;
    }
    std::ranges::sort(students, {}, &Student::name);
    return students;
}

std::optional<std::string> CClassGrading::PrepareReference() {
    const fs::path reference(m_request.reference);
    std::error_code error;
    if (fs::is_directory(reference, error)) {
        m_referenceResults = m_request.reference;
        return std::nullopt;
    }
    if (!IsStepSource(reference) || !fs::is_regular_file(reference, error))
        return "参考 " + m_request.reference +
               " 应是结果文件夹或步骤源文件（.c 或 .cpp），它两者都不是。";
    const fs::path folder = fs::path(m_request.runFolder) / "reference";
    m_referenceResults = (folder / "results").string();
    const StepRun run =
        BuildAndRun(m_request.reference, (folder / "steps").string(), m_referenceResults);
    if (!run.failure)
        return std::nullopt;
    return "参考步骤 " + m_request.reference + " " + StatusWord(*run.failure) + "：" + run.detail +
           "。";
}

CClassGrading::StepRun CClassGrading::BuildAndRun(const std::string& source,
                                                  const std::string& stepsHome,
                                                  const std::string& resultsFolder) const {
    ReplaceFolder(stepsHome);
    ReplaceFolder(resultsFolder);
    const std::vector<std::string> environment = {"XDG_DATA_HOME=" + stepsHome};
    StepRun run;
    const CChildProgramEnd build = RunChildProgram({m_stepProgram, "build", source}, environment);
    run.log = "$ vexlan-step build " + source + "\n" + build.output;
    if (build.status != 0)
        return {Status::DidNotBuild, FirstErrorLine(build.output), run.log};

    const CChildProgramEnd listing = RunChildProgram({m_batchProgram, "--list"}, environment);
    const std::string stepFolder = (fs::path(stepsHome) / "vexlan" / "steps").string() + "/";
    const std::optional<std::string> name = StepNameIn(listing.output, stepFolder);
    if (!name) {
        run.log += listing.output;
        const std::vector<std::string> lines = Lines(listing.output);
        const auto refusal = std::ranges::find_if(lines, [&](const std::string& line) {
            return line.find(stepFolder) != std::string::npos;
        });
        return {Status::DidNotBuild,
                refusal != lines.end() ? *refusal : "没有找到用 VEXLAN_STEP 声明的步骤", run.log};
    }

    std::vector<std::string> args = {m_batchProgram, "-o", resultsFolder, "--timeout",
                                     Seconds(m_request.timeoutSeconds)};
    for (const std::string& setting : m_request.settings)
        args.insert(args.end(), {"--set", setting});
    args.insert(args.end(), {"--", *name});
    args.insert(args.end(), m_request.files.begin(), m_request.files.end());
    // One image past the limit is enough: the images after it would only take as long.
    std::string timedOut;
    const CChildProgramEnd ran = RunChildProgram(args, environment, [&](const std::string& line) {
        if (line.find("超时") != std::string::npos)
            timedOut = line;
        return timedOut.empty();
    });
    const std::string setArgs =
        m_request.settings.empty() ? "" : " --set " + SettingsText(m_request.settings, " --set ");
    run.log += "$ vexlan-batch -o " + resultsFolder + setArgs + " " + *name + " ...\n" + ran.output;
    if (!timedOut.empty())
        return {Status::TimedOut, timedOut, run.log};
    if (ran.status != 0)
        return {Status::Crashed, FirstFailureLine(ran.output), run.log};
    return run;
}

CStudentGrade CClassGrading::Grade(const Student& student,
                                   const CResultComparison& comparison) const {
    CStudentGrade grade;
    grade.name = student.name;
    if (student.source.empty()) {
        grade.detail = student.sourceProblem;
        return grade;
    }
    const fs::path run(m_request.runFolder);
    const std::string results = (run / "results" / student.name).string();
    const StepRun ran =
        BuildAndRun(student.source, (run / "steps" / student.name).string(), results);
    std::string problem;
    std::error_code error;
    fs::create_directories(run / "logs", error);
    const std::string& log = ran.log;
    WriteFileReplacing((run / "logs" / (student.name + ".txt")).string(),
                       {reinterpret_cast<const BYTE*>(log.data()), log.size()}, problem);
    if (ran.failure) {
        grade.status = *ran.failure;
        grade.detail = ran.detail;
        return grade;
    }
    const std::optional<std::string> differences =
        m_request.differenceFolder
            ? std::optional((fs::path(*m_request.differenceFolder) / student.name).string())
            : std::nullopt;
    grade.comparison = comparison.Compare(results, student.name, differences);
    grade.status = grade.comparison->AllEqual() ? Status::Equal : Status::Differs;
    return grade;
}

// The students are graded side by side, one per processor, and reported in name order as soon
// as those before them are done.
void CClassGrading::GradeAll(const std::vector<Student>& students,
                             const CResultComparison& comparison) {
    std::vector<std::optional<CStudentGrade>> grades(students.size());
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t i; (i = next++) < students.size();) {
            CStudentGrade grade = Grade(students[i], comparison);
            const std::lock_guard lock(mutex);
            grades[i] = std::move(grade);
            done.notify_all();
        }
    };
    const std::size_t workers =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, students.size());
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < workers; ++i)
        threads.emplace_back(work);

    std::vector<CStudentGrade> reported;
    int counts[5] = {};
    for (std::size_t i = 0; i < students.size(); ++i) {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return grades[i].has_value(); });
        reported.push_back(std::move(*grades[i]));
        lock.unlock();
        m_out << StudentGradeLine(reported.back()) << std::endl;
        ++counts[static_cast<int>(reported.back().status)];
    }
    m_allEqual = counts[static_cast<int>(Status::Equal)] == static_cast<int>(students.size());
    m_out << "共 " << students.size() << " 名学生：相同 " << counts[0] << " 名，不同 " << counts[1]
          << " 名，运行出错 " << counts[2] << " 名，超时 " << counts[3] << " 名，没有编译成功 "
          << counts[4] << " 名。\n";
    WriteCsv(reported);
}

void CClassGrading::WriteCsv(const std::vector<CStudentGrade>& grades) {
    if (!m_request.csvPath)
        return;
    std::string table = ComparisonCsvHeader("学生");
    for (const CStudentGrade& grade : grades)
        table += grade.comparison ? ComparisonCsvRows(*grade.comparison)
                                  : CsvLine({grade.name, "", StatusWord(grade.status), "", "", "",
                                             "", "", grade.detail});
    if (std::string problem; !WriteComparisonCsv(*m_request.csvPath, table, problem)) {
        m_err << "vexlan-batch：" << problem << "\n";
        m_allEqual = false;
    }
}
