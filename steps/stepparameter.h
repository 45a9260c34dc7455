// A parameter of an installed step as the program and the runner know it (VEXLAN_PARAM,
// VEXLAN_REAL_PARAM in vexlan/step.h), and the values given to it: how they travel between
// processes as text, and which are refused.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CStepParameter {
    std::string name;  // an identifier
    std::string label; // Chinese, beside its slider
    bool wholeNumbers = true;
    double minimum = 0;
    double maximum = 0;
    double defaultValue = 0;

    bool operator==(const CStepParameter&) const = default;
};

// The shortest text that reads back as the same value ("128", "0.25"), in every locale.
std::string ValueText(double value);
// A number as ValueText writes it, or as a user types one; nothing for anything else.
std::optional<double> ParseValue(std::string_view text);

// Why value is not one of parameter's (out of its range, not whole), or nothing.
std::optional<std::string> ValueProblem(const CStepParameter& parameter, double value);
// The nearest value of parameter's: into its range, and whole where it takes whole numbers.
double NearestValue(const CStepParameter& parameter, double value);
std::vector<double> DefaultValues(std::span<const CStepParameter> parameters);

// A parameter as one line of a step host's report: its fields separated by tabs.
std::string ParameterLine(const CStepParameter& parameter);
std::optional<CStepParameter> ParseParameterLine(std::string_view line);

// Values as one line, separated by spaces, and read back.
std::string ValuesLine(std::span<const double> values);
std::optional<std::vector<double>> ParseValuesLine(std::string_view line);

// "阈值 128, σ 1.5": the values as the status bar and a chain's name show them.
std::string ShownValues(std::span<const CStepParameter> parameters, std::span<const double> values);
// "整数 0 到 255，默认 128": what vexlan-batch --list says of a parameter.
std::string ParameterRange(const CStepParameter& parameter);
