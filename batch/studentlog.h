// A student's log, RUN_DIR/students/NAME/log.txt: each command run for them, whole, so that it
// can be pasted to repeat it, and what it printed, as it came, the runner's "[i/N]" lines among
// the step's own. What a step prints between two of the runner's lines is kept up to a limit,
// so that a step that prints without end leaves a log that can still be read; the rest is
// counted.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>

class CStudentLog {
public:
    explicit CStudentLog(const std::string& hostPath);
    ~CStudentLog();
    CStudentLog(const CStudentLog&) = delete;
    CStudentLog& operator=(const CStudentLog&) = delete;

    void Command(const std::string& shellLine);
    // A line of the grader's own about the command, such as its end past the time limit.
    void Note(const std::string& line);
    // A line of the runner's (or of the compiler's driver): always kept.
    void RunnerLine(const std::string& line);
    // A line the step or the compiler printed: kept while the limit allows.
    void OutputLine(const std::string& line);

private:
    void Keep(const std::string& line);
    void ReportDropped();

    std::ofstream m_file;
    std::size_t m_keptLines = 0; // since the last line of the runner's
    std::size_t m_keptBytes = 0;
    std::size_t m_droppedLines = 0;
};
