// A step file opened in this process, its entry checked against the header's versions. Only
// the step's own process (and vexlan-batch --in-process, for a debugger) opens one: a step's
// code never runs inside the program.
#pragma once

#include "stepparameter.h"

#include <vexlan/step.h>

#include <span>
#include <string>
#include <vector>

class CStepLibrary {
public:
    // Opens the step file at path; when that fails, Entry() is null and Problem() says why.
    explicit CStepLibrary(const std::string& path);
    ~CStepLibrary();
    CStepLibrary(const CStepLibrary&) = delete;
    CStepLibrary& operator=(const CStepLibrary&) = delete;

    const vexlan_step_info* Entry() const { return m_entry; }
    const std::string& Problem() const { return m_problem; }
    // The declared parameters in the order of their declarations; none before version 2.
    const std::vector<CStepParameter>& Parameters() const { return m_parameters; }

    // Runs the step on the planes of image with values, one per parameter in the order of
    // Parameters(); the step finds them in the order of its entry. Why it did not run, if it
    // did not: values that are not the step's.
    std::optional<std::string> Run(vexlan_image image, std::span<const double> values) const;

private:
    // Checks the declarations and takes them in the order declared; false with Problem() set.
    bool TakeParameters(const std::string& path);

    void* m_handle = nullptr;
    const vexlan_step_info* m_entry = nullptr;
    std::string m_problem;
    std::vector<CStepParameter> m_parameters;
    // For each parameter of Parameters(), its place among the entry's.
    std::vector<std::size_t> m_entryPlaces;
};

// The message for a step built against a version of vexlan/step.h that this program does not
// know.
std::string WrongVersionMessage(const std::string& path, int version);
