#include "batchcommand.h"

#include "batchrunner.h"
#include "steptable.h"

#include <optional>
#include <ostream>
#include <vector>

namespace {

constexpr char kUsage[] = "用法：vexlan-batch [-o 目录] 步骤 文件...\n"
                          "      vexlan-batch --list\n"
                          "      vexlan-batch --help\n";

constexpr char kHelp[] =
    "对每个文件中的每个图像运行一个处理步骤，并像“文件 > 保存”那样写出结果。\n"
    "文件可以是 .bmp 或 .raw 图像，也可以是 .lst 图像列表，与“文件 > 打开”相同，\n"
    "按名称的最后三个字符区分。结果写到 D:\\out<主名>.raw，主名是图像名第一个“.”之前的部分。\n"
    "\n"
    "  -o 目录    把结果写到这个（主机上的）目录，而不是 D:\\\n"
    "  --list     列出所有处理步骤\n"
    "  --help     显示本帮助\n"
    "\n"
    "驱动器 X: 是环境变量 VEXLAN_DRIVE_X 给出的目录，例如 VEXLAN_DRIVE_D=/home/me/lab；\n"
    "未设置 VEXLAN_DRIVE_D 时，D: 是当前目录。\n"
    "\n"
    "退出状态：0 表示每个图像都已保存，1 表示有文件或图像失败，2 表示命令行有误。\n";

struct BatchOptions {
    std::optional<std::string> outputDirectory;
    std::vector<std::string> operands; // the step, then the files
};

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
        } else {
            problem = args[i] == "-o" ? "选项 -o 后面缺少目录" : "未知的选项 " + args[i];
            return std::nullopt;
        }
    }
    options.operands.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return options;
}

void ListSteps(std::ostream& out) {
    for (const CProcessingStep& step : ProcessingSteps())
        out << step.name << "\n";
}

} // namespace

int RunBatchCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args[0] == "--help") {
        out << kUsage << "\n" << kHelp;
        return kBatchAllSaved;
    }
    if (!args.empty() && args[0] == "--list") {
        ListSteps(out);
        return kBatchAllSaved;
    }
    std::string problem;
    const std::optional<BatchOptions> options = ParseOptions(args, problem);
    if (!options)
        return UsageError(err, problem);
    if (options->operands.empty())
        return UsageError(err, "缺少处理步骤");
    const CProcessingStep* step = FindStepByName(options->operands[0]);
    if (!step)
        return UsageError(err, "没有名为 " + options->operands[0] +
                                   " 的处理步骤（vexlan-batch --list 列出所有步骤）");
    if (options->operands.size() == 1)
        return UsageError(err, "缺少文件");

    CBatchRunner runner(*step, options->outputDirectory, out, err);
    for (std::size_t i = 1; i < options->operands.size(); ++i)
        runner.AddChosenFile(options->operands[i]);
    return runner.Run() ? kBatchAllSaved : kBatchSomeFailed;
}
