#include "installedsteps.h"

#include "steplibrary.h"
#include "stepprocess.h"
#include "steptable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

// Reading a step's entry takes a start of its process; steps whose static set-up hangs
// must not hold up the program's start longer than this, all of them together.
constexpr double kInfoTimeoutSeconds = 5;

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// The rule of a shell's or a compiler's plugin path: only the user or root may write it.
std::optional<std::string> WhyUntrusted(const std::string& path, const char* what) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt; // what does not exist holds no steps
    if (status.st_uid != geteuid() && status.st_uid != 0)
        return "不载入" + std::string(what) + " " + path + " 中的步骤：它属于另一个用户";
    if (status.st_mode & (S_IWGRP | S_IWOTH))
        return "不载入" + std::string(what) + " " + path + " 中的步骤：其他用户可以写入它（权限 " +
               OctalMode(status.st_mode) + "）。请运行 chmod go-w " + path;
    return std::nullopt;
}

std::vector<std::string> StepFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".so" && !name.starts_with(".") && entry.is_regular_file())
            files.push_back(entry.path().string());
    }
    std::ranges::sort(files);
    return files;
}

// A step file whose entry is being read by a process of its own.
struct PendingReading {
    std::string path;
    std::unique_ptr<CStepProcess> process;
    CStepFileReading reading;
};

// The step of a host's report: three lines, then a line per parameter.
std::optional<CInstalledStep> StepOfInfo(const std::string& path,
                                         const std::vector<std::string>& fields) {
    if (fields.size() < 3)
        return std::nullopt;
    CInstalledStep step{path, fields[0], fields[1], fields[2], std::nullopt, {}};
    for (std::size_t i = 3; i < fields.size(); ++i) {
        std::optional<CStepParameter> parameter = ParseParameterLine(fields[i]);
        if (!parameter)
            return std::nullopt;
        step.parameters.push_back(std::move(*parameter));
    }
    return step;
}

CStepFileReading ReadingFromEnd(const std::string& path, CStepProcess& process,
                                const CStepEnd& end) {
    CStepFileReading reading;
    if (end.kind == CStepEnd::Kind::Finished &&
        (reading.step = StepOfInfo(path, process.InfoFields())))
        return reading;
    reading.problem = end.kind == CStepEnd::Kind::Refused ? end.what
                      : end.kind == CStepEnd::Kind::TimedOut
                          ? "无法读取步骤文件 " + path + "：它在 " +
                                std::to_string(static_cast<int>(kInfoTimeoutSeconds)) +
                                " 秒内没有回应（也许它的全局变量的构造陷入了死循环）"
                          : "无法读取步骤文件 " + path + "：" + end.what;
    return reading;
}

const CStepFileReading* UnchangedReading(const CInstalledSteps* known, const std::string& path,
                                         const std::optional<CFileStamp>& stamp) {
    if (!known || !stamp)
        return nullptr;
    const auto before = known->readings.find(path);
    return before != known->readings.end() && before->second.stamp == stamp ? &before->second
                                                                            : nullptr;
}

// Starts reading every file that known has not read as it is now.
std::vector<PendingReading> StartReadings(const std::vector<std::string>& paths,
                                          const CInstalledSteps* known) {
    std::vector<PendingReading> pending;
    for (const std::string& path : paths) {
        PendingReading next{path, nullptr, {StampOf(path), std::nullopt, {}}};
        if (const CStepFileReading* before = UnchangedReading(known, path, next.reading.stamp)) {
            next.reading = *before;
        } else {
            next.process = std::make_unique<CStepProcess>();
            if (!next.process->StartInfo(path)) {
                next.reading.problem = next.process->Problem();
                next.process.reset();
            }
        }
        pending.push_back(std::move(next));
    }
    return pending;
}

// Waits for every reading under one time limit, all of them together.
void FinishReadings(std::vector<PendingReading>& pending) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kInfoTimeoutSeconds);
    for (PendingReading& reading : pending) {
        if (!reading.process)
            continue;
        const std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
        const CStepEnd end = reading.process->WaitWithTimeout(std::max(left.count(), 0.001));
        const std::optional<CFileStamp> stamp = reading.reading.stamp;
        reading.reading = ReadingFromEnd(reading.path, *reading.process, end);
        reading.reading.stamp = stamp;
        if (reading.reading.step)
            reading.reading.step->stamp = stamp;
    }
}

