// The stored forms of menu, accelerator-table and tool-bar resources, read with bounded
// reads. Each reader returns nothing for a malformed resource.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

constexpr WORD MF_GRAYED = 0x0001;
constexpr WORD MF_CHECKED = 0x0008;
constexpr WORD MF_POPUP = 0x0010;
constexpr WORD MF_END = 0x0080;

struct CMenuItemTemplate {
    WORD flags = 0;
    WORD id = 0;      // 0 for popups and separators
    std::string text; // UTF-8; empty for a separator
    std::vector<CMenuItemTemplate> children;

    bool IsPopup() const { return (flags & MF_POPUP) != 0; }
    bool IsSeparator() const { return !IsPopup() && id == 0 && text.empty(); }
};

constexpr WORD FVIRTKEY = 0x01;
constexpr WORD FSHIFT = 0x04;
constexpr WORD FCONTROL = 0x08;
constexpr WORD FALT = 0x10;
constexpr WORD ACCEL_LAST = 0x80;

struct CAccelEntry {
    WORD flags = 0;
    WORD key = 0;
    WORD id = 0;
};

struct CToolBarTemplate {
    WORD width = 0;
    WORD height = 0;
    std::vector<WORD> ids; // 0 for a separator
};

std::optional<std::vector<CMenuItemTemplate>> AfxParseMenu(const BYTE* data, std::size_t size);
std::optional<std::vector<CAccelEntry>> AfxParseAccelerators(const BYTE* data, std::size_t size);
std::optional<CToolBarTemplate> AfxParseToolBar(const BYTE* data, std::size_t size);
