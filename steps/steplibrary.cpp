#include "steplibrary.h"

#include <dlfcn.h>

#include <cstring>

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
    // The version comes first in every version of the entry, so it can always be read.
    if (entry->api_version != VEXLAN_STEP_API_VERSION) {
        m_problem = WrongVersionMessage(path, entry->api_version);
        return;
    }
    if (!entry->name || !entry->menu_text || !entry->prompt || !entry->run) {
        m_problem = path + " 的步骤声明不完整";
        return;
    }
    m_entry = entry;
}

CStepLibrary::~CStepLibrary() {
    if (m_handle)
        dlclose(m_handle);
}

std::string WrongVersionMessage(const std::string& path, int version) {
    return "步骤文件 " + path + " 是按 vexlan/step.h 第 " + std::to_string(version) +
           " 版编译的，本程序需要第 " + std::to_string(VEXLAN_STEP_API_VERSION) +
           " 版：请用 vexlan-step build 重新编译它";
}
