#include "batchcommand.h"

#include "batchrunner.h"
#include "batchstep.h"
#include "classgrading.h"
#include "csvtext.h"
#include "installedsteps.h"
#include "resultcomparison.h"
#include "resultnaming.h"
#include "sealavailability.h"
#include "stepchainrun.h"
#include "steptable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

namespace {

constexpr char kUsage[] =
    "用法：vexlan-batch [-o 目录] [--timeout 秒] [--limits 限制] [--in-process] [--png]\n"
    "                   [--set 名称=值]... [--name 模式] 步骤[,步骤...] 文件...\n"
    "      vexlan-batch compare [--tolerance N] [--csv 文件] [--diff-dir 目录] 参考目录 目录...\n"
    "      vexlan-batch grade [-o 目录] [--timeout 秒] [--tolerance N] [--csv 文件]\n"
    "                         [--scores 文件] [--points N] [--report 文件.html]\n"
    "                         [--diff-dir 目录] [--set 名称=值]... [--only 名字]...\n"
    "                         [--limits 限制] [--allow-unsealed]\n"
    "                         参考 学生目录 文件...\n"
    "      vexlan-batch --list\n"
    "      vexlan-batch --help\n"
    "      vexlan-batch --version\n";

constexpr char kHelp[] =
    "对每个文件中的每个图像运行一个处理步骤，并像“文件 > 保存”那样写出结果。\n"
    "文件可以是 .bmp、.raw、.png、.jpg、.tif、.gif、.webp、.pgm、.ppm、.pbm 图像，\n"
    "也可以是 .lst 图像列表，与“文件 > 打开”相同，按名称的结尾区分。\n"
    "结果写到 D:\\out<主名>.raw，主名是图像名第一个“.”之前的部分。\n"
    "一次运行不会覆盖它要读取的文件，也不会覆盖它已写出的结果。\n"
    "用逗号连起几个步骤（blur,sobel,threshold）时，每个步骤在前一个步骤的结果上运行：\n"
    "结果是它的灰度平面，也是三个颜色通道相同的灰色；写出的是最后一个步骤的结果。\n"
    "已安装的步骤在隔离中运行：它能读取你能读取的文件，但只能写它自己的临时文件夹，\n"
    "看不见其他进程，没有网络，它启动的进程都随它结束。\n"
    "\n"
    "  -o 目录, --output=目录\n"
    "             把结果写到这个（主机上的）目录，目录代替 D:\\，名称中的文件夹照样保留\n"
    "  --timeout 秒  已安装的步骤处理一个图像超过这么多秒就结束它，算作失败\n"
    "  --limits 限制  已安装的步骤每处理一个图像的限制，例如 processes=64,memory=512：\n"
    "             processes 进程和线程数（默认 128）、memory 步骤自己能分配的内存 MiB\n"
    "             （默认 2048）、files 能写的文件和临时文件夹 MiB（默认 64）、output\n"
    "             输出 KiB（默认 1024，超出的部分略去）；0 表示不限\n"
    "  --in-process  在本进程中运行已安装的步骤，没有隔离，只用于调试：便于用 gdb\n"
    "             找到出错的那一行\n"
    "  --png      在每个 .raw 结果旁边另存一个同名的 8 位灰度 PNG 文件\n"
    "  --set 名称=值  给步骤的参数一个值（可重复；链中可写 步骤.名称=值），名称或值不对时\n"
    "             在读取任何图像之前就以状态 2 结束\n"
    "  --name 模式  按模式命名结果（D:\\模式.raw），例如 {stem}_{step}_{threshold}：{stem} 是\n"
    "             主名，{ext} 是图像名的扩展名，{step} 是步骤名（链中以 - 相连），{参数名} 是\n"
    "             该参数的值\n"
    "  --list     列出所有处理步骤：内置的和已安装的（vexlan-step build），每个步骤一行（名称；\n"
    "             已安装的还有菜单文字和文件，以制表符分隔），其下每个参数缩进一行：名称、\n"
    "             标签、范围和默认值\n"
    "  --help     显示本帮助\n"
    "  --version  显示版本\n"
    "选项可以写在文件之前或之后；“--”之后的参数都是文件。\n"
    "\n"
    "步骤也可以是已安装的步骤文件的路径（…/名字.so），这样它的名字与别的步骤相同也能运行。\n"
    "\n"
    "compare：把参考目录（含子文件夹）中的每个结果 out<主名>.raw 与每个目录中的同名文件比较，\n"
    "每个图像一行，每个目录一行小结：缺少、尺寸不同、损坏、不同的像素数、最大差和 PSNR。\n"
    "grade：参考是结果目录或参考步骤的源文件；学生目录中每名学生一个 名字.cpp（或 .c、.cc、\n"
    "  .cxx，或一个名字文件夹，内有一个源文件），不能评分的条目也各有一行说明原因。每名学生\n"
    "  的步骤编译到 -o 目录（默认当前目录）下的 students/名字/step，对文件中的每个图像运行到\n"
    "  students/名字/results，每个图像都与参考比较：相同、容差内相同、不同、运行出错、超时或\n"
    "  缺少；编译和运行的输出在 students/名字/log.txt。--timeout 默认为每个图像 10 秒。\n"
    "  源文件、图像、选项和 Vexlan 都没有改变的学生沿用上次的编译和结果。\n"
    "  --set 的值交给参考和每名学生的步骤，并写在报告的开头。\n"
    "  每名学生的编译和运行都与其他一切隔离：只看得见系统的编译器和库、步骤的头文件、\n"
    "  自己的源文件、练习的图像（只读）和自己的结果。--limits 还可以有 cpu：编译的处理器\n"
    "  时间（秒，默认 60）。系统不允许隔离时，grade 不评分，除非给出 --allow-unsealed。\n"
    "  --tolerance N   相差不超过 N 的像素算作相同（0 到 255，默认 0）\n"
    "  --csv 文件      另把表格写成 CSV（UTF-8），每个目录或学生的每个图像一行\n"
    "  --scores 文件   （grade）另写一个 CSV，每名学生一行：状态、相同的图像数、最大差、\n"
    "                  最低 PSNR、用时和得分\n"
    "  --points N      （grade）满分：得分为 相同的图像数 × N / 图像数\n"
    "  --report 文件   （grade）写一个独立的 HTML 报告：每名学生一行，每个不同的图像并排显示\n"
    "                  输入、参考、学生的结果和差异\n"
    "  --only 名字     （grade，可重复）只重新编译和运行这些学生，其余沿用上次的结果\n"
    "  --diff-dir 目录 为每个不同的图像写一个 PNG：相同的像素深灰，不同的红色，差越大越亮\n"
    "\n"
    "驱动器 X: 是环境变量 VEXLAN_DRIVE_X 给出的目录，例如 VEXLAN_DRIVE_D=/home/me/lab；\n"
    "未设置 VEXLAN_DRIVE_D 时，D: 是当前目录。\n"
    "\n"
    "退出状态：0 表示每个图像都已保存（compare 和 grade：都与参考相同），1 表示有文件或\n"
    "图像失败（有不同），2 表示命令行有误（或参考不能使用）；\n"
    "被 SIGINT、SIGTERM 或 SIGHUP 中断时，在两个图像之间停止，状态为 128 加信号编号\n"
    "（Ctrl+C 为 130）。\n";

struct BatchOptions {
    std::optional<std::string> outputDirectory;
    bool help = false;
    bool list = false;
    bool version = false;
    std::optional<std::string> timeout; // seconds, checked once the options are read
    bool inProcess = false;
    bool png = false;
    std::optional<std::string> limits;
    bool allowUnsealed = false;
    std::optional<std::string> tolerance;
    std::optional<std::string> csv;
    std::optional<std::string> diffDirectory;
    std::vector<std::string> settings; // --set NAME=VALUE, in order
    std::optional<std::string> namePattern;
    std::optional<std::string> scores;
    std::optional<std::string> points;
    std::optional<std::string> report;
    std::vector<std::string> only;
    std::vector<std::string> operands; // the step, then the files
};

// What a command line does; an option belongs to some of them.
enum BatchMode : unsigned { kStepRun = 1, kCompare = 2, kGrade = 4, kAnyMode = 7 };

constexpr char kCompareCommand[] = "compare";
constexpr char kGradeCommand[] = "grade";
constexpr double kGradeTimeoutSeconds = 10;
// A step's source compiles in seconds; one that never ends (#include "/dev/zero") is ended.
constexpr std::uint64_t kGradeBuildCpuSeconds = 60;

// One row per option. An option either takes a value (value set, valueName says what it is),
// takes a value each time it is given (values set), or is a flag (flag set).
struct OptionRow {
    char shortName; // '\0' for a long option only
    std::string_view longName;
    std::optional<std::string> BatchOptions::*value;
    const char* valueName;
    bool BatchOptions::*flag;
    unsigned modes;
    std::vector<std::string> BatchOptions::*values = nullptr;

