#include "resourcefile.h"

#include <algorithm>
#include <memory>

namespace {

class ByteReader {
public:
    ByteReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    bool CanRead(std::size_t count) const { return count <= m_size - m_pos; }
    std::size_t Position() const { return m_pos; }
    bool Seek(std::size_t pos) {
        if (pos > m_size)
            return false;
        m_pos = pos;
        return true;
    }
    WORD Word() {
        const WORD v = static_cast<WORD>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    DWORD Dword() {
        const DWORD lo = Word();
        return lo | (static_cast<DWORD>(Word()) << 16);
    }

    // An ordinal (0xFFFF then the number) or a zero-terminated UTF-16 name.
    bool NameOrOrdinal(WORD& ordinal, std::u16string& name) {
        if (!CanRead(2))
            return false;
        WORD first = Word();
        if (first == 0xFFFF) {
            if (!CanRead(2))
                return false;
            ordinal = Word();
            return true;
        }
        while (first != 0) {
            name.push_back(static_cast<char16_t>(first));
            if (!CanRead(2))
                return false;
            first = Word();
        }
        return true;
    }

private:
    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

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
    ByteReader reader(image, size);
    while (reader.Position() < size) {
        const std::size_t start = reader.Position();
        if (!reader.CanRead(8))
            return false;
        const DWORD dataSize = reader.Dword();
        const DWORD headerSize = reader.Dword();
        CResourceEntry entry;
        if (!reader.NameOrOrdinal(entry.typeOrdinal, entry.typeName) ||
            !reader.NameOrOrdinal(entry.nameOrdinal, entry.name))
            return false;
        if (!reader.Seek(AlignToDword(reader.Position())) || !reader.CanRead(16))
            return false;
        reader.Dword(); // data version
        entry.memoryFlags = reader.Word();
        entry.language = reader.Word();
        if (headerSize < reader.Position() - start + 8 || headerSize > size - start ||
            dataSize > size - start - headerSize)
            return false;
        entry.data = image + start + headerSize;
        entry.size = dataSize;
        // The leading empty entry only marks the format.
        if (dataSize != 0 || entry.typeOrdinal != 0)
            m_entries.push_back(std::move(entry));
        // The last entry's padding may be missing.
        const std::size_t end = start + headerSize + dataSize;
        reader.Seek(std::min(AlignToDword(end), size));
        if (reader.Position() <= start)
            return false;
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
    ByteReader reader(block->data, block->size);
    for (UINT index = 0; index < 16; ++index) {
        if (!reader.CanRead(2))
            return std::nullopt;
        const WORD length = reader.Word();
        if (!reader.CanRead(std::size_t{length} * 2))
            return std::nullopt;
        std::u16string text;
        for (WORD i = 0; i < length; ++i)
            text.push_back(static_cast<char16_t>(reader.Word()));
        if (index == id % 16)
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
