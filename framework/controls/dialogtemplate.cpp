#include "dialogtemplate.h"

#include "resourcefile.h"
#include "resourcereader.h"

#include <algorithm>

namespace {

constexpr DWORD dialogSetFont = 0x40; // DS_SETFONT
constexpr WORD ordinalMarker = 0xFFFF;
constexpr WORD extendedVersion = 1;
constexpr std::size_t itemHeaderSize = 18;

CTemplateName ReadName(CResourceReader& reader) {
    CTemplateName name;
    const WORD first = reader.Word();
    if (first == ordinalMarker) {
        name.isOrdinal = true;
        name.ordinal = reader.Word();
    } else if (first != 0) {
        name.text = AfxUtf16ToUtf8(static_cast<char16_t>(first) + reader.Text());
    }
    return name;
}

void ReadRect(CResourceReader& reader, CTemplateBox& box) {
    box.x = reader.Short();
    box.y = reader.Short();
    box.cx = reader.Short();
    box.cy = reader.Short();
}

CDialogItemTemplate ReadItem(CResourceReader& reader) {
    CDialogItemTemplate item;
    reader.AlignToDword();
    item.style = reader.Dword();
    item.exStyle = reader.Dword();
    ReadRect(reader, item);
    item.id = reader.Word();
    item.windowClass = ReadName(reader);
    item.text = ReadName(reader);
    // Creation data is for custom controls; none of ours takes any, so it is skipped.
    reader.Bytes(reader.Word());
    return item;
}

bool IsExtendedTemplate(std::span<const BYTE> data) {
    CResourceReader reader(data);
    return reader.Word() == extendedVersion && reader.Word() == ordinalMarker && reader.Ok();
}

} // namespace

std::optional<CDialogTemplate> AfxParseDialogTemplate(std::span<const BYTE> data) {
    if (IsExtendedTemplate(data))
        return std::nullopt;
    CResourceReader reader(data);
    CDialogTemplate dialog;
    dialog.style = reader.Dword();
    dialog.exStyle = reader.Dword();
    const WORD itemCount = reader.Word();
    ReadRect(reader, dialog);
    dialog.menu = ReadName(reader);
    dialog.windowClass = ReadName(reader);
    dialog.title = AfxUtf16ToUtf8(reader.Text());
    if (dialog.style & dialogSetFont) {
        dialog.pointSize = reader.Word();
        dialog.typeface = AfxUtf16ToUtf8(reader.Text());
    }
    // The count comes from the file: reserve no more than the bytes can hold.
    dialog.items.reserve(std::min<std::size_t>(itemCount, data.size() / itemHeaderSize));
    for (WORD i = 0; i < itemCount && reader.Ok(); ++i)
        dialog.items.push_back(ReadItem(reader));
    if (!reader.Ok())
        return std::nullopt;
    return dialog;
}
