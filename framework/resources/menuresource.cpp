#include "menuresource.h"

#include "resourcefile.h"
#include "resourcereader.h"

namespace {

// Popups nest no deeper than this; a deeper template is malformed.
constexpr int maxMenuDepth = 8;

bool ParseItems(CResourceReader& reader, std::vector<CMenuItemTemplate>& items, int depth) {
    if (depth > maxMenuDepth)
        return false;
    for (;;) {
        CMenuItemTemplate item;
        item.flags = reader.Word();
        if (!item.IsPopup())
            item.id = reader.Word();
        item.text = AfxUtf16ToUtf8(reader.Text());
        if (!reader.Ok() || (item.IsPopup() && !ParseItems(reader, item.children, depth + 1)))
            return false;
        const bool last = (item.flags & MF_END) != 0;
        items.push_back(std::move(item));
        if (last)
            return true;
    }
}

} // namespace

std::optional<std::vector<CMenuItemTemplate>> AfxParseMenu(const BYTE* data, std::size_t size) {
    CResourceReader reader({data, size});
    const WORD version = reader.Word();
    const WORD headerSize = reader.Word();
    std::vector<CMenuItemTemplate> items;
    if (!reader.Ok() || version != 0 || headerSize != 0 || !ParseItems(reader, items, 0))
        return std::nullopt;
    return items;
}

std::optional<std::vector<CAccelEntry>> AfxParseAccelerators(const BYTE* data, std::size_t size) {
    CResourceReader reader({data, size});
    std::vector<CAccelEntry> entries;
    for (;;) {
        CAccelEntry entry;
        entry.flags = reader.Word();
        entry.key = reader.Word();
        entry.id = reader.Word();
        reader.Word(); // padding
        if (!reader.Ok())
            return std::nullopt;
        entries.push_back(entry);
        if (entry.flags & ACCEL_LAST)
            return entries;
    }
}

std::optional<CToolBarTemplate> AfxParseToolBar(const BYTE* data, std::size_t size) {
    CResourceReader reader({data, size});
    const WORD version = reader.Word();
    CToolBarTemplate toolBar;
    toolBar.width = reader.Word();
    toolBar.height = reader.Word();
    const WORD count = reader.Word();
    for (WORD i = 0; i < count && reader.Ok(); ++i)
        toolBar.ids.push_back(reader.Word());
    if (!reader.Ok() || version != 1)
        return std::nullopt;
    return toolBar;
}
