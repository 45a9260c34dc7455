// The grading report: one self-contained HTML page (no network: its pictures are inlined) with
// the summary, one row per student with their line, and for each image that does not equal the
// reference the input, the reference, the student's result and the difference side by side;
// for a failure, the lines of the student's log about it.
#pragma once

#include "exercise.h"
#include "resultcomparison.h"
#include "studentgrade.h"

#include <string>
#include <vector>

struct CReportStudent {
    const CStudentGrade* grade = nullptr;
    std::string line;          // as the grade printed it
    std::string resultsFolder; // empty for a student who was not run
    std::string logPath;       // empty for a student who has no log
};

class CGradingReport {
public:
    CGradingReport(const CExercise& exercise, const CResultComparison& comparison);

    std::string Html(const std::string& summary, const std::vector<CReportStudent>& students) const;

private:
    struct Shared; // the input and reference pictures, each written once in the page's style

    std::string StudentSection(std::size_t number, const CReportStudent& student,
                               Shared& shared) const;
    std::string ImageBlock(const CReportStudent& student, const CGradedImage& graded,
                           const CExerciseImage& image, const std::string& log,
                           Shared& shared) const;

    const CExercise& m_exercise;
    const CResultComparison& m_comparison;
};
