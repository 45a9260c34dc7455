#include "parameterpanel.h"

#include "resource.h"
#include "stepchain.h"
#include "vexlanview.h"

#include <algorithm>
#include <cmath>

namespace {

// The power of ten of a parameter's range: 2 for 0 to 255.
int RangeMagnitude(const CStepParameter& parameter) {
    return static_cast<int>(std::floor(std::log10(parameter.maximum - parameter.minimum)));
}

// Places after the point, and the arrow keys' step: about a thousand positions over the range
// of a real parameter, and a hundred steps.
int DecimalsOf(const CStepParameter& parameter) {
    return parameter.wholeNumbers ? 0 : std::clamp(3 - RangeMagnitude(parameter), 1, 6);
}

double StepOf(const CStepParameter& parameter) {
    return parameter.wholeNumbers ? 1
                                  : std::max(std::pow(10.0, RangeMagnitude(parameter) - 2),
                                             std::pow(10.0, -DecimalsOf(parameter)));
}

} // namespace

CParameterPanel::CParameterPanel(CVexlanView& view, Changed changed)
    : m_view(view), m_changed(std::move(changed)) {}

CParameterPanel::~CParameterPanel() = default;

bool CParameterPanel::MakePane() {
    return m_pPane ||
           (m_pPane = CDockPane::Make(m_view.GetParentFrame(), "参数", IDW_PARAMETER_PANE));
}

void CParameterPanel::Update() {
    const CResultOrigin& shown = m_view.Chain().Shown();
    const bool showsParameters = m_view.m_bShowResult == 1 && m_view.m_pResultImage &&
                                 shown.installed && !shown.installed->parameters.empty() &&
                                 shown.values.size() == shown.installed->parameters.size();
    if (!showsParameters) {
        if (m_pPane)
            m_pPane->Show(false);
        return;
    }
    if (!MakePane())
        return;
    if (shown.installed->name != m_stepName || shown.installed->parameters != m_parameters)
        MakeFields(shown.installed->name, shown.installed->parameters);
    m_values = shown.values;
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->GetValue() != m_values[i])
            m_fields[i]->SetValue(m_values[i]);
    m_pPane->Show(true);
}

void CParameterPanel::MakeFields(const std::string& stepName,
                                 const std::vector<CStepParameter>& parameters) {
    m_fields.clear();
    m_stepName = stepName;
    m_parameters = parameters;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const CStepParameter& parameter = parameters[i];
        auto field = std::make_unique<CSliderField>();
        field->Create(m_pPane.get(), parameter.label + "（" + parameter.name + "）",
                      parameter.minimum, parameter.maximum, DecimalsOf(parameter),
                      StepOf(parameter), parameter.defaultValue,
                      [this, i](double value) { OnChanged(i, value); });
        m_fields.push_back(std::move(field));
    }
}

void CParameterPanel::OnChanged(std::size_t index, double value) {
    if (index >= m_values.size() || m_values[index] == value)
        return;
    m_values[index] = NearestValue(m_parameters[index], value);
    m_changed(m_values);
}
