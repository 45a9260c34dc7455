#include "classgrading.h"

#include "classfolder.h"
#include "contenthash.h"
#include "csvtext.h"
#include "exercise.h"
#include "filestamp.h"
#include "gradingreport.h"
#include "gradingtables.h"
#include "pngencoder.h"
#include "sealavailability.h"
#include "stepprocess.h"
#include "stepsourcerun.h"
#include "stopevent.h"
#include "stopsignals.h"
#include "textfile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Status = CStudentGrade::Status;

constexpr int kUnusable = 2;
constexpr int kStoppedBySignal = 128;
// How often the grade looks for a stop signal while it waits for the students.
constexpr auto kSignalLook = std::chrono::milliseconds(100);

std::string Absolute(const std::string& path) {
    std::error_code error;
    return fs::absolute(path, error).lexically_normal().string();
}

// What any build or run depends on besides the source: the programs that build and run it
// (by their files' stamps), the header steps are built against, the exercise and the limit.
std::string CommonKey(const CStepRunSetting& setting) {
    CContentHash hash;
    hash.Add(VEXLAN_VERSION);
    for (const std::string& program : {setting.stepTool, setting.runner, StepHostProgram()}) {
        const std::optional<CFileStamp> stamp = StampOf(program);
        hash.Add(program);
        hash.Add(stamp
                     ? std::to_string(stamp->size) + " " + std::to_string(stamp->modifiedSeconds) +
                           "." + std::to_string(stamp->modifiedNanoseconds)
                     : "");
    }
    hash.AddFile((fs::path(setting.includeFolder) / "vexlan" / "step.h").string());
    hash.Add(setting.exercise->Digest());
    hash.Add(std::to_string(setting.timeoutSeconds));
    for (const std::string& value : setting.settings)
        hash.Add(value);
    hash.Add(setting.limits ? LimitSettings(*setting.limits) : "unsealed");
    return hash.Hex();
}

std::string StudentFolder(const std::string& runFolder, const std::string& name) {
    return (fs::path(runFolder) / "students" / name).string();
}

CStudentGrade NotGraded(const std::string& name, const std::string& why) {
    CStudentGrade grade;
    grade.name = name;
    grade.detail = why;
    return grade;
}

// The reference's first image that has no result, with what the run said of it.
std::optional<std::string> FirstFailedImage(const CStepRunRecord& record,
                                            const CExercise& exercise) {
    for (const CExerciseImage& image : exercise.Images()) {
        const CImageRun run = record.Image(image.runIndex);
        if (run.kind != CImageRun::Kind::Saved)
            return !run.detail.empty()          ? run.detail
                   : !record.runProblem.empty() ? record.runProblem
                                                : image.name + " 没有结果";
    }
    return std::nullopt;
}

} // namespace

struct CClassGrading::Setup {
    std::vector<CClassEntry> entries;
    std::optional<CExercise> exercise;
    CStepRunSetting runSetting;
    std::optional<CResultComparison> comparison;
    std::set<std::string> only;
};

CClassGrading::CClassGrading(CGradingRequest request, std::ostream& out, std::ostream& err)
    : m_request(std::move(request)), m_out(out), m_err(err) {
    m_request.runFolder = Absolute(m_request.runFolder);
}

int CClassGrading::Run() {
    Setup setup;
    // Held back from here on, by this thread and the workers it starts alike.
    CStopSignals stopSignals;
    std::optional<std::string> problem = CheckSeal();
    if (!problem)
        problem = ReadClassAndExercise(setup);
    if (!problem)
        problem = PrepareReference(setup, stopSignals.Descriptor());
    if ((m_stopSignal = stopSignals.Take())) {
        m_err << "vexlan-batch：收到 " << CStopSignals::Name(m_stopSignal)
              << "，在评分开始之前停止。\n";
        return kStoppedBySignal + m_stopSignal;
    }
    if (problem) {
        m_err << "vexlan-batch：" << *problem << "\n";
        return kUnusable;
    }
    m_out << Preamble();
    // The workers encode difference images and the report's pictures are encoded here.
    PrepareEncodingOnThreads();
    const std::vector<CStudentGrade> grades = GradeAll(setup, stopSignals);
    const bool written = Report(setup, grades);
    if (!m_stopSignal)
        m_stopSignal = stopSignals.Take();
    if (m_stopSignal) {
        const auto graded = std::ranges::count_if(
            grades, [](const CStudentGrade& grade) { return grade.status != Status::NotGraded; });
        m_err << "vexlan-batch：收到 " << CStopSignals::Name(m_stopSignal) << "，评完 " << graded
              << "/" << grades.size() << " 名学生后停止；没有评完的记为未评分。\n";
        return kStoppedBySignal + m_stopSignal;
    }
    const bool allEqual = std::ranges::all_of(
        grades, [](const CStudentGrade& grade) { return grade.status == Status::Equal; });
    return allEqual && written ? 0 : 1;
}

