#include "menuresource.h"

#include "resourcefile.h"

namespace {

class WordReader {
public:
    WordReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Word(WORD& value) {
        if (m_size - m_pos < 2)
            return false;
        value = static_cast<WORD>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return true;
    }
    bool Text(std::string& text) {
        std::u16string wide;
        for (WORD c = 0;;) {
            if (!Word(c))
                return false;
            if (c == 0)
                break;
            wide.push_back(static_cast<char16_t>(c));
        }
        text = AfxUtf16ToUtf8(wide);
        return true;
    }
    bool AtEnd() const { return m_pos == m_size; }

private:
    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Popups nest no deeper than this; a deeper template is malformed.
constexpr int maxMenuDepth = 8;

bool ParseItems(WordReader& reader, std::vector<CMenuItemTemplate>& items, int depth) {
    if (depth > maxMenuDepth)
        return false;
    for (;;) {
        CMenuItemTemplate item;
        if (!reader.Word(item.flags))
            return false;
        if (!item.IsPopup() && !reader.Word(item.id))
            return false;
        if (!reader.Text(item.text))
            return false;
        if (item.IsPopup() && !ParseItems(reader, item.children, depth + 1))
            return false;
        const bool last = (item.flags & MF_END) != 0;
        items.push_back(std::move(item));
        if (last)
            return true;
    }
}

} // namespace

std::optional<std::vector<CMenuItemTemplate>> AfxParseMenu(const BYTE* data, std::size_t size) {
    WordReader reader(data, size);
    WORD version = 0, headerSize = 0;
    if (!reader.Word(version) || !reader.Word(headerSize) || version != 0 || headerSize != 0)
        return std::nullopt;
    std::vector<CMenuItemTemplate> items;
    if (!ParseItems(reader, items, 0))
        return std::nullopt;
    return items;
}

std::optional<std::vector<CAccelEntry>> AfxParseAccelerators(const BYTE* data, std::size_t size) {
    WordReader reader(data, size);
    std::vector<CAccelEntry> entries;
    for (;;) {
        CAccelEntry entry;
        WORD padding = 0;
        if (!reader.Word(entry.flags) || !reader.Word(entry.key) || !reader.Word(entry.id) ||
            !reader.Word(padding))
            return std::nullopt;
        entries.push_back(entry);
        if (entry.flags & ACCEL_LAST)
            return entries;
    }
}

std::optional<CToolBarTemplate> AfxParseToolBar(const BYTE* data, std::size_t size) {
    WordReader reader(data, size);
    WORD version = 0, count = 0;
    CToolBarTemplate toolBar;
    if (!reader.Word(version) || version != 1 || !reader.Word(toolBar.width) ||
        !reader.Word(toolBar.height) || !reader.Word(count))
        return std::nullopt;
    for (WORD i = 0; i < count; ++i) {
        WORD id = 0;
        if (!reader.Word(id))
            return std::nullopt;
        toolBar.ids.push_back(id);
    }
    return toolBar;
}