    bool TakesValue() const { return value || values; }
    bool GivenIn(const BatchOptions& options) const {
        return value    ? (options.*value).has_value()
               : values ? !(options.*values).empty()
                        : options.*flag;
    }
};

constexpr OptionRow kOptions[] = {
    {'o', "output", &BatchOptions::outputDirectory, "目录", nullptr, kStepRun | kGrade},
    {'\0', "list", nullptr, nullptr, &BatchOptions::list, kAnyMode},
    {'\0', "help", nullptr, nullptr, &BatchOptions::help, kAnyMode},
    {'\0', "version", nullptr, nullptr, &BatchOptions::version, kAnyMode},
    {'\0', "timeout", &BatchOptions::timeout, "秒数", nullptr, kStepRun | kGrade},
    {'\0', "in-process", nullptr, nullptr, &BatchOptions::inProcess, kStepRun},
    {'\0', "limits", &BatchOptions::limits, "限制", nullptr, kStepRun | kGrade},
    {'\0', "allow-unsealed", nullptr, nullptr, &BatchOptions::allowUnsealed, kGrade},
    {'\0', "png", nullptr, nullptr, &BatchOptions::png, kStepRun},
    {'\0', "tolerance", &BatchOptions::tolerance, "像素差", nullptr, kCompare | kGrade},
    {'\0', "csv", &BatchOptions::csv, "文件名", nullptr, kCompare | kGrade},
    {'\0', "diff-dir", &BatchOptions::diffDirectory, "目录", nullptr, kCompare | kGrade},
    {'\0', "set", nullptr, "名称=值", nullptr, kStepRun | kGrade, &BatchOptions::settings},
    {'\0', "name", &BatchOptions::namePattern, "名称模式", nullptr, kStepRun},
    {'\0', "scores", &BatchOptions::scores, "文件名", nullptr, kGrade},
    {'\0', "points", &BatchOptions::points, "分数", nullptr, kGrade},
    {'\0', "report", &BatchOptions::report, "文件名", nullptr, kGrade},
    {'\0', "only", nullptr, "学生的名字", nullptr, kGrade, &BatchOptions::only},
};

// The option a long name stands for: its whole name, or else a prefix of exactly one.
const OptionRow* FindLongOption(std::string_view name, std::string& problem) {
    const OptionRow* found = nullptr;
    for (const OptionRow& option : kOptions) {
        if (option.longName == name)
            return &option;
        if (option.longName.starts_with(name)) {
            if (found) {
                problem = "选项 --" + std::string(name) + " 有歧义";
                return nullptr;
            }
            found = &option;
        }
    }
    if (!found)
        problem = "未知的选项 --" + std::string(name);
    return found;
}

const OptionRow* FindShortOption(char name, std::string& problem) {
    for (const OptionRow& option : kOptions)
        if (option.shortName != '\0' && option.shortName == name)
            return &option;
    problem = "未知的选项 -" + std::string(1, name);
    return nullptr;
}

// The arguments, read the GNU way: options and operands in any order, "--" ends the options,
// "-oDIR", "-o DIR", "--output=DIR" and "--output DIR" are the same, a long name may be
// shortened while it stays unambiguous, and "-" alone is an operand.
class OptionReader {
public:
    explicit OptionReader(std::span<const std::string> args) : m_args(args) {}

