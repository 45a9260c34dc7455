// Checks the compiled resource script byte by byte: the stored menu, accelerator, tool bar,
// bitmap, icon, dialog, string, version and manifest resources that the class layer reads.
#include "resource.h"
#include "resourcefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr WORD kChineseSimplified = 2052;
constexpr WORD kEnglishUs = 1033;

const CResourceFile& Resources() {
    static const std::vector<BYTE> image = [] {
        std::ifstream in(VEXLAN_RES_FILE, std::ios::binary);
        return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
    }();
    static const CResourceFile resources(image.data(), image.size());
    return resources;
}

// The stored bytes of one resource; an empty span (and a failure) when it is missing.
std::span<const BYTE> Stored(WORD type, WORD id) {
    const CResourceEntry* entry = Resources().Find(type, id);
    if (entry == nullptr) {
        ADD_FAILURE() << "no resource of type " << type << " with id " << id;
        return {};
    }
    return {entry->data, entry->size};
}

// Reads little-endian fields; reading past the end fails the test and yields zeros.
class StoredReader {
public:
    explicit StoredReader(std::span<const BYTE> data) : m_data(data) {}

    std::size_t Position() const { return m_pos; }
    bool AtEnd() const { return m_pos == m_data.size(); }
    bool Overran() const { return m_overran; }

    std::span<const BYTE> Bytes(std::size_t count) {
        if (count > m_data.size() - m_pos) {
            if (!m_overran)
                ADD_FAILURE() << "read past the end at offset " << m_pos;
            m_overran = true;
            m_pos = m_data.size();
            return {};
        }
        m_pos += count;
        return m_data.subspan(m_pos - count, count);
    }
    BYTE Byte() {
        const auto bytes = Bytes(1);
        return bytes.empty() ? 0 : bytes[0];
    }
    WORD Word() {
        const auto bytes = Bytes(2);
        return bytes.empty() ? 0 : static_cast<WORD>(bytes[0] | bytes[1] << 8);
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }

    // A zero-terminated UTF-16 text, as UTF-8.
    std::string Text() {
        std::u16string text;
        for (WORD c = Word(); c != 0 && !m_overran; c = Word())
            text.push_back(static_cast<char16_t>(c));
        return AfxUtf16ToUtf8(text);
    }
    // A name or an ordinal (0xFFFF, then the number), the ordinal written as "#number".
    std::string TextOrOrdinal() {
        const auto peek = m_pos;
        if (Word() == 0xFFFF)
            return "#" + std::to_string(Word());
        m_pos = peek;
        return Text();
    }
    void AlignToDword() { Bytes((4 - m_pos % 4) % 4); }

private:
    std::span<const BYTE> m_data;
    std::size_t m_pos = 0;
    bool m_overran = false;
};

// Table rows written as C++ initialisers, so that a failure shows which rows to paste where.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\t')
            quoted += "\\t";
        else if (c == '"' || c == '\\')
            quoted += std::string("\\") + c;
        else
            quoted += c;
    }
    return quoted + "\"";
}

// The rows of expected missing from stored ("-") and those only stored has ("+"), in order,
// along the longest run the two have in common.
std::string RowDifference(const std::vector<std::string>& expected,
                          const std::vector<std::string>& stored) {
    const std::size_t n = expected.size(), m = stored.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = expected[i] == stored[j] ? common[i + 1][j + 1] + 1
                                                    : std::max(common[i + 1][j], common[i][j + 1]);
    std::string difference;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == stored[j]) {
            ++i, ++j;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            difference += "  - " + expected[i++] + "\n";
        } else {
            difference += "  + " + stored[j++] + "\n";
        }
    }
    return difference;
}

// A deliberate change to vexlan.rc (a new step's menu item or prompt) fails here with the
// rows to copy into the named table of this file.
void ExpectSameRows(const std::vector<std::string>& expected,
                    const std::vector<std::string>& stored, const char* table) {
    if (expected == stored)
        return;
    ADD_FAILURE() << "vexlan/resources/vexlan.rc no longer matches " << table
                  << " in tests/resources_test.cpp.\n"
                  << "Rows only in vexlan.rc (+) and only in " << table << " (-):\n"
                  << RowDifference(expected, stored) << "If vexlan.rc is right, make " << table
                  << " match it: add the + rows, remove the - rows.";
}

