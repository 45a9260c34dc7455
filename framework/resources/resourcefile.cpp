#include "resourcefile.h"

#include "resourcereader.h"

#include <algorithm>
#include <memory>

namespace {

// An ordinal (0xFFFF then the number) or a zero-terminated UTF-16 name.
void ReadNameOrOrdinal(CResourceReader& reader, WORD& ordinal, std::u16string& name) {
    const WORD first = reader.Word();
    if (first == 0xFFFF)
        ordinal = reader.Word();
    else if (first != 0)
        name = static_cast<char16_t>(first) + reader.Text();
}

std::size_t AlignToDword(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

} // namespace

CResourceFile::CResourceFile(const BYTE* image, std::size_t size) {
    m_bValid = Parse(image, size);
    if (!m_bValid)
        m_entries.clear();
}

bool CResourceFile::Parse(const BYTE* image, std::size_t size) {
    // Every entry starts on a 4-byte boundary, so alignment within an entry's own reader is
    // alignment in the image.
    for (std::size_t start = 0; start < size;) {
        CResourceReader reader({image + start, size - start});
        const DWORD dataSize = reader.Dword();
        const DWORD headerSize = reader.Dword();
        CResourceEntry entry;
        ReadNameOrOrdinal(reader, entry.typeOrdinal, entry.typeName);
        ReadNameOrOrdinal(reader, entry.nameOrdinal, entry.name);
        reader.AlignToDword();
        reader.Dword(); // data version
        entry.memoryFlags = reader.Word();
        entry.language = reader.Word();
        reader.Dword(); // version
        reader.Dword(); // characteristics
        if (!reader.Ok() || headerSize < reader.Position() || headerSize > size - start ||
            dataSize > size - start - headerSize)
            return false;
        entry.data = image + start + headerSize;
        entry.size = dataSize;
        // The leading empty entry only marks the format.
        if (dataSize != 0 || entry.typeOrdinal != 0)
            m_entries.push_back(std::move(entry));
        // The last entry's padding may be missing.
        start = std::min(AlignToDword(start + headerSize + dataSize), size);
    }
    return true;
}

const CResourceEntry* CResourceFile::Find(WORD type, WORD id) const {
    for (const auto& entry : m_entries)
        if (entry.typeName.empty() && entry.typeOrdinal == type && entry.name.empty() &&
            entry.nameOrdinal == id)
            return &entry;
    return nullptr;
}

std::optional<std::string> CResourceFile::LoadString(UINT id) const {
    const CResourceEntry* block = Find(RT_STRING, static_cast<WORD>(id / 16 + 1));
    if (block == nullptr)
        return std::nullopt;
    CResourceReader reader({block->data, block->size});
    for (UINT index = 0; index < 16; ++index) {
        const WORD length = reader.Word();
        const auto stored = reader.Bytes(std::size_t{length} * 2);
        if (!reader.Ok())
            return std::nullopt;
        if (index != id % 16)
            continue;
        std::u16string text;
        for (std::size_t i = 0; i < stored.size(); i += 2)
            text.push_back(static_cast<char16_t>(stored[i] | stored[i + 1] << 8));
        return length == 0 ? std::nullopt : std::optional(AfxUtf16ToUtf8(text));
    }
    return std::nullopt;
}

std::string AfxUtf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {
std::unique_ptr<CResourceFile>& ResourceSlot() {
    static std::unique_ptr<CResourceFile> resources;
    return resources;
}
} // namespace

void AfxSetResourceImage(const BYTE* image, std::size_t size) {
    ResourceSlot() = std::make_unique<CResourceFile>(image, size);
}

const CResourceFile& AfxGetResources() {
    static const CResourceFile empty;
    return ResourceSlot() ? *ResourceSlot() : empty;
}

std::string AfxLoadString(UINT id) {
    return AfxGetResources().LoadString(id).value_or("");
}
