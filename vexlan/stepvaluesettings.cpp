#include "stepvaluesettings.h"

#include "afxwin.h"

namespace {

std::string SectionOf(const std::string& stepName) {
    return "StepParameters/" + stepName;
}

} // namespace

std::vector<double> LoadStepValues(const std::string& stepName,
                                   std::span<const CStepParameter> parameters) {
    std::vector<double> values = DefaultValues(parameters);
    const CWinApp* app = AfxGetApp();
    if (!app)
        return values;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string kept =
            app->GetProfileString(SectionOf(stepName).c_str(), parameters[i].name.c_str(), "");
        if (const std::optional<double> value = ParseValue(kept))
            values[i] = NearestValue(parameters[i], *value);
    }
    return values;
}

void SaveStepValues(const std::string& stepName, std::span<const CStepParameter> parameters,
                    std::span<const double> values) {
    CWinApp* app = AfxGetApp();
    for (std::size_t i = 0; app && i < parameters.size() && i < values.size(); ++i)
        app->WriteProfileString(SectionOf(stepName).c_str(), parameters[i].name.c_str(),
                                ValueText(values[i]).c_str());
}
