// Where the shown result came from: the steps of its chain in order, what the last of them got
// as its input, and, for an installed step, the step and the values it ran with, so that it
// can run again on the same input with other values or once its file is rebuilt.
#pragma once

#include "installedsteps.h"
#include "resultinput.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A result as the input of the steps that continue on it, shared by every run that takes it.
using CSharedResultInput = std::shared_ptr<const CResultInput>;

struct CChainLink {
    std::string step;   // the batch name
    std::string values; // as ShownValues gives them; empty for a step without parameters
};

struct CResultOrigin {
    std::vector<CChainLink> links;           // empty: no step's result (a result file)
    CSharedResultInput input;                // what the last step got; null: the image
    std::optional<CInstalledStep> installed; // the last step, as its file was when it ran
    std::vector<double> values;              // the last step's, one per parameter
};
