// A whole class graded in one run: every student's step source is built into a step folder of
// the run's own, run over the exercise's images into results/<student>/, and compared with the
// reference. A student's step that does not compile, crashes or loops never stops the others:
// each build and each run is a program in a process of its own.
#pragma once

#include "resultcomparison.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct CGradingRequest {
    // A folder of out<stem>.raw files, or the step source of the teacher's solution, built and
    // run like a student's.
    std::string reference;
    // NAME.cpp (or NAME.c) per student, or a folder NAME holding one such source.
    std::string studentsFolder;
    std::vector<std::string> files; // the exercise's images and lists, as vexlan-batch takes them
    std::string runFolder;          // steps/, results/ and logs/ go below it
    double timeoutSeconds = 0;      // for one image
    int tolerance = 0;
    std::optional<std::string> csvPath;
    std::optional<std::string> differenceFolder; // a folder per student below it
    // --set NAME=VALUE for the reference's and every student's run alike.
    std::vector<std::string> settings;
};

struct CStudentGrade {
    enum class Status { Equal, Differs, Crashed, TimedOut, DidNotBuild };

    std::string name;
    Status status = Status::DidNotBuild;
    std::string detail; // the compiler's first error line, or the run's first failure
    std::optional<CFolderComparison> comparison;
};

class CClassGrading {
public:
    // Lines for each student, in name order, go to out; problems of the run itself to err.
    CClassGrading(CGradingRequest request, std::ostream& out, std::ostream& err);

    // The exit status: 0 when every student's results equal the reference's, 1 when any do
    // not, 2 when the reference or the students' folder cannot be used.
    int Run();

private:
    struct Student {
        std::string name;
        std::string source; // empty when the folder holds no single source
        std::string sourceProblem;
    };
    struct StepRun {
        std::optional<CStudentGrade::Status> failure;
        std::string detail;
        std::string log;
    };

    std::optional<std::vector<Student>> FindStudents();
    // Builds source into stepsHome and runs it into resultsFolder.
    StepRun BuildAndRun(const std::string& source, const std::string& stepsHome,
                        const std::string& resultsFolder) const;
    std::optional<std::string> PrepareReference();
    CStudentGrade Grade(const Student& student, const CResultComparison& comparison) const;
    void GradeAll(const std::vector<Student>& students, const CResultComparison& comparison);
    void WriteCsv(const std::vector<CStudentGrade>& grades);

    CGradingRequest m_request;
    std::string m_referenceResults;
    std::string m_stepProgram;
    std::string m_batchProgram;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_allEqual = true;
};

// "alice：已编译，相同（10 个图像）"
std::string StudentGradeLine(const CStudentGrade& grade);