std::optional<std::string> CClassGrading::CheckSeal() {
    const std::optional<std::string>& reason = SealUnavailableReason();
    if (!reason)
        return std::nullopt;
    const std::string risk = "学生的程序能读写你能读写的一切，包括参考结果和其他学生的文件";
    if (!m_request.allowUnsealed)
        return "无法把学生的编译和运行隔离开：" + *reason + "。\n没有评分：" + risk +
               "。若仍要评分，请加上 --allow-unsealed。";
    m_unsealedNote =
        "注意：没有隔离学生的程序（--allow-unsealed）：" + *reason + "。" + risk + "。";
    return std::nullopt;
}

std::optional<std::string> CClassGrading::ReadClassAndExercise(Setup& setup) const {
    std::string problem;
    std::optional<std::vector<CClassEntry>> entries =
        ReadClassFolder(m_request.studentsFolder, problem);
    if (!entries)
        return problem;
    setup.entries = std::move(*entries);
    for (const std::string& name : m_request.only) {
        if (std::ranges::none_of(setup.entries, [&](const CClassEntry& entry) {
                return entry.name == name && !entry.source.empty();
            }))
            return "--only 所指的学生 " + name + " 不在学生文件夹中，或不能评分。";
        setup.only.insert(name);
    }
    setup.exercise = CExercise::Read(m_request.files, problem);
    if (!setup.exercise)
        return problem;
    const std::string runner = BatchProgram();
    setup.runSetting = {(fs::path(runner).parent_path() / "vexlan-step").string(),
                        runner,
                        (fs::path(runner).parent_path().parent_path() / "include").string(),
                        &*setup.exercise,
                        m_request.timeoutSeconds,
                        m_request.settings,
                        m_unsealedNote.empty() ? std::optional(m_request.limits) : std::nullopt,
                        {}};
    setup.runSetting.commonKey = CommonKey(setup.runSetting);
    return std::nullopt;
}

std::optional<std::string> CClassGrading::PrepareReference(Setup& setup, int stopFd) {
    std::vector<std::string> names;
    for (const CExerciseImage& image : setup.exercise->Images())
        names.push_back(image.resultName);
    std::string problem;
    std::error_code error;
    std::string results = m_request.reference;
    if (!fs::is_directory(m_request.reference, error)) {
        if (!fs::is_regular_file(m_request.reference, error))
            return "参考 " + m_request.reference +
                   " 应是结果文件夹或步骤源文件（.c、.cpp、.cc 或 .cxx），它两者都不是。";
        const CStepSourceRun run(setup.runSetting,
                                 (fs::path(m_request.runFolder) / "reference").string(),
                                 Absolute(m_request.reference));
        const std::optional<CStepRunRecord> kept = run.Kept();
        const CStepRunRecord record = kept ? *kept : run.Run(stopFd);
        if (record.interrupted)
            return "评分被中断";
        if (!record.built)
            return "参考步骤 " + m_request.reference + " 没有编译成功：" + record.buildProblem +
                   "。";
        if (const std::optional<std::string> failed = FirstFailedImage(record, *setup.exercise))
            return "参考步骤 " + m_request.reference + " 运行出错：" + *failed + "（详见 " +
                   run.LogPath() + "）。";
        results = run.ResultsFolder();
    }
    setup.comparison = CResultComparison::Open(results, names, m_request.tolerance, problem);
    return setup.comparison ? std::nullopt : std::optional(problem);
}