TEST(Resources, EveryResourceIsPresentInItsLanguage) {
    ASSERT_TRUE(Resources().IsValid()) << VEXLAN_RES_FILE;
    ASSERT_FALSE(Resources().Entries().empty()) << VEXLAN_RES_FILE;
    const std::array<std::pair<WORD, WORD>, 9> inventory{{{RT_MENU, IDR_MAINFRAME},
                                                          {RT_ACCELERATOR, IDR_MAINFRAME},
                                                          {RT_TOOLBAR, IDR_MAINFRAME},
                                                          {RT_BITMAP, IDR_MAINFRAME},
                                                          {RT_GROUP_ICON, IDR_MAINFRAME},
                                                          {RT_GROUP_ICON, IDI_SECONDICON},
                                                          {RT_DIALOG, IDD_ABOUTBOX},
                                                          {RT_VERSION, 1},
                                                          {RT_MANIFEST, 1}}};
    for (const auto& [type, id] : inventory)
        EXPECT_NE(Resources().Find(type, id), nullptr) << type << " " << id;

    for (const CResourceEntry& entry : Resources().Entries()) {
        const bool manifest = entry.typeOrdinal == RT_MANIFEST;
        EXPECT_EQ(entry.language, manifest ? kEnglishUs : kChineseSimplified)
            << "type " << entry.typeOrdinal << " id " << entry.nameOrdinal;
        EXPECT_TRUE(entry.typeName.empty() && entry.name.empty());
    }
}

struct MenuRow {
    WORD flags;
    WORD id; // unused for a popup
    const char* text;
};

constexpr WORD kGrayed = 0x01;
constexpr WORD kPopup = 0x10;
constexpr WORD kEnd = 0x80;

// Popups and items in stored order; separators have id 0 and no text.
const MenuRow kMainMenu[] = {
    {kPopup, 0, "文件(&F)"},
    {0, ID_FILE_NEW, "新建(&N)\tCtrl+N"},
    {0, ID_FILE_OPEN, "打开(&O)...\tCtrl+O"},
    {0, ID_FILE_SAVE, "保存(&S)\tCtrl+S"},
    {0, ID_FILE_SAVE_AS, "另存为(&A)..."},
    {0, 0, ""},
    {0, ID_FILE_PRINT, "打印(&P)...\tCtrl+P"},
    {0, ID_FILE_PRINT_PREVIEW, "打印预览(&V)"},
    {0, ID_FILE_PRINT_SETUP, "打印设置(&R)..."},
    {0, 0, ""},
    {kGrayed, ID_FILE_MRU_FILE1, "最近文件"},
    {0, 0, ""},
    {kEnd, ID_APP_EXIT, "退出(&X)"},
    {kPopup, 0, "编辑(&E)"},
    {0, ID_EDIT_UNDO, "撤消(&U)\tCtrl+Z"},
    {0, 0, ""},
    {0, ID_EDIT_CUT, "剪切(&T)\tCtrl+X"},
    {0, ID_EDIT_COPY, "复制(&C)\tCtrl+C"},
    {kEnd, ID_EDIT_PASTE, "粘贴(&P)\tCtrl+V"},
    {kPopup, 0, "查看(&V)"},
    {0, ID_VIEW_TOOLBAR, "工具栏(&T)"},
    {kEnd, ID_VIEW_STATUS_BAR, "状态栏(&S)"},
    {kPopup, 0, "帮助(&H)"},
    {kEnd, ID_APP_ABOUT, "关于 Vexlan(&A)..."},
    {kPopup | kEnd, 0, "颜色"},
    {kEnd, ID_COLOR_SEGMENTATION, "颜色分割"},
};

