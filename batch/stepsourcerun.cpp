#include "stepsourcerun.h"

#include "contenthash.h"
#include "runnerprogress.h"
#include "studentcommand.h"
#include "studentlog.h"
#include "textfile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A compiler that has not finished by then never will (an #include of a device, a template
// without end).
constexpr double kBuildSeconds = 120;
// Beyond the per-image limits, what a whole run may take: each image's start, and the run's.
constexpr double kRunSecondsPerImage = 10;
constexpr double kRunSecondsEach = 60;
// A record is a few lines an image.
constexpr std::uintmax_t kMaxRecordBytes = 1 << 20;

// What the student's step takes on each image, in a seal of its own: the limits but the
// processor time, which is the build's (a step has its time limit per image).
CSealLimits StepLimits(CSealLimits limits) {
    limits.cpuSeconds = 0;
    return limits;
}

// The runner itself is Vexlan's: it maps the planes and writes the results, and the steps it
// runs take the limits of memory, files and output. Only the count of processes is the whole
// run's.
CSealLimits RunnerLimits(const CSealLimits& limits) {
    return {limits.processes, 0, 0, 0, 0};
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

void ReplaceFolder(const std::string& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
}

// The line that names the first problem: the compiler's first error, or failing that its first
// line at all.
class FirstErrorLine {
public:
    void See(const std::string& line) {
        if (m_first.empty() && !line.empty())
            m_first = line;
        if (m_error.empty() && line.find("error") != std::string::npos)
            m_error = line;
    }
    std::string Line() const {
        return !m_error.empty() ? m_error : !m_first.empty() ? m_first : "没有输出";
    }

private:
    std::string m_first;
    std::string m_error;
};

} // namespace

CStepSourceRun::CStepSourceRun(const CStepRunSetting& setting, std::string folder,
                               std::string source)
    : m_setting(setting), m_folder(std::move(folder)), m_source(std::move(source)) {}

std::string CStepSourceRun::ResultsFolder() const {
    return (fs::path(m_folder) / "results").string();
}

std::string CStepSourceRun::LogPath() const {
    return (fs::path(m_folder) / "log.txt").string();
}

std::string CStepSourceRun::Key() const {
    CContentHash hash;
    hash.Add(m_setting.commonKey);
    hash.Add(fs::path(m_source).filename().string());
    hash.AddFile(m_source);
    return hash.Hex();
}

std::optional<CStepRunRecord> CStepSourceRun::Kept() const {
    const std::optional<std::string> text =
        ReadTextFile((fs::path(m_folder) / "record.txt").string(), kMaxRecordBytes);
    std::optional<CStepRunRecord> record = text ? ParseStepRunRecord(*text) : std::nullopt;
    std::error_code error;
    if (!record || record->key != Key() ||
        (record->built && !fs::is_directory(ResultsFolder(), error)))
        return std::nullopt;
    record->reused = true;
    return record;
}

CStepRunRecord CStepSourceRun::Run(int stopFd) const {
    const fs::path recordPath = fs::path(m_folder) / "record.txt";
    std::error_code error;
    fs::remove(recordPath, error);
    ReplaceFolder((fs::path(m_folder) / "step").string());
    ReplaceFolder(ResultsFolder());
    CStepRunRecord record;
    record.key = Key();
    {
        CStudentLog log(LogPath());
        const std::optional<std::string> stepFile = Build(record, log, stopFd);
        if (stepFile)
            RunStep(*stepFile, record, log, stopFd);
    }
    if (record.interrupted)
        return record;
    // Written last, so that only a build and run that went to their end are ever taken again.
    std::string problem;
    WriteTextFile(recordPath.string(), StepRunRecordText(record), problem);
    return record;
}

std::optional<std::string> CStepSourceRun::Build(CStepRunRecord& record, CStudentLog& log,
                                                 int stopFd) const {
    const std::string home = (fs::path(m_folder) / "step").string();
    const CStudentCommand command{{m_setting.stepTool, "build", m_source},
                                  {"XDG_DATA_HOME=" + home},
                                  {m_source, m_setting.includeFolder},
                                  {home},
                                  kBuildSeconds,
                                  m_setting.limits};
    log.Command(ShellCommandLine(command));
    FirstErrorLine firstError;
    const CChildProgramEnd end = RunStudentCommand(command, stopFd, [&](const std::string& line) {
        log.OutputLine(line);
        firstError.See(line);
    });
    if (end.cause == CChildProgramEnd::Cause::Stopped) {
        record.interrupted = true;
        return std::nullopt;
    }
    if (end.cause == CChildProgramEnd::Cause::TimeLimit) {
        record.buildProblem = "编译超过 " + Seconds(kBuildSeconds) + " 秒，已被结束";
        log.Note(record.buildProblem);
        return std::nullopt;
    }
    if (end.status != 0) {
        record.buildProblem = firstError.Line();
        return std::nullopt;
    }
    const fs::path stepFile =
        fs::path(home) / "vexlan" / "steps" / (fs::path(m_source).stem().string() + ".so");
    std::error_code error;
    if (!fs::is_regular_file(stepFile, error)) {
        record.buildProblem = "vexlan-step 没有写出步骤文件 " + stepFile.string();
        return std::nullopt;
    }
    record.built = true;
    return stepFile.string();
}

void CStepSourceRun::RunStep(const std::string& stepFile, CStepRunRecord& record, CStudentLog& log,
                             int stopFd) const {
    const CExercise& exercise = *m_setting.exercise;
    CStudentCommand command{
        {m_setting.runner, "-o", ResultsFolder(), "--timeout", Seconds(m_setting.timeoutSeconds)},
        {},
        {stepFile},
        {ResultsFolder()},
        exercise.RunCount() * (m_setting.timeoutSeconds + kRunSecondsPerImage) + kRunSecondsEach,
        m_setting.limits ? std::optional(RunnerLimits(*m_setting.limits)) : std::nullopt};
    for (const std::string& setting : m_setting.settings)
        command.args.insert(command.args.end(), {"--set", setting});
    // The runner's own defaults go without saying.
    if (m_setting.limits && StepLimits(*m_setting.limits) != CSealLimits{})
        command.args.insert(command.args.end(),
                            {"--limits", LimitSettings(StepLimits(*m_setting.limits))});
    command.args.insert(command.args.end(), {"--", stepFile});
    command.args.insert(command.args.end(), exercise.Files().begin(), exercise.Files().end());
    command.readablePaths.insert(command.readablePaths.end(), exercise.Files().begin(),
                                 exercise.Files().end());
    for (const CExerciseImage& image : exercise.Images())
        command.readablePaths.push_back(image.hostPath);
    log.Command(ShellCommandLine(command));
    CRunnerProgress progress(exercise.RunCount(), log);
    const auto start = std::chrono::steady_clock::now();
    const CChildProgramEnd end = RunStudentCommand(
        command, stopFd, [&progress](const std::string& line) { progress.See(line); });
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    record.images = progress.Images();
    if (end.cause == CChildProgramEnd::Cause::Stopped) {
        record.interrupted = true;
    } else if (end.cause == CChildProgramEnd::Cause::TimeLimit) {
        record.runTimedOut = true;
        record.runProblem = "整个运行超过 " + Seconds(command.timeLimitSeconds) + " 秒，已被结束";
        log.Note(record.runProblem);
    } else if (end.status != 0 && end.status != 1) {
        record.runProblem = !progress.FirstOwnLine().empty()
                                ? progress.FirstOwnLine()
                                : "vexlan-batch 以状态 " + std::to_string(end.status) + " 结束";
    }
}