    std::optional<BatchOptions> Read(std::string& problem) {
        for (m_next = 0; m_next < m_args.size();) {
            const std::string& arg = m_args[m_next++];
            if (arg == "--") {
                m_options.operands.insert(m_options.operands.end(), m_args.begin() + Next(),
                                          m_args.end());
                break;
            }
            const bool read = arg.starts_with("--")             ? ReadLong(arg.substr(2), problem)
                              : arg.size() > 1 && arg[0] == '-' ? ReadShort(arg, problem)
                                                                : Operand(arg);
            if (!read)
                return std::nullopt;
        }
        return std::move(m_options);
    }

private:
    std::ptrdiff_t Next() const { return static_cast<std::ptrdiff_t>(m_next); }

    bool Operand(const std::string& arg) {
        m_options.operands.push_back(arg);
        return true;
    }

    bool ReadLong(const std::string& text, std::string& problem) {
        const std::size_t equals = text.find('=');
        const OptionRow* option = FindLongOption(text.substr(0, equals), problem);
        if (!option)
            return false;
        const std::string shown = "--" + std::string(option->longName);
        if (equals == std::string::npos)
            return Take(*option, shown, std::nullopt, problem);
        if (!option->TakesValue()) {
            problem = "选项 " + shown + " 不带参数";
            return false;
        }
        return Take(*option, shown, text.substr(equals + 1), problem);
    }

