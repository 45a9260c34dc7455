#include "studentlog.h"

namespace {

// Enough for a compiler's errors or a step's debugging output on one image.
constexpr std::size_t kMaxKeptLines = 400;
constexpr std::size_t kMaxKeptBytes = 256 * 1024;

} // namespace

CStudentLog::CStudentLog(const std::string& hostPath)
    : m_file(hostPath, std::ios::binary | std::ios::trunc) {}

CStudentLog::~CStudentLog() {
    ReportDropped();
}

void CStudentLog::Command(const std::string& shellLine) {
    RunnerLine("$ " + shellLine);
}

void CStudentLog::Note(const std::string& line) {
    RunnerLine("vexlan-batch grade：" + line);
}

void CStudentLog::RunnerLine(const std::string& line) {
    ReportDropped();
    Keep(line);
    m_keptLines = 0;
    m_keptBytes = 0;
}

void CStudentLog::OutputLine(const std::string& line) {
    if (m_keptLines >= kMaxKeptLines || m_keptBytes + line.size() > kMaxKeptBytes) {
        ++m_droppedLines;
        return;
    }
    Keep(line);
    ++m_keptLines;
    m_keptBytes += line.size() + 1;
}

void CStudentLog::Keep(const std::string& line) {
    m_file << line << '\n';
}

void CStudentLog::ReportDropped() {
    if (m_droppedLines == 0)
        return;
    Keep("……（此处又输出了 " + std::to_string(m_droppedLines) + " 行，没有记入日志）");
    m_droppedLines = 0;
}