CStudentGrade CClassGrading::GradeStudent(const Setup& setup, std::size_t index, int stopFd) const {
    const CClassEntry& entry = setup.entries[index];
    if (entry.source.empty())
        return NotGraded(entry.name, entry.problem);
    const CStepSourceRun run(setup.runSetting, StudentFolder(m_request.runFolder, entry.name),
                             Absolute(entry.source));
    const bool named = setup.only.contains(entry.name);
    std::optional<CStepRunRecord> record = named ? std::nullopt : run.Kept();
    if (!record && !setup.only.empty() && !named)
        return NotGraded(entry.name,
                         "不在 --only 之列，而上次评分之后它或练习已改变（或从未评分）");
    if (!record)
        record = run.Run(stopFd);
    if (record->interrupted)
        return NotGraded(entry.name, "评分被中断");
    CStudentGrade grade;
    grade.name = entry.name;
    grade.reused = record->reused;
    grade.seconds = record->seconds;
    if (!record->built) {
        grade.status = Status::DidNotBuild;
        grade.detail = record->buildProblem;
        return grade;
    }
    const std::optional<std::string> differences =
        m_request.differenceFolder
            ? std::optional((fs::path(*m_request.differenceFolder) / entry.name).string())
            : std::nullopt;
    grade.images =
        GradedImages(setup.exercise->Images(), *record,
                     setup.comparison->Compare(run.ResultsFolder(), entry.name, differences));
    grade.status = StatusOfImages(grade.images);
    return grade;
}

// The students are graded side by side, one per processor, and each line is printed in name
// order as soon as those before it are done. A stop signal ends what is running; the students
// not done by then are not graded.
std::vector<CStudentGrade> CClassGrading::GradeAll(const Setup& setup, CStopSignals& stopSignals) {
    const std::size_t count = setup.entries.size();
    std::vector<std::optional<CStudentGrade>> grades(count);
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<std::size_t> next = 0;
    CStopEvent stop;
    const auto work = [&] {
        for (std::size_t i; (i = next++) < count;) {
            CStudentGrade grade = stop.IsSet() ? NotGraded(setup.entries[i].name, "评分被中断")
                                               : GradeStudent(setup, i, stop.Descriptor());
            const std::lock_guard lock(mutex);
            grades[i] = std::move(grade);
            done.notify_all();
        }
    };
    const std::size_t workers =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, count);
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < workers; ++i)
        threads.emplace_back(work);

    std::vector<CStudentGrade> reported;
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_lock lock(mutex);
        while (!done.wait_for(lock, kSignalLook, [&] { return grades[i].has_value(); }))
            if (!m_stopSignal && (m_stopSignal = stopSignals.Take()))
                stop.Set();
        reported.push_back(std::move(*grades[i]));
        lock.unlock();
        m_out << StudentGradeLine(reported.back(), m_request.points) << std::endl;
    }
    return reported;
}

// "参数：threshold=64，scale=2": the values every run was given.
std::string CClassGrading::SettingsLine() const {
    std::string line = "参数：";
    for (std::size_t i = 0; i < m_request.settings.size(); ++i)
        line += (i == 0 ? "" : "，") + m_request.settings[i];
    return line;
}

std::string CClassGrading::Preamble() const {
    std::string lines;
    if (!m_unsealedNote.empty())
        lines += m_unsealedNote + "\n";
    if (!m_request.settings.empty())
        lines += SettingsLine() + "\n";
    return lines;
}

bool CClassGrading::Report(const Setup& setup, const std::vector<CStudentGrade>& grades) {
    std::vector<std::string> lines;
    for (const CStudentGrade& grade : grades)
        lines.push_back(StudentGradeLine(grade, m_request.points));
    const std::string summary = GradeSummaryLine(grades);
    m_out << summary << "\n";
    std::string problem;
    bool written = true;
    const auto write = [&](const std::optional<std::string>& path, const std::string& text,
                           bool csv) {
        if (!path)
            return;
        if (!(csv ? WriteCsvFile(*path, text, problem) : WriteTextFile(*path, text, problem))) {
            m_err << "vexlan-batch：" << problem << "\n";
            written = false;
        }
    };
    write(m_request.csvPath, GradeImagesCsv(grades, m_request.tolerance), true);
    write(m_request.scoresPath, GradeScoresCsv(grades, m_request.points), true);
    if (m_request.reportPath) {
        std::vector<CReportStudent> students;
        for (std::size_t i = 0; i < grades.size(); ++i) {
            const std::string folder = StudentFolder(m_request.runFolder, grades[i].name);
            const bool run = !setup.entries[i].source.empty();
            students.push_back({&grades[i], lines[i],
                                run ? (fs::path(folder) / "results").string() : "",
                                run ? (fs::path(folder) / "log.txt").string() : ""});
        }
        write(
            m_request.reportPath,
            CGradingReport(*setup.exercise, *setup.comparison).Html(Preamble() + summary, students),
            false);
    }
    return written;
}