    // A cluster of short options: flags, then at most one that takes the rest as its value.
    bool ReadShort(const std::string& arg, std::string& problem) {
        for (std::size_t i = 1; i < arg.size(); ++i) {
            const OptionRow* option = FindShortOption(arg[i], problem);
            if (!option)
                return false;
            if (option->TakesValue())
                return Take(*option, "-" + std::string(1, arg[i]),
                            i + 1 < arg.size() ? std::optional(arg.substr(i + 1)) : std::nullopt,
                            problem);
            m_options.*option->flag = true;
        }
        return true;
    }

    // Sets the option; a value that is not attached is the next argument.
    bool Take(const OptionRow& option, const std::string& shown, std::optional<std::string> value,
              std::string& problem) {
        if (option.flag) {
            m_options.*option.flag = true;
            return true;
        }
        if (!value && m_next < m_args.size())
            value = m_args[m_next++];
        if (!value) {
            problem = "选项 " + shown + " 后面缺少" + option.valueName;
            return false;
        }
        if (option.values)
            (m_options.*option.values).push_back(std::move(*value));
        else
            m_options.*option.value = std::move(value);
        return true;
    }

    std::span<const std::string> m_args;
    std::size_t m_next = 0;
    BatchOptions m_options;
};

int UsageError(std::ostream& err, const std::string& problem) {
    err << "vexlan-batch：" << problem << "\n" << kUsage << "详见 vexlan-batch --help。\n";
    return kBatchUsageError;
}

// A command line that names what the steps do not have: the problem alone says what is wrong.
int Refusal(std::ostream& err, const std::string& problem) {
    err << "vexlan-batch：" << problem << "\n";
    return kBatchUsageError;
}

// Installed steps are read by processes of their own: not for a run of built-in steps and
// step files alone.
bool NeedsStepFolders(std::string_view operand) {
    return std::ranges::any_of(ChainNames(operand), [](const std::string& name) {
        return FindStepByName(name) == nullptr && name.find('/') == std::string::npos;
    });
}

std::optional<double> PositiveNumber(const std::string& text) {
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || !(number > 0) ||
        !std::isfinite(number))
        return std::nullopt;
    return number;
}

void ReportProblems(const CInstalledSteps& installed, std::ostream& err) {
    for (const std::string& problem : installed.problems)
        err << "vexlan-batch：" << problem << "\n";
}

// A line per step, then an indented line per parameter: name, label, range and default.
void ListSteps(std::ostream& out, std::ostream& err) {
    for (const CProcessingStep& step : ProcessingSteps())
        out << step.name << "\n";
    const CInstalledSteps installed = FindInstalledSteps();
    ReportProblems(installed, err);
    for (const CInstalledStep& step : installed.steps) {
        out << step.name << "\t" << step.menuText << "\t" << step.path << "\n";
        for (const CStepParameter& parameter : step.parameters)
            out << "\t" << parameter.name << "\t" << parameter.label << "\t"
                << ParameterRange(parameter) << "\n";
    }
}

