// The plain dialog template of a DIALOG resource, read as stored; private to the class layer.
#pragma once

#include "afxtypes.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

// A stored name or text: an ordinal, or a text (empty when none is stored).
struct CTemplateName {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text; // UTF-8
};

// What a dialog and each of its controls store alike: styles and a rectangle in dialog units.
struct CTemplateBox {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
};

struct CDialogItemTemplate : CTemplateBox {
    WORD id = 0;
    CTemplateName windowClass;
    CTemplateName text;
};

struct CDialogTemplate : CTemplateBox {
    CTemplateName menu;
    CTemplateName windowClass;
    std::string title;
    // Present only with DS_SETFONT.
    WORD pointSize = 0;
    std::string typeface;
    std::vector<CDialogItemTemplate> items;
};

// The template, or nothing when the bytes are not a whole plain template (the extended
// form included).
std::optional<CDialogTemplate> AfxParseDialogTemplate(std::span<const BYTE> data);
