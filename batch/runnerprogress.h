// What a run of vexlan-batch says about each image, read from its lines as they come: the
// runner ends each image with a line "[i/N] ..." (the result written, or why not), and
// whatever the step printed for that image comes before it. Lines are passed on to the log.
#pragma once

#include "steprunrecord.h"
#include "studentlog.h"

#include <chrono>
#include <string>
#include <vector>

class CRunnerProgress {
public:
    CRunnerProgress(int runCount, CStudentLog& log);

    void See(const std::string& line);

    // By the run's order; an image without its line is NotReported.
    const std::vector<CImageRun>& Images() const { return m_images; }
    // The runner's first line of its own that is about no image, such as its refusal of the
    // step; empty when there was none.
    const std::string& FirstOwnLine() const { return m_firstOwnLine; }

private:
    // The image of a line "[i/N] ...", or -1.
    int ImageIndexOf(const std::string& line) const;

    std::vector<CImageRun> m_images;
    CStudentLog& m_log;
    std::string m_firstOwnLine;
    std::chrono::steady_clock::time_point m_lastLine;
};