// Said once, before the first image, where an installed step is not kept from the rest: run in
// this process for a debugger, or on a system that cannot seal it.
void TellHowInstalledStepsRun(const std::vector<CBatchStep>& steps, bool inProcess,
                              std::ostream& err) {
    if (std::ranges::none_of(steps, [](const CBatchStep& step) { return !step.builtIn; }))
        return;
    if (inProcess)
        err << "vexlan-batch：--in-"
               "process：步骤在本进程中运行，没有隔离，也没有限制，只用于调试。\n";
    else if (const std::optional<std::string>& reason = SealUnavailableReason())
        err << "vexlan-batch：" << UnsealedStepsMessage(*reason) << "\n";
}

BatchMode ModeOf(const BatchOptions& options) {
    const std::string first = options.operands.empty() ? "" : options.operands.front();
    return first == kCompareCommand ? kCompare : first == kGradeCommand ? kGrade : kStepRun;
}

// The first option given that the command does not take.
std::optional<std::string> MisplacedOption(const BatchOptions& options, BatchMode mode) {
    for (const OptionRow& option : kOptions) {
        if (option.GivenIn(options) && (option.modes & mode) == 0)
            return "选项 --" + std::string(option.longName) +
                   (mode == kStepRun ? " 只用于 compare 和 grade"
                                     : " 不能用于 " + options.operands.front());
    }
    return std::nullopt;
}

std::optional<int> Tolerance(const std::optional<std::string>& text) {
    int tolerance = 0;
    if (!text)
        return tolerance;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), tolerance);
    if (error != std::errc() || end != text->data() + text->size() || tolerance < 0 ||
        tolerance > 255)
        return std::nullopt;
    return tolerance;
}

// Each compared folder's difference images go to a folder of its own name, told apart by a
// number where two names are the same.
std::vector<std::string> DifferenceFolders(const std::string& differenceFolder,
                                           std::span<const std::string> folders) {
    std::map<std::string, int> seen;
    std::vector<std::string> named;
    for (const std::string& folder : folders) {
        std::string name = std::filesystem::path(folder).lexically_normal().filename().string();
        if (name.empty() || name == "." || name == "..")
            name = "folder";
        if (const int times = seen[name]++; times > 0)
            name += "-" + std::to_string(times + 1);
        named.push_back((std::filesystem::path(differenceFolder) / name).string());
    }
    return named;
}

int CompareFolders(const BatchOptions& options, int tolerance, std::ostream& out,
                   std::ostream& err) {
    const std::span<const std::string> folders(options.operands.begin() + 2,
                                               options.operands.end());
    std::string problem;
    const std::optional<CResultComparison> comparison =
        CResultComparison::Open(options.operands[1], tolerance, problem);
    if (!comparison) {
        err << "vexlan-batch：" << problem << "\n";
        return kBatchUsageError;
    }
    const std::vector<std::string> differenceFolders =
        options.diffDirectory ? DifferenceFolders(*options.diffDirectory, folders)
                              : std::vector<std::string>();
    bool allEqual = true;
    std::vector<CFolderComparison> compared;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        compared.push_back(comparison->Compare(
            folders[i], folders[i],
            options.diffDirectory ? std::optional(differenceFolders[i]) : std::nullopt));
        for (const CImageComparison& image : compared.back().images)
            out << ImageComparisonLine(compared.back().label, image) << "\n";
        out << FolderComparisonSummary(compared.back()) << "\n";
        allEqual = allEqual && compared.back().AllEqual();
    }
    if (options.csv && !WriteCsvFile(*options.csv, ComparisonCsv(compared, tolerance), problem)) {
        err << "vexlan-batch：" << problem << "\n";
        allEqual = false;
    }
    return allEqual ? kBatchAllSaved : kBatchSomeFailed;
}

