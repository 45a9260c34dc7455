#include "steprunrecord.h"

#include <charconv>
#include <sstream>

namespace {

constexpr char kHeading[] = "vexlan-grade-record 1";
constexpr char kEnd[] = "end";

constexpr const char* kKindWords[] = {"none", "saved", "failed", "timedout"};

// A line holds no line break; one that came with a carriage return keeps it.
std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        c = c == '\n' ? ' ' : c;
    return line;
}

std::optional<double> Number(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<CImageRun::Kind> KindNamed(const std::string& word) {
    for (std::size_t i = 0; i < std::size(kKindWords); ++i)
        if (word == kKindWords[i])
            return static_cast<CImageRun::Kind>(i);
    return std::nullopt;
}

// "WORD REST": the first word and the rest of the line after one space.
std::pair<std::string, std::string> Split(const std::string& line) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return {line, {}};
    return {line.substr(0, space), line.substr(space + 1)};
}

bool ReadImage(const std::string& fields, CStepRunRecord& record) {
    const auto [kindWord, rest] = Split(fields);
    const auto [secondsText, detail] = Split(rest);
    const std::optional<CImageRun::Kind> kind = KindNamed(kindWord);
    const std::optional<double> seconds = Number(secondsText);
    if (!kind || !seconds)
        return false;
    record.images.push_back({*kind, detail, *seconds});
    return true;
}

bool ReadField(const std::string& line, CStepRunRecord& record) {
    const auto [name, value] = Split(line);
    if (name == "key")
        record.key = value;
    else if (name == "built")
        record.built = value == "yes";
    else if (name == "build-problem")
        record.buildProblem = value;
    else if (name == "run-problem")
        record.runProblem = value;
    else if (name == "run-timed-out")
        record.runTimedOut = value == "yes";
    else if (name == "image")
        return ReadImage(value, record);
    else if (name == "seconds") {
        const std::optional<double> seconds = Number(value);
        record.seconds = seconds.value_or(0);
        return seconds.has_value();
    } else
        return false;
    return true;
}

} // namespace

CImageRun CStepRunRecord::Image(int runIndex) const {
    const auto index = static_cast<std::size_t>(runIndex - 1);
    return runIndex >= 1 && index < images.size() ? images[index] : CImageRun{};
}

std::string StepRunRecordText(const CStepRunRecord& record) {
    std::ostringstream text;
    text << kHeading << "\n";
    text << "key " << record.key << "\n";
    text << "built " << (record.built ? "yes" : "no") << "\n";
    text << "build-problem " << OneLine(record.buildProblem) << "\n";
    text << "run-problem " << OneLine(record.runProblem) << "\n";
    text << "run-timed-out " << (record.runTimedOut ? "yes" : "no") << "\n";
    for (const CImageRun& image : record.images)
        text << "image " << kKindWords[static_cast<int>(image.kind)] << " " << image.seconds << " "
             << OneLine(image.detail) << "\n";
    text << "seconds " << record.seconds << "\n";
    text << kEnd << "\n";
    return text.str();
}

std::optional<CStepRunRecord> ParseStepRunRecord(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kHeading)
        return std::nullopt;
    CStepRunRecord record;
    while (std::getline(lines, line)) {
        if (line == kEnd)
            return record;
        if (!ReadField(line, record))
            return std::nullopt;
    }
    return std::nullopt;
}
