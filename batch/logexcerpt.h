// The lines of a student's log that show a failure in the grading report: the compiler's first
// lines for a build that failed; for an image that crashed or ran out of time, what the step
// printed last on it and the runner's lines about it.
#pragma once

#include <string>

std::string BuildLogExcerpt(const std::string& log);
// runIndex and runCount are the i and N of the runner's "[i/N]".
std::string ImageLogExcerpt(const std::string& log, int runIndex, int runCount);
