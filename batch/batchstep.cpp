#include "batchstep.h"

#include "steptable.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

struct Setting {
    std::string step; // empty: whichever step has the parameter
    std::string parameter;
    std::string valueText;
};

std::optional<Setting> ParseSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        return std::nullopt;
    const std::string name = text.substr(0, equals);
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos)
        return Setting{{}, name, text.substr(equals + 1)};
    return Setting{name.substr(0, dot), name.substr(dot + 1), text.substr(equals + 1)};
}

// The place of the parameter in the step, or nothing.
std::optional<std::size_t> ParameterPlace(const CBatchStep& step, const std::string& name) {
    const std::span<const CStepParameter> parameters = step.Parameters();
    const auto found = std::ranges::find(parameters, name, &CStepParameter::name);
    return found == parameters.end()
               ? std::nullopt
               : std::optional(static_cast<std::size_t>(found - parameters.begin()));
}

// The steps the setting names: of its step name, else every step of the one name that has the
// parameter; why not, when none or several names would.
std::optional<std::string> SetValue(std::vector<CBatchStep>& steps, const Setting& setting) {
    std::vector<std::pair<CBatchStep*, std::size_t>> targets;
    for (CBatchStep& step : steps)
        if (setting.step.empty() || step.name == setting.step)
            if (const std::optional<std::size_t> place = ParameterPlace(step, setting.parameter))
                targets.emplace_back(&step, *place);
    const std::string shown = (setting.step.empty() ? "" : setting.step + ".") + setting.parameter;
    if (targets.empty())
        return (setting.step.empty() ? "没有哪个步骤有" : "步骤 " + setting.step + " 没有") +
               "名为 " + setting.parameter + " 的参数（vexlan-batch --list 列出每个步骤的参数）";
    if (std::ranges::any_of(targets, [&](const auto& target) {
            return target.first->name != targets.front().first->name;
        }))
        return "链中不止一个步骤有参数 " + setting.parameter + "：请写成 步骤." +
               setting.parameter + "=值";
    const CStepParameter& parameter = targets.front().first->Parameters()[targets.front().second];
    const std::optional<double> value = ParseValue(setting.valueText);
    if (!value)
        return "参数 " + shown + " 的值 “" + setting.valueText + "” 不是数";
    if (std::optional<std::string> problem = ValueProblem(parameter, *value))
        return problem;
    for (const auto& [step, place] : targets)
        step->values[place] = *value;
    return std::nullopt;
}

// The step of the file at path, read as the step folders are (a folder or file that another
// user may write is refused).
std::optional<CInstalledStep> StepOfFile(const std::string& path, std::string& problem) {
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(path, error).lexically_normal();
    const CInstalledSteps beside = FindInstalledSteps({absolute.parent_path().string()});
    const CInstalledStep* file = beside.FindFile(path);
    if (!file) {
        const auto refusal = std::ranges::find_if(beside.problems, [&](const std::string& text) {
            return text.find(absolute.string()) != std::string::npos;
        });
        problem = refusal != beside.problems.end() ? *refusal : "没有步骤文件 " + path;
        return std::nullopt;
    }
    return *file;
}

} // namespace

std::span<const CStepParameter> CBatchStep::Parameters() const {
    return installed ? std::span<const CStepParameter>(installed->parameters)
                     : std::span<const CStepParameter>();
}

std::vector<std::string> ChainNames(std::string_view operand) {
    std::vector<std::string> names;
    for (std::size_t begin = 0; begin <= operand.size();) {
        const std::size_t end = std::min(operand.find(',', begin), operand.size());
        names.emplace_back(operand.substr(begin, end - begin));
        begin = end + 1;
    }
    return names;
}

std::optional<std::vector<CBatchStep>>
FindBatchSteps(std::string_view operand, const CInstalledSteps& installed, std::string& problem) {
    std::vector<CBatchStep> steps;
    for (const std::string& name : ChainNames(operand)) {
        CBatchStep step{name, FindStepByName(name), std::nullopt, {}};
        if (!step.builtIn && name.find('/') != std::string::npos) {
            if (!(step.installed = StepOfFile(name, problem)))
                return std::nullopt;
            // Its runs' messages, and the debugger's command they give, name the file.
            step.name = std::exchange(step.installed->name, step.installed->path);
        } else if (const CInstalledStep* found = step.builtIn ? nullptr : installed.Find(name)) {
            step.installed = *found;
        }
        if (!step.builtIn && !step.installed) {
            problem = name.empty()
                          ? "步骤链 " + std::string(operand) + " 中有空的步骤名"
                          : "没有名为 " + name + " 的处理步骤（vexlan-batch --list 列出所有步骤）";
            return std::nullopt;
        }
        step.values = DefaultValues(step.Parameters());
        steps.push_back(std::move(step));
    }
    return steps;
}

std::optional<std::string> ApplySettings(std::vector<CBatchStep>& steps,
                                         std::span<const std::string> settings) {
    for (const std::string& text : settings) {
        const std::optional<Setting> setting = ParseSetting(text);
        if (!setting)
            return "--set 后面应是 名称=值（链中也可写 步骤.名称=值），而不是 “" + text + "”";
        if (std::optional<std::string> problem = SetValue(steps, *setting))
            return problem;
    }
    return std::nullopt;
}

std::string ChainWord(std::span<const CBatchStep> steps) {
    std::string word;
    for (const CBatchStep& step : steps)
        word += (word.empty() ? "" : "-") + step.name;
    return word;
}
