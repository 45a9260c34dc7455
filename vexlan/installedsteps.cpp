#include "installedsteps.h"

#include "steplibrary.h"
#include "stepprocess.h"
#include "steptable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// Reading a step's entry takes a start of its process; a step whose static set-up hangs
// must not hold up the program's start.
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

std::optional<CInstalledStep> ReadStep(const std::string& path, std::string& problem) {
    CStepProcess process;
    if (!process.StartInfo(path)) {
        problem = process.Problem();
        return std::nullopt;
    }
    const std::optional<CStepEnd> end = process.WaitWithTimeout(kInfoTimeoutSeconds);
    if (end->kind == CStepEnd::Kind::Finished) {
        std::vector<std::string> fields = process.InfoFields();
        if (fields.size() == 3)
            return CInstalledStep{path, fields[0], fields[1], fields[2], StampOf(path)};
    }
    problem =
        end->kind == CStepEnd::Kind::Refused
            ? end->what
            : "无法读取步骤文件 " + path + "：" + (end->what.empty() ? "没有回应" : end->what);
    return std::nullopt;
}

void AddFolder(const std::string& folder, CInstalledSteps& found, std::set<std::string>& names) {
    if (std::optional<std::string> problem = WhyUntrusted(folder, "文件夹")) {
        found.problems.push_back(*problem);
        return;
    }
    for (const std::string& path : StepFiles(folder)) {
        std::string problem;
        if (std::optional<std::string> untrusted = WhyUntrusted(path, "文件")) {
            found.problems.push_back(*untrusted);
        } else if (std::optional<CInstalledStep> step = ReadStep(path, problem)) {
            if (FindStepByName(step->name) || !names.insert(step->name).second)
                found.problems.push_back("不载入 " + path + "：已经有名为 " + step->name +
                                         " 的步骤");
            else
                found.steps.push_back(std::move(*step));
        } else {
            found.problems.push_back(problem);
        }
    }
}

std::string DebugCommand(const std::string& stepName, const std::string& imageHostPath) {
    return "gdb --args vexlan-batch --in-process " + stepName + " '" + imageHostPath + "'";
}

} // namespace

const CInstalledStep* CInstalledSteps::Find(std::string_view name) const {
    const auto found = std::ranges::find(steps, name, &CInstalledStep::name);
    return found == steps.end() ? nullptr : &*found;
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

CInstalledSteps FindInstalledSteps(const std::vector<std::string>& folders) {
    CInstalledSteps found;
    std::set<std::string> names;
    for (const std::string& folder : folders)
        AddFolder(folder, found, names);
    return found;
}

std::string StepEndMessage(const std::string& stepName, const CStepEnd& end,
                           const std::string& imageHostPath) {
    switch (end.kind) {
    case CStepEnd::Kind::Finished:
        return {};
    case CStepEnd::Kind::Refused:
        return end.what;
    case CStepEnd::Kind::TimedOut:
        return "步骤 " + stepName + " 处理 " + imageHostPath + " 超时，已被结束";
    case CStepEnd::Kind::Ended:
        return "步骤 " + stepName + " 已被结束";
    case CStepEnd::Kind::Failed:
        break;
    }
    return "步骤 " + stepName + " 处理 " + imageHostPath + " 时出错：" + end.what +
           "。\n图像和之前的结果保持不变。在调试器中重复这次运行：\n  " +
           DebugCommand(stepName, imageHostPath);
}

std::optional<std::string> RunInstalledStep(const CInstalledStep& step, const CStepInput& input,
                                            BYTE* result, std::optional<double> timeoutSeconds,
                                            const std::string& imageHostPath) {
    CStepProcess process;
    if (!process.StartRun(step.path, input, result))
        return process.Problem();
    const CStepEnd end = *process.WaitWithTimeout(timeoutSeconds);
    if (end.kind != CStepEnd::Kind::Finished)
        return StepEndMessage(step.name, end, imageHostPath);
    return std::nullopt;
}

std::optional<std::string> RunInstalledStepHere(const CInstalledStep& step, const CStepInput& input,
                                                BYTE* result) {
    const CStepLibrary library(step.path);
    if (!library.Entry())
        return library.Problem();
    std::fill_n(result, PlaneSize(input.width, input.height).value_or(0), BYTE{0});
    const vexlan_image image{input.width, input.height, input.grayPlane, input.colorPlane, result};
    library.Entry()->run(&image);
    return std::nullopt;
}
