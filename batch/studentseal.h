// What a student's build and run may reach (sealpolicy.h): the system's compiler and
// libraries, Vexlan's programs and step header, the student's own source, the exercise's
// images read-only, and the student's own step folder and results. Not the reference, not
// the other students, not the teacher's home; and within limits, so that no student can hold
// up or starve the class.
#pragma once

#include "sealpolicy.h"

#include <string>
#include <vector>

class CStudentSeal {
public:
    // files: the exercise's images and lists, as the runner takes them. limits: the steps'
    // (a process, its memory, files and output per image), and for the build its processor
    // time.
    CStudentSeal(const std::vector<std::string>& files, const CSealLimits& limits);

    // vexlan-step build of source into stepsHome (XDG_DATA_HOME).
    CSealPolicy Build(const std::string& source, const std::string& stepsHome) const;
    // vexlan-batch on the step of stepsHome, writing into results (none for --list).
    CSealPolicy Run(const std::string& stepsHome, const std::string& results = {}) const;

private:
    CSealPolicy Listed(std::vector<std::string> readable, std::vector<std::string> writable,
                       const CSealLimits& limits) const;

    std::vector<std::string> m_images; // host paths: the chosen files and what lists name
    CSealLimits m_limits;
};
