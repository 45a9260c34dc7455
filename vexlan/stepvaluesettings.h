// The values of each installed step's parameters, kept in the program's settings under the
// step's name, so that they last between runs of the program and across rebuilds of the step.
#pragma once

#include "stepparameter.h"

#include <span>
#include <string>
#include <vector>

// As last kept, one per parameter: the default for a parameter never set, and a value kept
// before a rebuild changed the parameter's range brought into the new one.
std::vector<double> LoadStepValues(const std::string& stepName,
                                   std::span<const CStepParameter> parameters);
void SaveStepValues(const std::string& stepName, std::span<const CStepParameter> parameters,
                    std::span<const double> values);
