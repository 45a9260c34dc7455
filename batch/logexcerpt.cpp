#include "logexcerpt.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

constexpr std::size_t kBuildLines = 30;
constexpr std::size_t kLinesBefore = 12;
constexpr std::size_t kLinesAfter = 4;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i)
        text += lines[i] + "\n";
    return text;
}

bool IsRunnerImageLine(const std::string& line) {
    return line.starts_with("[") && line.find("] ") != std::string::npos;
}

} // namespace

std::string BuildLogExcerpt(const std::string& log) {
    const std::vector<std::string> lines = Lines(log);
    // After the command line, which the report shows apart.
    const std::size_t from = lines.empty() ? 0 : 1;
    return Joined(lines, from, std::min(lines.size(), from + kBuildLines));
}

std::string ImageLogExcerpt(const std::string& log, int runIndex, int runCount) {
    const std::vector<std::string> lines = Lines(log);
    const std::string prefix =
        "[" + std::to_string(runIndex) + "/" + std::to_string(runCount) + "] ";
    const auto found = std::ranges::find_if(
        lines, [&](const std::string& line) { return line.starts_with(prefix); });
    if (found == lines.end())
        return "";
    const auto at = static_cast<std::size_t>(found - lines.begin());
    std::size_t from = at;
    while (from > 0 && at - from < kLinesBefore && !IsRunnerImageLine(lines[from - 1]) &&
           !lines[from - 1].starts_with("$ "))
        --from;
    std::size_t to = at + 1;
    while (to < lines.size() && to - at <= kLinesAfter && !IsRunnerImageLine(lines[to]) &&
           !lines[to].starts_with("共 "))
        ++to;
    return Joined(lines, from, to);
}
