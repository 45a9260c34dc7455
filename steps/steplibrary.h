// A step file opened in this process, its entry checked against the header's version. Only
// the step's own process (and vexlan-batch --in-process, for a debugger) opens one: a step's
// code never runs inside the program.
#pragma once

#include <vexlan/step.h>

#include <string>

class CStepLibrary {
public:
    // Opens the step file at path; when that fails, Entry() is null and Problem() says why.
    explicit CStepLibrary(const std::string& path);
    ~CStepLibrary();
    CStepLibrary(const CStepLibrary&) = delete;
    CStepLibrary& operator=(const CStepLibrary&) = delete;

    const vexlan_step_info* Entry() const { return m_entry; }
    const std::string& Problem() const { return m_problem; }

private:
    void* m_handle = nullptr;
    const vexlan_step_info* m_entry = nullptr;
    std::string m_problem;
};

// The message for a step built against another version of vexlan/step.h.
std::string WrongVersionMessage(const std::string& path, int version);
