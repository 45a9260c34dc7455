#include "csvtext.h"

#include "rawresultfile.h"

#include <string_view>

namespace {

// A leading apostrophe is how spreadsheets mark a cell typed as text; it is not shown.
std::string Inert(const std::string& text) {
    constexpr char kFormulaStarts[] = "=+-@\t\r";
    if (!text.empty() && std::string_view(kFormulaStarts).find(text.front()) != std::string::npos)
        return "'" + text;
    return text;
}

std::string CsvField(const std::string& field) {
    const std::string text = Inert(field);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    return line + "\r\n";
}

bool WriteCsvFile(const std::string& hostPath, const std::string& table, std::string& problem) {
    const std::string bytes = "\xEF\xBB\xBF" + table;
    std::string reason;
    if (WriteFileReplacing(hostPath, {reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()},
                           reason))
        return true;
    problem = "无法写出表格 " + hostPath + "：" + reason + "。";
    return false;
}