std::string MenuRowText(WORD flags, WORD id, const std::string& text) {
    std::string flagNames;
    for (const auto& [flag, name] :
         {std::pair{kGrayed, "kGrayed"}, {kPopup, "kPopup"}, std::pair{kEnd, "kEnd"}})
        if ((flags & flag) != 0)
            flagNames += (flagNames.empty() ? "" : " | ") + std::string(name);
    const WORD known = kGrayed | kPopup | kEnd;
    if ((flags & ~known) != 0 || flagNames.empty())
        flagNames += (flagNames.empty() ? "" : " | ") + std::to_string(flags & ~known);
    return "{" + flagNames + ", " + std::to_string(id) + ", " + Quoted(text) + "},";
}

TEST(Resources, MenuTemplateHoldsEveryItemWithItsFlags) {
    StoredReader reader(Stored(RT_MENU, IDR_MAINFRAME));
    EXPECT_EQ(reader.Word(), 0) << "template version";
    EXPECT_EQ(reader.Word(), 0) << "header size";
    std::vector<std::string> stored;
    while (!reader.AtEnd() && !reader.Overran()) {
        const WORD flags = reader.Word();
        const WORD id = (flags & kPopup) == 0 ? reader.Word() : 0;
        stored.push_back(MenuRowText(flags, id, reader.Text()));
    }
    std::vector<std::string> expected;
    for (const MenuRow& row : kMainMenu)
        expected.push_back(MenuRowText(row.flags, row.id, row.text));
    ExpectSameRows(expected, stored, "kMainMenu");
}

struct AcceleratorRow {
    WORD flags;
    WORD key;
    WORD command;
};

TEST(Resources, AcceleratorTableInStoredOrder) {
    constexpr WORD kVirtCtrl = 0x09;
    constexpr WORD kVirtShift = 0x05;
    constexpr WORD kVirtAlt = 0x11;
    constexpr WORD kVirtKey = 0x01;
    constexpr WORD kLast = 0x80;
    const AcceleratorRow expected[] = {
        {kVirtCtrl, 'N', ID_FILE_NEW},        {kVirtCtrl, 'O', ID_FILE_OPEN},
        {kVirtCtrl, 'S', ID_FILE_SAVE},       {kVirtCtrl, 'P', ID_FILE_PRINT},
        {kVirtCtrl, 'Z', ID_EDIT_UNDO},       {kVirtCtrl, 'X', ID_EDIT_CUT},
        {kVirtCtrl, 'C', ID_EDIT_COPY},       {kVirtCtrl, 'V', ID_EDIT_PASTE},
        {kVirtAlt, VK_BACK, ID_EDIT_UNDO},    {kVirtShift, VK_DELETE, ID_EDIT_CUT},
        {kVirtCtrl, VK_INSERT, ID_EDIT_COPY}, {kVirtShift, VK_INSERT, ID_EDIT_PASTE},
        {kVirtKey, VK_F6, ID_NEXT_PANE},      {kVirtShift | kLast, VK_F6, ID_PREV_PANE},
    };
    const auto stored = Stored(RT_ACCELERATOR, IDR_MAINFRAME);
    ASSERT_EQ(stored.size(), std::size(expected) * 8);
    StoredReader reader(stored);
    for (const AcceleratorRow& row : expected) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(reader.Word(), row.flags);
        EXPECT_EQ(reader.Word(), row.key);
        EXPECT_EQ(reader.Word(), row.command);
        EXPECT_EQ(reader.Word(), 0) << "reserved";
    }
}

TEST(Resources, ToolBarDefinitionIsThirtyBytes) {
    const WORD commands[] = {ID_FILE_NEW,   ID_FILE_OPEN, ID_FILE_SAVE,  ID_SEPARATOR,
                             ID_EDIT_CUT,   ID_EDIT_COPY, ID_EDIT_PASTE, ID_SEPARATOR,
                             ID_FILE_PRINT, ID_SEPARATOR, ID_APP_ABOUT};
    const auto stored = Stored(RT_TOOLBAR, IDR_MAINFRAME);
    ASSERT_EQ(stored.size(), 30u);
    StoredReader reader(stored);
    EXPECT_EQ(reader.Word(), 1) << "version";
    EXPECT_EQ(reader.Word(), 16) << "button width";
    EXPECT_EQ(reader.Word(), 15) << "button height";
    EXPECT_EQ(reader.Word(), std::size(commands));
    for (const WORD command : commands)
        EXPECT_EQ(reader.Word(), command);
}

