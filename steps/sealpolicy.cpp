#include "sealpolicy.h"

#include <charconv>

namespace {

constexpr char kViewOption[] = "--view";
constexpr char kWholeSystem[] = "whole-system";
constexpr char kListed[] = "listed";
constexpr char kReadable[] = "--ro";
constexpr char kWritable[] = "--rw";

// The limits by option name, with the unit a user gives them in for ApplyLimitSettings.
struct LimitRow {
    const char* name;
    std::uint64_t CSealLimits::*field;
    std::uint64_t unit;
};

constexpr LimitRow kLimits[] = {
    {"processes", &CSealLimits::processes, 1},
    {"memory", &CSealLimits::memoryBytes, std::uint64_t{1} << 20},
    {"files", &CSealLimits::fileBytes, std::uint64_t{1} << 20},
    {"cpu", &CSealLimits::cpuSeconds, 1},
    {"output", &CSealLimits::outputBytes, std::uint64_t{1} << 10},
};

const LimitRow* FindLimit(std::string_view name) {
    for (const LimitRow& row : kLimits)
        if (name == row.name)
            return &row;
    return nullptr;
}

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::vector<std::string> SealOptions(const CSealPolicy& policy) {
    std::vector<std::string> options{
        kViewOption, policy.view == CSealPolicy::View::Listed ? kListed : kWholeSystem};
    for (const std::string& path : policy.readable)
        options.insert(options.end(), {kReadable, path});
    for (const std::string& path : policy.writable)
        options.insert(options.end(), {kWritable, path});
    for (const LimitRow& row : kLimits)
        options.insert(options.end(),
                       {std::string("--") + row.name, std::to_string(policy.limits.*row.field)});
    return options;
}

std::optional<CSealPolicy> ReadSealOptions(std::span<const std::string> args, std::size_t& next,
                                           std::string& problem) {
    CSealPolicy policy;
    for (; next < args.size() && args[next] != "--"; next += 2) {
        const std::string& option = args[next];
        if (next + 1 >= args.size()) {
            problem = "选项 " + option + " 后面缺少值";
            return std::nullopt;
        }
        const std::string& value = args[next + 1];
        const LimitRow* limit = option.starts_with("--") ? FindLimit(option.substr(2)) : nullptr;
        const std::optional<std::uint64_t> number = Number(value);
        if (option == kViewOption && (value == kWholeSystem || value == kListed))
            policy.view =
                value == kListed ? CSealPolicy::View::Listed : CSealPolicy::View::WholeSystem;
        else if (option == kReadable)
            policy.readable.push_back(value);
        else if (option == kWritable)
            policy.writable.push_back(value);
        else if (limit && number)
            policy.limits.*limit->field = *number;
        else {
            problem = "无法理解选项 " + option + " " + value;
            return std::nullopt;
        }
    }
    next += next < args.size() ? 1 : 0; // past "--"
    return policy;
}

std::optional<std::string> ApplyLimitSettings(const std::string& settings, CSealLimits& limits) {
    std::string_view rest = settings;
    while (!rest.empty()) {
        const std::string_view setting = rest.substr(0, rest.find(','));
        rest.remove_prefix(std::min(setting.size() + 1, rest.size()));
        const std::size_t equals = setting.find('=');
        const LimitRow* row = FindLimit(setting.substr(0, equals));
        const std::optional<std::uint64_t> value =
            equals == std::string_view::npos ? std::nullopt : Number(setting.substr(equals + 1));
        if (!row || !value || *value > UINT64_MAX / row->unit)
            return "无法理解限制“" + std::string(setting) +
                   "”：应是 名称=数值，名称为 processes、memory（MiB）、files（MiB）、"
                   "cpu（秒）或 output（KiB），数值为 0 表示不限";
        limits.*row->field = *value * row->unit;
    }
    return std::nullopt;
}

std::string LimitSettings(const CSealLimits& limits) {
    std::string settings;
    for (const LimitRow& row : kLimits)
        settings += (settings.empty() ? "" : ",") + std::string(row.name) + "=" +
                    std::to_string(limits.*row.field / row.unit);
    return settings;
}
