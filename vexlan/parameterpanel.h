// The dockable 参数 panel: while the result of an installed step with parameters is shown, a
// slider and a number box per parameter, showing the values the result was made with. Each
// value the user sets is handed on at once, for the step to run again with it.
#pragma once

#include "afxwin.h"
#include "stepparameter.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CVexlanView;

class CParameterPanel {
public:
    using Changed = std::function<void(const std::vector<double>& values)>;

    CParameterPanel(CVexlanView& view, Changed changed);
    ~CParameterPanel();
    CParameterPanel(const CParameterPanel&) = delete;
    CParameterPanel& operator=(const CParameterPanel&) = delete;

    // Brings the panel in line with the result shown: its step's parameters and values, or
    // hidden.
    void Update();

private:
    bool MakePane();
    void MakeFields(const std::string& stepName, const std::vector<CStepParameter>& parameters);
    void OnChanged(std::size_t index, double value);

    CVexlanView& m_view;
    Changed m_changed;
    std::unique_ptr<CDockPane> m_pPane;
    std::vector<std::unique_ptr<CSliderField>> m_fields;
    std::string m_stepName;
    std::vector<CStepParameter> m_parameters;
    std::vector<double> m_values;
};
