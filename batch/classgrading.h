// A whole class graded in one run: every student's step source is built and run over the
// exercise's images in a folder of the student's own (RUN_DIR/students/NAME), and every image's
// result compared with the reference's. A step that does not compile, crashes on an image or
// loops never stops the others: each build and each run is a program of its own, sealed off
// from everything but what it needs, and a run goes on with the next image. A regrade takes again
// what an earlier one built and ran when nothing it depends on has changed.
#pragma once

#include "sealpolicy.h"
#include "studentgrade.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct CGradingRequest {
    // A folder of results, or the step source of the teacher's solution, built and run like a
    // student's.
    std::string reference;
    // NAME.cpp (or .c, .cc, .cxx) per student, or a folder NAME holding one such source.
    std::string studentsFolder;
    std::vector<std::string> files; // the exercise's images and lists, as vexlan-batch takes them
    std::string runFolder;          // reference/ and students/ go below it
    double timeoutSeconds = 0;      // for one image
    int tolerance = 0;
    std::optional<std::string> csvPath;          // a row per student and image
    std::optional<std::string> scoresPath;       // a row per student
    std::optional<std::string> differenceFolder; // a folder per student below it
    std::optional<std::string> reportPath;       // an HTML page
    std::optional<double> points;                // for all images equal
    std::vector<std::string> only; // when given, only these students are built and run again
    // --set NAME=VALUE for the reference's and every student's run alike.
    std::vector<std::string> settings;
    // Each build and run is sealed off (studentcommand.h) within these.
    CSealLimits limits;
    // Where the system cannot seal, grade unsealed all the same, and say so first.
    bool allowUnsealed = false;
};

class CClassGrading {
public:
    // Lines for each student, in name order, go to out; problems of the run itself to err.
    CClassGrading(CGradingRequest request, std::ostream& out, std::ostream& err);

    // The exit status: 0 when every entry of the class folder was graded and every image of
    // every student equals the reference's, 1 when not, 2 when the command cannot be carried
    // out (the reference, the students' folder or a file cannot be used), 128 + the signal when
    // SIGINT, SIGTERM or SIGHUP stopped it: the students graded by then are reported all the
    // same, the others as not graded.
    int Run();

private:
    struct Setup; // what the workers share

    // What goes wrong, as a sentence for the user.
    std::optional<std::string> CheckSeal();
    std::optional<std::string> ReadClassAndExercise(Setup& setup) const;
    std::optional<std::string> PrepareReference(Setup& setup, int stopFd);
    CStudentGrade GradeStudent(const Setup& setup, std::size_t index, int stopFd) const;
    std::vector<CStudentGrade> GradeAll(const Setup& setup, class CStopSignals& stopSignals);
    // "参数：…", the values every run was given.
    std::string SettingsLine() const;
    // What the output and the report say before the students: that they were not sealed off,
    // the values every run was given; each line ended.
    std::string Preamble() const;
    // The summary, the tables and the report; false when one of those cannot be written.
    bool Report(const Setup& setup, const std::vector<CStudentGrade>& grades);

    CGradingRequest m_request;
    std::ostream& m_out;
    std::ostream& m_err;
    int m_stopSignal = 0;
    // Why the students were graded unsealed (--allow-unsealed); empty when they were sealed.
    std::string m_unsealedNote;
};
