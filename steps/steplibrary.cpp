#include "steplibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>
#include <set>

namespace {

// Past these a slider's positions no longer fit, nor does a run's message.
constexpr double kLargestMagnitude = 1e6;
constexpr std::size_t kMostParameters = 32;

bool IsIdentifier(const char* name) {
    const std::string_view text = name;
    return !text.empty() && !std::isdigit(static_cast<unsigned char>(text[0])) &&
           std::ranges::all_of(text, [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}

// The label travels in a line of text between processes.
bool IsOneLine(const char* text) {
    return std::string_view(text).find_first_of("\t\r\n") == std::string_view::npos;
}

// Why a declaration cannot be used, or nothing.
std::optional<std::string> DeclarationProblem(const vexlan_param_info& info) {
    if (!info.name || !IsIdentifier(info.name))
        return "参数名应是标识符";
    const std::string named = std::string("参数 ") + info.name;
    if (!info.label || !IsOneLine(info.label))
        return named + " 的标签应是一行文字";
    const double values[] = {info.minimum, info.maximum, info.default_value};
    if (!std::ranges::all_of(
            values, [](double v) { return std::isfinite(v) && std::fabs(v) <= kLargestMagnitude; }))
        return named + " 的范围应在 -1000000 到 1000000 之间";
    if (!(info.minimum < info.maximum))
        return named + " 的最小值应小于最大值";
    if (info.whole_numbers &&
        std::ranges::any_of(values, [](double v) { return v != std::floor(v); }))
        return named + " 只取整数，它的范围和默认值也应是整数";
    if (!(info.default_value >= info.minimum && info.default_value <= info.maximum))
        return named + " 的默认值不在它的范围之内";
    return std::nullopt;
}

} // namespace

CStepLibrary::CStepLibrary(const std::string& path) {
    // Local binding: two step files may both define the same helper names.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* error = dlerror();
        m_problem = "无法载入步骤文件 " + path + "：" + (error ? error : "未知原因");
        return;
    }
    const auto* entry = static_cast<const vexlan_step_info*>(dlsym(m_handle, VEXLAN_STEP_SYMBOL));
    if (!entry) {
        m_problem = path + " 不是 Vexlan 的处理步骤：其中没有 VEXLAN_STEP 声明的步骤";
        return;
    }
    // The version comes first in every version of the entry, so it can always be read; the
    // fields after a version-1 entry's must not be.
    if (entry->api_version < VEXLAN_STEP_OLDEST_API_VERSION ||
        entry->api_version > VEXLAN_STEP_API_VERSION) {
        m_problem = WrongVersionMessage(path, entry->api_version);
        return;
    }
    if (!entry->name || !entry->menu_text || !entry->prompt || !entry->run) {
        m_problem = path + " 的步骤声明不完整";
        return;
    }
    m_entry = entry;
    if (!TakeParameters(path))
        m_entry = nullptr;
}

CStepLibrary::~CStepLibrary() {
    if (m_handle)
        dlclose(m_handle);
}

bool CStepLibrary::TakeParameters(const std::string& path) {
    if (m_entry->api_version < 2 || !m_entry->parameters || !m_entry->parameters_end)
        return true;
    const std::span<const vexlan_param_info* const> declared(m_entry->parameters,
                                                             m_entry->parameters_end);
    if (declared.size() > kMostParameters) {
        m_problem = path + " 声明的参数太多：最多 32 个";
        return false;
    }
    m_entryPlaces.resize(declared.size());
    std::iota(m_entryPlaces.begin(), m_entryPlaces.end(), std::size_t{0});
    std::ranges::stable_sort(m_entryPlaces, {},
                             [&](std::size_t place) { return declared[place]->line; });
    std::set<std::string> names;
    for (const std::size_t place : m_entryPlaces) {
        const vexlan_param_info& info = *declared[place];
        std::optional<std::string> problem = DeclarationProblem(info);
        if (!problem && !names.insert(info.name).second)
            problem = std::string("参数名 ") + info.name + " 出现了两次";
        if (problem) {
            m_problem = path + " 的参数声明有误：" + *problem;
            return false;
        }
        m_parameters.push_back({info.name, info.label, info.whole_numbers != 0, info.minimum,
                                info.maximum, info.default_value});
    }
    return true;
}

std::optional<std::string> CStepLibrary::Run(vexlan_image image,
                                             std::span<const double> values) const {
    if (values.size() != m_parameters.size())
        return "步骤 " + std::string(m_entry->name) + " 有 " + std::to_string(m_parameters.size()) +
               " 个参数，却给了 " + std::to_string(values.size()) + " 个值";
    std::vector<double> inEntryOrder(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::optional<std::string> problem = ValueProblem(m_parameters[i], values[i]))
            return problem;
        inEntryOrder[m_entryPlaces[i]] = values[i];
    }
    image.values = inEntryOrder.empty() ? nullptr : inEntryOrder.data();
    image.value_count = static_cast<int>(inEntryOrder.size());
    m_entry->run(&image);
    return std::nullopt;
}

std::string WrongVersionMessage(const std::string& path, int version) {
    return "步骤文件 " + path + " 是按 vexlan/step.h 第 " + std::to_string(version) +
           " 版编译的，本程序认识第 " + std::to_string(VEXLAN_STEP_OLDEST_API_VERSION) + " 到 " +
           std::to_string(VEXLAN_STEP_API_VERSION) + " 版：请用 vexlan-step build 重新编译它";
}
