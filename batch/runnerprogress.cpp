#include "runnerprogress.h"

#include <charconv>

namespace {

// The runner's words for an image ended past its time limit (StepEndMessage).
constexpr std::string_view kTimedOutEnding = "超时，已被结束";
constexpr std::string_view kOwnLineStart = "vexlan-batch：";
constexpr std::string_view kClosingCountStart = "共 ";

} // namespace

CRunnerProgress::CRunnerProgress(int runCount, CStudentLog& log)
    : m_images(static_cast<std::size_t>(std::max(runCount, 0))), m_log(log),
      m_lastLine(std::chrono::steady_clock::now()) {}

void CRunnerProgress::See(const std::string& line) {
    const int index = ImageIndexOf(line);
    if (index < 0) {
        const bool own = line.starts_with(kOwnLineStart);
        if (own && m_firstOwnLine.empty())
            m_firstOwnLine = line;
        if (own || line.starts_with(kClosingCountStart))
            m_log.RunnerLine(line);
        else
            m_log.OutputLine(line);
        return;
    }
    m_log.RunnerLine(line);
    const auto now = std::chrono::steady_clock::now();
    CImageRun& image = m_images[static_cast<std::size_t>(index)];
    image.seconds = std::chrono::duration<double>(now - m_lastLine).count();
    m_lastLine = now;
    if (line.find(" -> ") != std::string::npos) {
        image.kind = CImageRun::Kind::Saved;
        return;
    }
    image.kind =
        line.ends_with(kTimedOutEnding) ? CImageRun::Kind::TimedOut : CImageRun::Kind::Failed;
    image.detail = line;
}

int CRunnerProgress::ImageIndexOf(const std::string& line) const {
    if (!line.starts_with("["))
        return -1;
    const char* const end = line.data() + line.size();
    int number = 0;
    int count = 0;
    const auto [slash, numberError] = std::from_chars(line.data() + 1, end, number);
    if (numberError != std::errc() || slash == end || *slash != '/')
        return -1;
    const auto [close, countError] = std::from_chars(slash + 1, end, count);
    if (countError != std::errc() || end - close < 2 || close[0] != ']' || close[1] != ' ')
        return -1;
    if (count != static_cast<int>(m_images.size()) || number < 1 || number > count)
        return -1;
    return number - 1;
}
