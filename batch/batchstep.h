// The steps of a runner's command line: one name, or a chain of names separated by commas
// ("blur,sobel,threshold"), each a built-in or an installed step, with the values its
// parameters get from --set NAME=VALUE (in a chain also STEP.NAME=VALUE).
#pragma once

#include "installedsteps.h"
#include "processingstep.h"
#include "stepparameter.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CBatchStep {
    std::string name;
    const CProcessingStep* builtIn = nullptr; // or else installed
    std::optional<CInstalledStep> installed;
    std::vector<double> values; // one per parameter, the defaults until set

    std::span<const CStepParameter> Parameters() const;
};

// The names of a chain's steps, in order: "blur,sobel" gives blur and sobel.
std::vector<std::string> ChainNames(std::string_view operand);

// The steps that operand names, in order; nothing, with problem set, when a name is empty or
// no step has it. Installed steps are looked up in installed; a name with a slash is the path
// of a step file, whose step runs even when another has its name.
std::optional<std::vector<CBatchStep>>
FindBatchSteps(std::string_view operand, const CInstalledSteps& installed, std::string& problem);

// Gives each setting's value ("threshold=64", "sobel.scale=2") to its parameter. A plain name
// stands for the parameter of every step of that name, and must belong to one step name only;
// a name that no step has, a value that is not a number or lies outside its range are refused.
std::optional<std::string> ApplySettings(std::vector<CBatchStep>& steps,
                                         std::span<const std::string> settings);

// "blur-sobel-threshold": the steps' names as one word, for results' names.
std::string ChainWord(std::span<const CBatchStep> steps);
