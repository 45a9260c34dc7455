// The table of processing steps: the one place where the view finds the step of a menu
// command and vexlan-batch the step of a name.
#pragma once

#include "processingstep.h"

#include <span>
#include <string_view>

std::span<const CProcessingStep> ProcessingSteps();

// Null when no step has this command id or name.
const CProcessingStep* FindStepByCommand(UINT commandId);
const CProcessingStep* FindStepByName(std::string_view name);