int RunComparison(const BatchOptions& options, BatchMode mode, std::optional<double> timeout,
                  const CSealLimits& limits, std::ostream& out, std::ostream& err) {
    const std::optional<int> tolerance = Tolerance(options.tolerance);
    if (!tolerance)
        return UsageError(err, "选项 --tolerance 后面应是 0 到 255 的整数");
    if (mode == kCompare) {
        if (options.operands.size() < 3)
            return UsageError(err, "compare 需要一个参考目录和至少一个要比较的目录");
        return CompareFolders(options, *tolerance, out, err);
    }
    if (options.operands.size() < 4)
        return UsageError(err, "grade 需要参考、学生目录和至少一个文件");
    const std::optional<double> points =
        options.points ? PositiveNumber(*options.points) : std::nullopt;
    if (options.points && !points)
        return UsageError(err, "选项 --points 后面应是一个大于 0 的数");
    CGradingRequest request{options.operands[1],
                            options.operands[2],
                            {options.operands.begin() + 3, options.operands.end()},
                            options.outputDirectory.value_or("."),
                            timeout.value_or(kGradeTimeoutSeconds),
                            *tolerance,
                            options.csv,
                            options.scores,
                            options.diffDirectory,
                            options.report,
                            points,
                            options.only,
                            options.settings,
                            limits,
                            options.allowUnsealed};
    return CClassGrading(std::move(request), out, err).Run();
}

int RunOnFiles(CBatchRunner runner, const BatchOptions& options,
               const std::optional<CResultNaming>& naming) {
    runner.WritePngBeside(options.png);
    if (naming)
        runner.NameResults(
            [naming](const std::string& entry) { return naming->ResultName(entry); });
    for (std::size_t i = 1; i < options.operands.size(); ++i)
        runner.AddChosenFile(options.operands[i]);
    if (runner.Run())
        return kBatchAllSaved;
    return runner.StopSignal() != 0 ? kBatchStoppedBySignal + runner.StopSignal()
                                    : kBatchSomeFailed;
}

} // namespace

int RunBatchCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<BatchOptions> options = OptionReader(args).Read(problem);
    if (!options)
        return UsageError(err, problem);
    if (options->help) {
        out << kUsage << "\n" << kHelp;
        return kBatchAllSaved;
    }
    if (options->version) {
        out << "vexlan-batch (Vexlan) " VEXLAN_VERSION "\n";
        return kBatchAllSaved;
    }
    if (options->list) {
        ListSteps(out, err);
        return kBatchAllSaved;
    }
    const std::optional<double> timeout =
        options->timeout ? PositiveNumber(*options->timeout) : std::nullopt;
    if (options->timeout && !timeout)
        return UsageError(err, "选项 --timeout 后面应是一个大于 0 的秒数");
    const BatchMode mode = ModeOf(*options);
    if (const std::optional<std::string> misplaced = MisplacedOption(*options, mode))
        return UsageError(err, *misplaced);
    CSealLimits limits;
    if (mode == kGrade)
        limits.cpuSeconds = kGradeBuildCpuSeconds;
    if (const std::optional<std::string> problem =
            options->limits ? ApplyLimitSettings(*options->limits, limits) : std::nullopt)
        return UsageError(err, "选项 --limits：" + *problem);
    if (mode != kStepRun)
        return RunComparison(*options, mode, timeout, limits, out, err);
    if (options->operands.empty())
        return UsageError(err, "缺少处理步骤");
    const std::string& operand = options->operands[0];
    const CInstalledSteps installed =
        NeedsStepFolders(operand) ? FindInstalledSteps() : CInstalledSteps{};
    std::optional<std::vector<CBatchStep>> steps = FindBatchSteps(operand, installed, problem);
    if (!steps) {
        ReportProblems(installed, err);
        return UsageError(err, problem);
    }
    // Before any file is read: a wrong value would only fail every image.
    if (const std::optional<std::string> refused = ApplySettings(*steps, options->settings))
        return Refusal(err, *refused);
    std::optional<CResultNaming> naming;
    if (options->namePattern &&
        !(naming = CResultNaming::Make(*options->namePattern, *steps, problem)))
        return Refusal(err, problem);
    if (options->operands.size() == 1)
        return UsageError(err, "缺少文件");
    TellHowInstalledStepsRun(*steps, options->inProcess, err);
    CBatchRunner runner(StepChainRun(*steps, options->inProcess, timeout, limits),
                        options->outputDirectory, out, err);
    runner.StopStepsAtOnce(options->inProcess);
    return RunOnFiles(std::move(runner), *options, naming);
}
