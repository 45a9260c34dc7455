#include "stepparameter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t begin = 0;;) {
        const std::size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end - begin));
        if (end == std::string_view::npos)
            return parts;
        begin = end + 1;
    }
}

} // namespace

std::string ValueText(double value) {
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

std::optional<double> ParseValue(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::string> ValueProblem(const CStepParameter& parameter, double value) {
    const std::string named = "参数 " + parameter.name + "（" + parameter.label + "）";
    if (parameter.wholeNumbers && value != std::floor(value))
        return named + "只取整数，" + ValueText(value) + " 不是整数";
    if (!(value >= parameter.minimum && value <= parameter.maximum))
        return named + "的值 " + ValueText(value) + " 超出了范围 " + ValueText(parameter.minimum) +
               " 到 " + ValueText(parameter.maximum);
    return std::nullopt;
}

double NearestValue(const CStepParameter& parameter, double value) {
    const double whole = parameter.wholeNumbers ? std::round(value) : value;
    return std::clamp(whole, parameter.minimum, parameter.maximum);
}

std::vector<double> DefaultValues(std::span<const CStepParameter> parameters) {
    std::vector<double> values;
    for (const CStepParameter& parameter : parameters)
        values.push_back(parameter.defaultValue);
    return values;
}

std::string ParameterLine(const CStepParameter& parameter) {
    return parameter.name + '\t' + parameter.label + '\t' + (parameter.wholeNumbers ? "1" : "0") +
           '\t' + ValueText(parameter.minimum) + '\t' + ValueText(parameter.maximum) + '\t' +
           ValueText(parameter.defaultValue);
}

std::optional<CStepParameter> ParseParameterLine(std::string_view line) {
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() != 6 || fields[0].empty() || (fields[2] != "0" && fields[2] != "1"))
        return std::nullopt;
    const std::optional<double> minimum = ParseValue(fields[3]);
    const std::optional<double> maximum = ParseValue(fields[4]);
    const std::optional<double> defaultValue = ParseValue(fields[5]);
    if (!minimum || !maximum || !defaultValue)
        return std::nullopt;
    return CStepParameter{
        std::string(fields[0]), std::string(fields[1]), fields[2] == "1", *minimum, *maximum,
        *defaultValue};
}

std::string ValuesLine(std::span<const double> values) {
    std::string line;
    for (const double value : values)
        line += (line.empty() ? "" : " ") + ValueText(value);
    return line;
}

std::optional<std::vector<double>> ParseValuesLine(std::string_view line) {
    std::vector<double> values;
    if (line.empty())
        return values;
    for (const std::string_view field : Split(line, ' ')) {
        const std::optional<double> value = ParseValue(field);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

std::string ShownValues(std::span<const CStepParameter> parameters,
                        std::span<const double> values) {
    std::string shown;
    for (std::size_t i = 0; i < parameters.size() && i < values.size(); ++i)
        shown += (shown.empty() ? "" : ", ") + parameters[i].label + " " + ValueText(values[i]);
    return shown;
}

std::string ParameterRange(const CStepParameter& parameter) {
    return std::string(parameter.wholeNumbers ? "整数" : "实数") + " " +
           ValueText(parameter.minimum) + " 到 " + ValueText(parameter.maximum) + "，默认 " +
           ValueText(parameter.defaultValue);
}
