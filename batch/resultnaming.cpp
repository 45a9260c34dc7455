#include "resultnaming.h"

#include <map>

namespace {

// The fields whose value is the same for every image of the run.
std::map<std::string, std::string> RunFields(const std::vector<CBatchStep>& steps) {
    std::map<std::string, std::string> fields{{"step", ChainWord(steps)}};
    std::map<std::string, int> owners; // how many step names have a parameter of the name
    for (const CBatchStep& step : steps) {
        const std::span<const CStepParameter> parameters = step.Parameters();
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const std::string qualified = step.name + "." + parameters[i].name;
            if (!fields.contains(qualified))
                ++owners[parameters[i].name];
            fields[qualified] = ValueText(step.values[i]);
            fields[parameters[i].name] = fields[qualified];
        }
    }
    for (const auto& [name, count] : owners)
        if (count > 1)
            fields.erase(name); // ambiguous: only the qualified name will do
    return fields;
}

} // namespace

std::optional<CResultNaming> CResultNaming::Make(const std::string& pattern,
                                                 const std::vector<CBatchStep>& steps,
                                                 std::string& problem) {
    const std::map<std::string, std::string> fields = RunFields(steps);
    CResultNaming naming;
    for (std::size_t at = 0; at < pattern.size();) {
        const std::size_t open = pattern.find_first_of("{}", at);
        naming.m_parts.push_back({Field::Text, pattern.substr(at, open - at)});
        if (open == std::string::npos)
            break;
        const std::size_t close = pattern.find('}', open + 1);
        if (pattern[open] == '}' || close == std::string::npos ||
            pattern.find('{', open + 1) < close) {
            problem = "名称模式 " + pattern + " 中的花括号不成对";
            return std::nullopt;
        }
        const std::string name = pattern.substr(open + 1, close - open - 1);
        if (name == "stem" || name == "ext") {
            naming.m_parts.push_back({name == "stem" ? Field::Stem : Field::Ext, {}});
        } else if (const auto field = fields.find(name); field != fields.end()) {
            naming.m_parts.push_back({Field::Text, field->second});
        } else {
            problem = "名称模式中的 {" + name +
                      "} 不是 {stem}、{ext}、{step} 或步骤的参数名（链中有歧义时写 {步骤.参数}）";
            return std::nullopt;
        }
        at = close + 1;
    }
    return naming;
}

std::string CResultNaming::ResultName(const std::string& entryName) const {
    const std::size_t fileStart = entryName.find_last_of("\\/") + 1;
    const std::size_t lastDot = entryName.rfind('.');
    const std::string ext =
        lastDot != std::string::npos && lastDot >= fileStart ? entryName.substr(lastDot + 1) : "";
    std::string name;
    for (const Part& part : m_parts)
        name += part.field == Field::Stem  ? entryName.substr(0, entryName.find('.'))
                : part.field == Field::Ext ? ext
                                           : part.text;
    return "D:\\" + name + ".raw";
}
