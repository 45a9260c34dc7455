// The two tables of a grade, for a spreadsheet: one row per student and image (its outcome, the
// distances, the tolerance and the time), and one row per student (the status, how many images
// equal the reference, the worst difference, the lowest PSNR, the time and the points).
#pragma once

#include "studentgrade.h"

#include <optional>
#include <string>
#include <vector>

std::string GradeImagesCsv(const std::vector<CStudentGrade>& grades, int tolerance);
std::string GradeScoresCsv(const std::vector<CStudentGrade>& grades, std::optional<double> points);
