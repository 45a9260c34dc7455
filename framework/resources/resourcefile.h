// Reads the 32-bit binary resource format (.res) that the resource compiler writes.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

constexpr WORD RT_BITMAP = 2;
constexpr WORD RT_MENU = 4;
constexpr WORD RT_DIALOG = 5;
constexpr WORD RT_STRING = 6;
constexpr WORD RT_ACCELERATOR = 9;
constexpr WORD RT_GROUP_ICON = 14;
constexpr WORD RT_ICON = 3;
constexpr WORD RT_VERSION = 16;
constexpr WORD RT_MANIFEST = 24;
constexpr WORD RT_TOOLBAR = 241;

struct CResourceEntry {
    // An ordinal type or name has the string empty; a named one has ordinal 0.
    WORD typeOrdinal = 0;
    std::u16string typeName;
    WORD nameOrdinal = 0;
    std::u16string name;
    WORD language = 0;
    WORD memoryFlags = 0;
    const BYTE* data = nullptr;
    std::size_t size = 0;
};

class CResourceFile {
public:
    CResourceFile() = default;
    // Parses the image; a malformed image leaves IsValid false and no entries.
    CResourceFile(const BYTE* image, std::size_t size);

    bool IsValid() const { return m_bValid; }
    const std::vector<CResourceEntry>& Entries() const { return m_entries; }
    const CResourceEntry* Find(WORD type, WORD id) const;

    // The string table entry id as UTF-8; nothing when there is no such string.
    std::optional<std::string> LoadString(UINT id) const;

private:
    bool Parse(const BYTE* image, std::size_t size);

    std::vector<CResourceEntry> m_entries;
    bool m_bValid = false;
};

std::string AfxUtf16ToUtf8(const std::u16string& text);

// The program's embedded resources; the program registers them before start-up.
void AfxSetResourceImage(const BYTE* image, std::size_t size);
const CResourceFile& AfxGetResources();

// The string as UTF-8, or an empty string when there is none.
std::string AfxLoadString(UINT id);