// The standard 16-colour table as stored: blue, green, red, 0.
void ExpectStandardColourTable(StoredReader& reader) {
    const BYTE rgb[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                             {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                             {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                             {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (int index = 0; index < 16; ++index) {
        const auto entry = reader.Bytes(4);
        ASSERT_EQ(entry.size(), 4u);
        EXPECT_EQ(entry[0], rgb[index][2]) << "blue of " << index;
        EXPECT_EQ(entry[1], rgb[index][1]) << "green of " << index;
        EXPECT_EQ(entry[2], rgb[index][0]) << "red of " << index;
        EXPECT_EQ(entry[3], 0) << index;
    }
}

// Checks a 40-byte 4-bit header of the given size and its colour table.
void ExpectFourBitHeader(StoredReader& reader, LONG width, LONG height) {
    EXPECT_EQ(reader.Dword(), 40u);
    EXPECT_EQ(static_cast<LONG>(reader.Dword()), width);
    EXPECT_EQ(static_cast<LONG>(reader.Dword()), height);
    EXPECT_EQ(reader.Word(), 1) << "planes";
    EXPECT_EQ(reader.Word(), 4) << "bits per pixel";
    EXPECT_EQ(reader.Dword(), 0u) << "compression";
    reader.Bytes(12); // image size and resolution
    EXPECT_EQ(reader.Dword(), 0u) << "colours used";
    reader.Dword(); // important colours
    ExpectStandardColourTable(reader);
}

TEST(Resources, ToolBarBitmapHoldsEightPicturesOverTheStandardColours) {
    const auto stored = Stored(RT_BITMAP, IDR_MAINFRAME);
    ASSERT_EQ(stored.size(), 1064u);
    StoredReader reader(stored);
    ExpectFourBitHeader(reader, 128, 15);
    const auto pixels = reader.Bytes(960);
    ASSERT_EQ(pixels.size(), 960u);
    EXPECT_TRUE(reader.AtEnd());

    // Every picture draws something on the silver button face.
    constexpr BYTE kSilverPair = 0x77;
    for (std::size_t picture = 0; picture < 8; ++picture) {
        bool drawn = false;
        for (std::size_t row = 0; row < 15; ++row)
            for (std::size_t column = 0; column < 8; ++column)
                drawn = drawn || pixels[row * 64 + picture * 8 + column] != kSilverPair;
        EXPECT_TRUE(drawn) << "picture " << picture;
    }
}

TEST(Resources, IconGroupsHoldA32And16PixelImage) {
    struct IconRow {
        BYTE size;
        DWORD bytes;
    };
    const IconRow images[] = {{32, 744}, {16, 296}};
    std::vector<WORD> imageIds;
    for (const WORD group : {IDR_MAINFRAME, IDI_SECONDICON}) {
        SCOPED_TRACE(group);
        StoredReader reader(Stored(RT_GROUP_ICON, group));
        EXPECT_EQ(reader.Word(), 0) << "reserved";
        EXPECT_EQ(reader.Word(), 1) << "icon type";
        EXPECT_EQ(reader.Word(), 2) << "image count";
        for (const IconRow& image : images) {
            EXPECT_EQ(reader.Byte(), image.size) << "width";
            EXPECT_EQ(reader.Byte(), image.size) << "height";
            EXPECT_EQ(reader.Byte(), 16) << "colour count";
            EXPECT_EQ(reader.Byte(), 0) << "reserved";
            EXPECT_EQ(reader.Word(), 1) << "planes";
            EXPECT_EQ(reader.Word(), 4) << "bits per pixel";
            EXPECT_EQ(reader.Dword(), image.bytes);
            imageIds.push_back(reader.Word());

            const auto stored = Stored(RT_ICON, imageIds.back());
            ASSERT_EQ(stored.size(), image.bytes);
            StoredReader imageReader(stored);
            // The height counts the colour rows and the mask rows.
            ExpectFourBitHeader(imageReader, image.size, 2 * image.size);
        }
        EXPECT_TRUE(reader.AtEnd());
    }
    std::sort(imageIds.begin(), imageIds.end());
    EXPECT_EQ(std::adjacent_find(imageIds.begin(), imageIds.end()), imageIds.end())
        << "two groups share an image";
}

struct DialogControl {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const char* windowClass; // an ordinal as "#number"
    const char* text;
};

TEST(Resources, AboutDialogTemplate) {
    const DialogControl expected[] = {
        {0x50000003, 11, 17, 20, 20, 0xFFFF, "#130", "#128"},
        {0x50020080, 40, 10, 119, 8, 0xFFFF, "#130", "Vexlan 1.0 版"},
        {0x50020000, 40, 25, 119, 8, 0xFFFF, "#130", nullptr},
        {0x50030001, 178, 7, 50, 14, IDOK, "#128", "确定"},
    };
    StoredReader reader(Stored(RT_DIALOG, IDD_ABOUTBOX));
    EXPECT_EQ(reader.Dword(), 0x80C800C0u) << "style";
    EXPECT_EQ(reader.Dword(), 0u) << "extended style";
    EXPECT_EQ(reader.Word(), std::size(expected));
    EXPECT_EQ(reader.Short(), 0);
    EXPECT_EQ(reader.Short(), 0);
    EXPECT_EQ(reader.Short(), 235);
    EXPECT_EQ(reader.Short(), 55);
    EXPECT_EQ(reader.TextOrOrdinal(), "") << "menu";
    EXPECT_EQ(reader.TextOrOrdinal(), "") << "window class";
    EXPECT_EQ(reader.Text(), "关于 Vexlan");
    EXPECT_EQ(reader.Word(), 9) << "point size";
    EXPECT_EQ(reader.Text(), "宋体");

    for (const DialogControl& control : expected) {
        SCOPED_TRACE(control.style);
        reader.AlignToDword();
        EXPECT_EQ(reader.Dword(), control.style);
        EXPECT_EQ(reader.Dword(), 0u) << "extended style";
        EXPECT_EQ(reader.Short(), control.x);
        EXPECT_EQ(reader.Short(), control.y);
        EXPECT_EQ(reader.Short(), control.cx);
        EXPECT_EQ(reader.Short(), control.cy);
        EXPECT_EQ(reader.Word(), control.id);
        EXPECT_EQ(reader.TextOrOrdinal(), control.windowClass);
        const std::string text = reader.TextOrOrdinal();
        if (control.text != nullptr) {
            EXPECT_EQ(text, control.text);
        } else {
            EXPECT_FALSE(text.empty()) << "the legal notice";
        }
        EXPECT_EQ(reader.Word(), 0) << "creation data";
    }
    EXPECT_TRUE(reader.AtEnd());
}

struct StringRow {
    UINT id;
    const char* text;
};

const StringRow kStrings[] = {
    {IDR_MAINFRAME, "Vexlan\n\nVexlan\n\n\nVexlan.Document\nVexlan Document"},
    {AFX_IDS_APP_TITLE, "Vexlan"},
    {AFX_IDS_IDLEMESSAGE, "就绪"},
    {ID_FILE_NEW, "建立新文档\n新建"},
    {ID_FILE_OPEN, "打开一个现有文档\n打开"},
    {ID_FILE_CLOSE, "关闭活动文档\n关闭"},
    {ID_FILE_SAVE, "保存活动文档\n保存"},
    {ID_FILE_SAVE_AS, "将活动文档以一个新文件名保存\n另存为"},
    {ID_FILE_PAGE_SETUP, "改变打印选项\n页面设置"},
    {ID_FILE_PRINT_SETUP, "改变打印机及打印选项\n打印设置"},
    {ID_FILE_PRINT, "打印活动文档\n打印"},
    {ID_FILE_PRINT_PREVIEW, "显示整页\n打印预览"},
    {ID_EDIT_CLEAR, "删除被选对象\n删除"},
    {ID_EDIT_CLEAR_ALL, "全部删除\n全部删除"},
    {ID_EDIT_COPY, "复制被选对象并将其置于剪贴板上\n复制"},
    {ID_EDIT_CUT, "剪切被选对象并将其置于剪贴板上\n剪切"},
    {ID_EDIT_FIND, "查找指定的正文\n查找"},
    {ID_EDIT_PASTE, "插入剪贴板内容\n粘贴"},
    {ID_EDIT_REPEAT, "重复上一步操作\n重复"},
    {ID_EDIT_REPLACE, "用不同的正文替换指定的正文\n替换"},
    {ID_EDIT_SELECT_ALL, "选择整个文档\n选择全部"},
    {ID_EDIT_UNDO, "撤消最后一步操作\n撤消"},
    {ID_EDIT_REDO, "重新执行先前已撤消的操作\n重新执行"},
    {ID_WINDOW_SPLIT, "将活动的窗口分隔成窗格\n分隔"},
    {ID_APP_ABOUT, "显示程序信息\uFF0C版本号和版权\n关于"},
    {ID_APP_EXIT, "退出应用程序\uFF1B提示保存文档\n退出"},
    {ID_NEXT_PANE, "切换到下一个窗格\n下一窗格"},
    {ID_PREV_PANE, "切换回前一个窗格\n前一窗格"},
    {ID_VIEW_TOOLBAR, "显示或隐藏工具栏\n显隐工具栏"},
    {ID_VIEW_STATUS_BAR, "显示或隐藏状态栏\n显隐状态栏"},
    {AFX_IDS_PREVIEW_CLOSE, "关闭打印预览模式\n取消预阅"},
    {ID_INDICATOR_EXT, "扩展名"},
    {ID_INDICATOR_CAPS, "大写"},
    {ID_INDICATOR_NUM, "数字"},
    {ID_INDICATOR_SCRL, "滚动"},
    {ID_INDICATOR_OVR, "改写"},
    {ID_INDICATOR_REC, "记录"},
    {AFX_IDS_SCSIZE, "改变窗口大小"},
    {AFX_IDS_SCMOVE, "改变窗口位置"},
    {AFX_IDS_SCMINIMIZE, "将窗口缩小成图标"},
    {AFX_IDS_SCMAXIMIZE, "把窗口放大到最大尺寸"},
    {AFX_IDS_SCNEXTWINDOW, "切换到下一个文档窗口"},
    {AFX_IDS_SCPREVWINDOW, "切换到先前的文档窗口"},
    {AFX_IDS_SCCLOSE, "关闭活动的窗口并提示保存所有文档"},
    {AFX_IDS_SCRESTORE, "把窗口恢复到正常大小"},
    {AFX_IDS_SCTASKLIST, "激活任务表"},
};

std::string StringRowText(UINT id, const std::string& text) {
    return "{" + std::to_string(id) + ", " + Quoted(text) + "},";
}

// Every stored string in the order of its id; a block of 16 strings holds ids from
// 16 * (block - 1) on, and an empty slot is no string.
std::vector<std::string> StoredStringRows() {
    std::vector<std::pair<UINT, std::string>> strings;
    for (const CResourceEntry& entry : Resources().Entries()) {
        if (entry.typeOrdinal != RT_STRING)
            continue;
        StoredReader reader({entry.data, entry.size});
        for (UINT index = 0; index < 16 && !reader.Overran(); ++index) {
            const WORD length = reader.Word();
            std::u16string text;
            for (WORD c = 0; c < length && !reader.Overran(); ++c)
                text.push_back(static_cast<char16_t>(reader.Word()));
            if (length != 0)
                strings.emplace_back((entry.nameOrdinal - 1u) * 16 + index, AfxUtf16ToUtf8(text));
        }
        EXPECT_TRUE(reader.AtEnd()) << "block " << entry.nameOrdinal;
    }
    std::sort(strings.begin(), strings.end());
    std::vector<std::string> rows;
    for (const auto& [id, text] : strings)
        rows.push_back(StringRowText(id, text));
    return rows;
}

TEST(Resources, StringTableHoldsExactlyTheProgramsStrings) {
    std::vector<std::pair<UINT, std::string>> strings;
    for (const StringRow& row : kStrings)
        strings.emplace_back(row.id, row.text);
    for (UINT id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE16; ++id)
        strings.emplace_back(id, "打开该文档");
    std::sort(strings.begin(), strings.end());
    std::vector<std::string> expected;
    for (const auto& [id, text] : strings)
        expected.push_back(StringRowText(id, text));
    ExpectSameRows(expected, StoredStringRows(), "kStrings");
}

// One node of the version block: length, value length, type, key, value, children.
struct VersionNode {
    std::string key;
    std::span<const BYTE> value;
    bool textValue = false;
    std::vector<VersionNode> children;

    std::string Text() const {
        StoredReader reader(value);
        return reader.Text();
    }
};

VersionNode ReadVersionNode(StoredReader& reader) {
    const std::size_t start = reader.Position();
    const std::size_t end = start + reader.Word();
    const WORD valueLength = reader.Word();
    VersionNode node;
    node.textValue = reader.Word() == 1;
    node.key = reader.Text();
    reader.AlignToDword();
    node.value = reader.Bytes(node.textValue ? std::size_t{valueLength} * 2 : valueLength);
    // A node's length leaves out the padding after its own last byte.
    while (!reader.Overran() && reader.Position() < end) {
        reader.AlignToDword();
        node.children.push_back(ReadVersionNode(reader));
    }
    EXPECT_EQ(reader.Position(), end) << node.key;
    return node;
}

TEST(Resources, VersionBlock) {
    const auto stored = Stored(RT_VERSION, VS_VERSION_INFO);
    StoredReader reader(stored);
    const VersionNode root = ReadVersionNode(reader);
    ASSERT_FALSE(reader.Overran());
    EXPECT_EQ(root.key, "VS_VERSION_INFO");

    StoredReader fixed(root.value);
    const DWORD expectedFixed[] = {0xFEEF04BD, 0x00010000, 0x00010000, 0x00000001, 0x00010000,
                                   0x00000001, 0x3F,       0x1,        0x4,        0x1,
                                   0,          0,          0};
    for (const DWORD field : expectedFixed)
        EXPECT_EQ(fixed.Dword(), field);
    EXPECT_TRUE(fixed.AtEnd());

    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& stringInfo = root.children[0];
    EXPECT_EQ(stringInfo.key, "StringFileInfo");
    ASSERT_EQ(stringInfo.children.size(), 1u);
    const VersionNode& table = stringInfo.children[0];
    EXPECT_EQ(table.key, "080404B0");
    const std::pair<const char*, const char*> entries[] = {
        {"FileDescription", "Vexlan Microsoft 基础类应用程序"},
        {"FileVersion", "1, 0, 0, 1"},
        {"InternalName", "Vexlan"},
        {"LegalCopyright", nullptr},
        {"OriginalFilename", "Vexlan.EXE"},
        {"ProductName", "Vexlan 应用程序"},
        {"ProductVersion", "1, 0, 0, 1"},
    };
    ASSERT_EQ(table.children.size(), std::size(entries));
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        EXPECT_EQ(table.children[i].key, entries[i].first);
        EXPECT_TRUE(table.children[i].textValue);
        if (entries[i].second != nullptr) {
            EXPECT_EQ(table.children[i].Text(), entries[i].second);
        } else {
            EXPECT_FALSE(table.children[i].Text().empty()) << entries[i].first;
        }
    }

    const VersionNode& varInfo = root.children[1];
    EXPECT_EQ(varInfo.key, "VarFileInfo");
    ASSERT_EQ(varInfo.children.size(), 1u);
    EXPECT_EQ(varInfo.children[0].key, "Translation");
    StoredReader translation(varInfo.children[0].value);
    EXPECT_EQ(translation.Word(), 0x0804);
    EXPECT_EQ(translation.Word(), 0x04B0);
    EXPECT_TRUE(translation.AtEnd());
}

TEST(Resources, ManifestAsksForNothingButDpiAwareness) {
    const auto stored = Stored(RT_MANIFEST, 1);
    const std::string manifest(stored.begin(), stored.end());
    EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
    EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos);
    const auto open = manifest.find('>', manifest.find("<dpiAware"));
    const auto close = manifest.find("</dpiAware>");
    ASSERT_TRUE(open != std::string::npos && close != std::string::npos && open < close);
    EXPECT_EQ(manifest.substr(open + 1, close - open - 1), "true");
    EXPECT_EQ(manifest.find("<dependency"), std::string::npos);
}

} // namespace
