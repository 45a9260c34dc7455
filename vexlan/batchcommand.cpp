#include "batchcommand.h"

#include "batchrunner.h"
#include "installedsteps.h"
#include "steptable.h"

#include <charconv>
#include <optional>
#include <ostream>
#include <vector>

namespace {

constexpr char kUsage[] =
    "用法：vexlan-batch [-o 目录] [--timeout 秒] [--in-process] 步骤 文件...\n"
    "      vexlan-batch --list\n"
    "      vexlan-batch --help\n";

constexpr char kHelp[] =
    "对每个文件中的每个图像运行一个处理步骤，并像“文件 > 保存”那样写出结果。\n"
    "文件可以是 .bmp 或 .raw 图像，也可以是 .lst 图像列表，与“文件 > 打开”相同，\n"
    "按名称的最后三个字符区分。结果写到 D:\\out<主名>.raw，主名是图像名第一个“.”之前的部分。\n"
    "\n"
    "  -o 目录    把结果写到这个（主机上的）目录，而不是 D:\\\n"
    "  --timeout 秒  已安装的步骤处理一个图像超过这么多秒就结束它，算作失败\n"
    "  --in-process  在本进程中运行已安装的步骤，不加隔离，便于用 gdb 找到出错的那一行\n"
    "  --list     列出所有处理步骤：内置的和已安装的（vexlan-step build）\n"
    "  --help     显示本帮助\n"
    "\n"
    "驱动器 X: 是环境变量 VEXLAN_DRIVE_X 给出的目录，例如 VEXLAN_DRIVE_D=/home/me/lab；\n"
    "未设置 VEXLAN_DRIVE_D 时，D: 是当前目录。\n"
    "\n"
    "退出状态：0 表示每个图像都已保存，1 表示有文件或图像失败，2 表示命令行有误。\n";

struct BatchOptions {
    std::optional<std::string> outputDirectory;
    std::vector<std::string> operands; // the step, then the files
    std::optional<double> timeoutSeconds;
    bool inProcess = false;
};

std::optional<double> PositiveSeconds(const std::string& text) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds > 0))
        return std::nullopt;
    return seconds;
}

int UsageError(std::ostream& err, const std::string& problem) {
    err << "vexlan-batch：" << problem << "\n" << kUsage << "详见 vexlan-batch --help。\n";
    return kBatchUsageError;
}

// Options come before the operands; "--" ends them.
std::optional<BatchOptions> ParseOptions(std::span<const std::string> args, std::string& problem) {
    BatchOptions options;
    std::size_t i = 0;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        if (args[i] == "--") {
            ++i;
            break;
        }
        if (args[i] == "-o" && i + 1 < args.size()) {
            options.outputDirectory = args[++i];
        } else if (args[i].starts_with("-o") && args[i].size() > 2) {
            options.outputDirectory = args[i].substr(2);
        } else if (args[i] == "--timeout" && i + 1 < args.size() && PositiveSeconds(args[i + 1])) {
            options.timeoutSeconds = PositiveSeconds(args[++i]);
        } else if (args[i] == "--in-process") {
            options.inProcess = true;
        } else if (args[i] == "--timeout") {
            problem = "选项 --timeout 后面应是一个大于 0 的秒数";
            return std::nullopt;
        } else {
            problem = args[i] == "-o" ? "选项 -o 后面缺少目录" : "未知的选项 " + args[i];
            return std::nullopt;
        }
    }
    options.operands.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return options;
}

void ReportProblems(const CInstalledSteps& installed, std::ostream& err) {
    for (const std::string& problem : installed.problems)
        err << "vexlan-batch：" << problem << "\n";
}

void ListSteps(std::ostream& out, std::ostream& err) {
    for (const CProcessingStep& step : ProcessingSteps())
        out << step.name << "\n";
    const CInstalledSteps installed = FindInstalledSteps();
    ReportProblems(installed, err);
    for (const CInstalledStep& step : installed.steps)
        out << step.name << "\t" << step.menuText << "\t" << step.path << "\n";
}

// An installed step, in its own process or, for a debugger, in this one.
CBatchStepRun InstalledStepRun(const CInstalledStep& step, const BatchOptions& options) {
    if (options.inProcess)
        return [step](const CStepInput& input, BYTE* result, const std::string&) {
            return RunInstalledStepHere(step, input, result);
        };
    return [step, timeout = options.timeoutSeconds](const CStepInput& input, BYTE* result,
                                                    const std::string& imageHostPath) {
        return RunInstalledStep(step, input, result, timeout, imageHostPath);
    };
}

int RunOnFiles(CBatchRunner runner, const std::vector<std::string>& operands) {
    for (std::size_t i = 1; i < operands.size(); ++i)
        runner.AddChosenFile(operands[i]);
    return runner.Run() ? kBatchAllSaved : kBatchSomeFailed;
}

} // namespace

int RunBatchCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args[0] == "--help") {
        out << kUsage << "\n" << kHelp;
        return kBatchAllSaved;
    }
    if (!args.empty() && args[0] == "--list") {
        ListSteps(out, err);
        return kBatchAllSaved;
    }
    std::string problem;
    const std::optional<BatchOptions> options = ParseOptions(args, problem);
    if (!options)
        return UsageError(err, problem);
    if (options->operands.empty())
        return UsageError(err, "缺少处理步骤");
    const std::string& name = options->operands[0];
    const CProcessingStep* step = FindStepByName(name);
    const CInstalledSteps installed = step ? CInstalledSteps{} : FindInstalledSteps();
    const CInstalledStep* installedStep = installed.Find(name);
    if (!step && !installedStep) {
        ReportProblems(installed, err);
        return UsageError(err,
                          "没有名为 " + name + " 的处理步骤（vexlan-batch --list 列出所有步骤）");
    }
    if (options->operands.size() == 1)
        return UsageError(err, "缺少文件");
    if (step)
        return RunOnFiles(CBatchRunner(*step, options->outputDirectory, out, err),
                          options->operands);
    return RunOnFiles(CBatchRunner(InstalledStepRun(*installedStep, *options),
                                   options->outputDirectory, out, err),
                      options->operands);
}