// The trusted step files of the folders in order, with the problems of the untrusted ones.
std::vector<std::string> TrustedStepFiles(const std::vector<std::string>& folders,
                                          std::vector<std::string>& problems) {
    std::vector<std::string> trusted;
    for (const std::string& folder : folders) {
        if (std::optional<std::string> problem = WhyUntrusted(folder, "文件夹")) {
            problems.push_back(*problem);
            continue;
        }
        for (const std::string& path : StepFiles(folder)) {
            if (std::optional<std::string> untrusted = WhyUntrusted(path, "文件"))
                problems.push_back(*untrusted);
            else
                trusted.push_back(path);
        }
    }
    return trusted;
}

std::string DebugCommand(const std::string& stepName, const std::string& imageHostPath) {
    return "gdb --args " + BatchProgram() + " --in-process " + stepName + " '" + imageHostPath +
           "'";
}

} // namespace

const CInstalledStep* CInstalledSteps::Find(std::string_view name) const {
    const auto found = std::ranges::find(steps, name, &CInstalledStep::name);
    return found == steps.end() ? nullptr : &*found;
}

const CInstalledStep* CInstalledSteps::FindFile(const std::string& path) const {
    std::error_code error;
    const std::string absolute = fs::absolute(path, error).lexically_normal().string();
    const auto found = readings.find(absolute);
    return found == readings.end() || !found->second.step ? nullptr : &*found->second.step;
}

std::string UserStepFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const fs::path base = dataHome && *dataHome == '/'
                              ? fs::path(dataHome)
                              : fs::path(home ? home : "") / ".local/share";
    return (base / "vexlan" / "steps").string();
}

std::string SystemStepFolder() {
    return (fs::path(StepHostProgram()).parent_path().parent_path() / "lib/vexlan/steps")
        .lexically_normal()
        .string();
}

std::vector<std::string> StepFolders() {
    return {UserStepFolder(), SystemStepFolder()};
}

CInstalledSteps FindInstalledSteps(const std::vector<std::string>& folders,
                                   const CInstalledSteps* known) {
    CInstalledSteps found;
    std::vector<PendingReading> pending =
        StartReadings(TrustedStepFiles(folders, found.problems), known);
    FinishReadings(pending);
    std::set<std::string> names;
    for (PendingReading& reading : pending) {
        const std::optional<CInstalledStep>& step = reading.reading.step;
        if (!step)
            found.problems.push_back(reading.reading.problem);
        else if (FindStepByName(step->name) || !names.insert(step->name).second)
            found.problems.push_back("不载入 " + reading.path + "：已经有名为 " + step->name +
                                     " 的步骤");
        else
            found.steps.push_back(*step);
        found.readings.emplace(reading.path, std::move(reading.reading));
    }
    return found;
}

std::string StepEndMessage(const std::string& stepName, const CStepEnd& end,
                           const std::string& imageHostPath, CStepCaller caller) {
    switch (end.kind) {
    case CStepEnd::Kind::Finished:
        return {};
    case CStepEnd::Kind::Refused:
        return end.what;
    case CStepEnd::Kind::TimedOut:
        return "步骤 " + stepName + " 处理 " + imageHostPath + " 超时，已被结束";
    case CStepEnd::Kind::Ended:
    case CStepEnd::Kind::Stopped:
        return "步骤 " + stepName + " 已被结束";
    case CStepEnd::Kind::Failed:
        break;
    }
    const char* leftBehind =
        caller == CStepCaller::Program ? "图像和之前的结果保持不变" : "没有为这个图像写出任何文件";
    return "步骤 " + stepName + " 处理 " + imageHostPath + " 时出错：" + end.what + "。\n" +
           leftBehind + "。在调试器中重复这次运行：\n  " + DebugCommand(stepName, imageHostPath);
}

CStepEnd RunInstalledStep(const CInstalledStep& step, const CStepInput& input, BYTE* result,
                          std::span<const double> values, std::optional<double> timeoutSeconds,
                          int stopFd, const CSealLimits& limits) {
    CStepProcess process(limits);
    if (!process.StartRun(step.path, input, result, values))
        return {CStepEnd::Kind::Refused, process.Problem()};
    return process.WaitWithTimeout(timeoutSeconds, stopFd);
}

std::optional<std::string> RunInstalledStepHere(const CInstalledStep& step, const CStepInput& input,
                                                BYTE* result, std::span<const double> values) {
    const CStepLibrary library(step.path);
    if (!library.Entry())
        return library.Problem();
    std::fill_n(result, PlaneSize(input.width, input.height).value_or(0), BYTE{0});
    const vexlan_image image{
        input.width, input.height, input.grayPlane, input.colorPlane, result, nullptr, 0};
    const std::vector<double> defaults = DefaultValues(library.Parameters());
    return library.Run(image, values.empty() ? std::span<const double>(defaults) : values);
}
