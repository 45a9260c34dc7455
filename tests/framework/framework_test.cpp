// The class layer's small services: path mapping, the debug allocator, the drawing surface,
// the trace, key codes, the resource reader and the toolkit's translations.
#include "afxwin.h"
#include "keymap.h"
#include "resourcefile.h"
#include "systemerror.h"
#include "toolkittranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLibraryInfo>

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_hadOld = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_hadOld ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::string m_old;
    bool m_hadOld = false;
};

TEST(PathMapping, DriveLettersGoThroughTheirVariables) {
    ScopedEnv d("VEXLAN_DRIVE_D", "/home/me/lab");
    ScopedEnv e("VEXLAN_DRIVE_E", "/mnt/e/");
    EXPECT_EQ(AfxHostPath("D:\\images\\cat.bmp"), "/home/me/lab/images/cat.bmp");
    EXPECT_EQ(AfxHostPath("d:\\cat.bmp"), "/home/me/lab/cat.bmp");
    EXPECT_EQ(AfxHostPath("E:\\x\\y.lst"), "/mnt/e/x/y.lst");
    EXPECT_EQ(AfxHostPath("D:\\"), "/home/me/lab");
    // A file in the root of a drive, as the loader joins it back: "D:" + "\" + name.
    EXPECT_EQ(AfxHostPath("D:\\outcat.raw"), "/home/me/lab/outcat.raw");
}

TEST(PathMapping, DriveDIsTheWorkingDirectoryWhileUnset) {
    ScopedEnv d("VEXLAN_DRIVE_D", nullptr);
    const std::string cwd = QDir::currentPath().toStdString();
    EXPECT_EQ(AfxHostPath("D:\\out.raw"), cwd + "/out.raw");
    EXPECT_EQ(AfxHostPath("D:\\"), cwd);
}

TEST(PathMapping, UnmappedDrivesOpenNothing) {
    ScopedEnv q("VEXLAN_DRIVE_Q", nullptr);
    EXPECT_EQ(AfxHostPath("Q:\\file.bmp"), std::nullopt);
    errno = 0;
    EXPECT_EQ(AfxOpenFile("Q:\\file.bmp", "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(PathMapping, BackslashesAndSlashesSwap) {
    EXPECT_EQ(AfxHostPath("\\home\\me\\images\\a.bmp"), "/home/me/images/a.bmp");
    EXPECT_EQ(AfxHostPath("relative\\a.bmp"), "relative/a.bmp");
    EXPECT_EQ(AfxSystemPath("/home/me/cat.bmp"), "\\home\\me\\cat.bmp");
    EXPECT_EQ(AfxSystemPath("/home/me/odd\\name.bmp"), std::nullopt);
}

TEST(SystemErrors, NumbersWithoutAPhraseAreNamedInTheInterfacesLanguage) {
    EXPECT_EQ(AfxSystemErrorPhrase(ENOSPC), "磁盘已满");
    EXPECT_EQ(AfxSystemErrorPhrase(EXDEV), "系统错误（错误号 " + std::to_string(EXDEV) + "）");
    EXPECT_EQ(AfxSystemErrorPhrase(4242), "系统错误（错误号 4242）");
}

TEST(DebugAllocator, CountsLiveBlocksPerSourceFile) {
    const std::size_t before = AfxLiveBlockCount("framework_test");
    {
        CByteBlock first = DEBUG_NEW_BYTES(16);
        CByteBlock second = DEBUG_NEW_BYTES(0);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(AfxLiveBlockCount("framework_test"), before + 2);
        const auto live = AfxLiveBlocks("framework_test");
        EXPECT_NE(std::find_if(live.begin(), live.end(),
                               [](const CLiveBlock& b) { return b.size == 16; }),
                  live.end());
        second.reset();
        EXPECT_EQ(AfxLiveBlockCount("framework_test"), before + 1);
    }
    EXPECT_EQ(AfxLiveBlockCount("framework_test"), before);
    EXPECT_EQ(AfxLiveBlockCount("no_such_file"), 0u);
}

TEST(DebugAllocator, ReportsTheBlocksStillLiveWithTheirSourceLines) {
    CByteBlock kept = DEBUG_NEW_BYTES(7);
    const int line = __LINE__ - 1;
    ::testing::internal::CaptureStderr();
    EXPECT_GE(AfxDumpLiveBlocks(), 1u);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(
        report.find("framework_test.cpp(" + std::to_string(line) + "): leaked block of 7 bytes\n"),
        std::string::npos)
        << report;
}

// What another process maps is the block itself, its visible bytes ending at a page boundary of
// the file; a block given out again comes cleared, the bytes before it too.
TEST(DebugAllocator, SharedBlocksAreZeroedMemoryFilesOfTheirOwn) {
    const std::size_t live = AfxLiveBlockCount();
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    struct Case {
        std::size_t size, visible;
    };
    for (const Case& c : {Case{4096, 4096}, Case{10, 6}, Case{24, 18}, Case{5000, 5000}}) {
        SCOPED_TRACE(c.size);
        const std::size_t offset = AfxSharedBlockOffset(c.visible);
        EXPECT_EQ((offset + c.visible) % page, 0u);
        EXPECT_LT(offset, page);
        for (int round = 0; round < 2; ++round) {
            CByteBlock block = DEBUG_NEW_SHARED_PLANE(c.size, c.visible);
            const int fd = AfxSharedBlockDescriptor(block.get());
            ASSERT_GE(fd, 0);
            EXPECT_EQ(std::count(block.get(), block.get() + c.size, 0), c.size) << round;
            BYTE first = 0xFF;
            EXPECT_EQ(pread(fd, &first, 1, 0), 1);
            EXPECT_EQ(first, 0) << round;
            block[c.size - 1] = 0x5A;
            BYTE seen = 0;
            EXPECT_EQ(pread(fd, &seen, 1, static_cast<off_t>(offset + c.size - 1)), 1);
            EXPECT_EQ(seen, 0x5A);
            EXPECT_EQ(pwrite(fd, &seen, 1, 0), 1); // as a step that writes before its plane
        }
    }
    CByteBlock heap = DEBUG_NEW_BYTES(3);
    std::fill_n(heap.get(), 3, BYTE{7});
    EXPECT_EQ(AfxSharedBlockDescriptor(heap.get()), -1);
    ASSERT_TRUE(DEBUG_SHARE_BYTES(heap, 3));
    EXPECT_GE(AfxSharedBlockDescriptor(heap.get()), 0);
    EXPECT_EQ(std::count(heap.get(), heap.get() + 3, 7), 3);
    EXPECT_EQ(AfxLiveBlockCount(), live + 1);
}

TEST(DrawingSurface, StoresColorrefsAsDevicePixelsWithinTheClip) {
    std::vector<std::uint32_t> bits(4 * 3, 0);
    CDC dc(bits.data(), 4, 3, 4);
    EXPECT_EQ(dc.SetPixel(1, 1, 0x00808080), 0x00808080u);
    EXPECT_EQ(dc.SetPixelV(2, 1, 0x00102030), TRUE);
    EXPECT_EQ(bits[4 + 1], 0xFF808080u);
    EXPECT_EQ(bits[4 + 2], 0xFF302010u); // red 0x30 in the device's red byte
    EXPECT_EQ(dc.GetPixel(2, 1), 0x00102030u);

    EXPECT_EQ(dc.SetPixel(4, 0, 0x00FFFFFF), static_cast<COLORREF>(-1));
    EXPECT_EQ(dc.SetPixelV(-1, 0, 0x00FFFFFF), FALSE);
    EXPECT_EQ(dc.SetPixelV(0, 3, 0x00FFFFFF), FALSE);
    dc.IntersectClipRect(CRect{1, 0, 3, 3});
    EXPECT_EQ(dc.SetPixelV(0, 0, 0x00FFFFFF), FALSE);
    EXPECT_EQ(dc.SetPixelV(3, 0, 0x00FFFFFF), FALSE);
    EXPECT_EQ(dc.SetPixelV(2, 0, 0x00FFFFFF), TRUE);
    EXPECT_EQ(bits[0], 0u);
    EXPECT_EQ(bits[3], 0u);

    dc.IntersectClipRect(CRect{-2, 0, 0, 3}); // beside the clip: nothing is left
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {2, 2}, {3, 0}}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(dc.SetPixelV(x, y, 0x00FFFFFF), FALSE);
    }
    EXPECT_EQ(std::count(bits.begin(), bits.end(), 0xFFFFFFFFu), 1);
}

TEST(DrawingSurface, ViewportOriginShiftsPixelsClipAndFills) {
    std::vector<std::uint32_t> bits(4 * 3, 0);
    CDC dc(bits.data(), 4, 3, 4);
    EXPECT_EQ(dc.SetViewportOrg(-10, -20).x, 0);
    CRect clip;
    EXPECT_EQ(dc.GetClipBox(&clip), SIMPLEREGION);
    EXPECT_EQ(std::vector({clip.left, clip.top, clip.right, clip.bottom}),
              std::vector({10, 20, 14, 23}));
    EXPECT_EQ(dc.SetPixelV(11, 21, 0x00000001), TRUE);
    EXPECT_EQ(bits[4 + 1], 0xFF010000u);
    EXPECT_EQ(dc.SetPixelV(1, 1, 0x00000001), FALSE); // device (1, 1), but logical (-9, -19)
    EXPECT_EQ(dc.GetPixel(11, 21), 0x00000001u);

    dc.IntersectClipRect(CRect{12, 0, 100, 22}); // logical: device columns 2, 3, rows 0, 1
    dc.FillSolidRect(CRect{0, 0, 100, 100}, 0x00FFFFFF);
    EXPECT_EQ(std::vector(bits.begin(), bits.begin() + 4),
              std::vector<std::uint32_t>({0, 0, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(bits[8 + 2], 0u);
    dc.IntersectClipRect(CRect{0, 0, 1, 1});
    EXPECT_EQ(dc.GetClipBox(&clip), NULLREGION);
}

// A painting loop that walks a shown span by the sample step meets exactly the pixels that the
// surface would show, whatever the zoom, the scroll origin and where the run is painted.
TEST(DrawingSurface, ShownSpansMeetExactlyThePixelsTheSurfaceShows) {
    for (const CZoom& zoom : {CZoom(), CZoom::Reducing(2), CZoom::Reducing(4), CZoom::Enlarging(2)})
        for (const int origin : {0, -3, -16})
            for (const auto& [first, count] :
                 {std::pair{0, 40}, {5, 7}, {13, 40}, {0, 0}, {3, -2}}) {
                SCOPED_TRACE(zoom.Text() + " origin " + std::to_string(origin) + " first " +
                             std::to_string(first) + " count " + std::to_string(count));
                std::vector<std::uint32_t> bits(10 * 10, 0);
                CDC dc(bits.data(), 10, 10, 10);
                dc.SetZoom(zoom);
                dc.SetViewportOrg(origin, origin);
                std::vector<int> walked;
                const CSpan columns = dc.ShownColumns(first, count);
                for (int i = columns.begin; i < columns.end; i += dc.GetSampleStep())
                    walked.push_back(i);
                std::vector<int> shown;
                for (int i = 0; i < count; ++i)
                    if (dc.SetPixelV(first + i, dc.ShownRows(0, 40).begin, 0x000001) == TRUE)
                        shown.push_back(i);
                EXPECT_EQ(walked, shown);
                const CSpan rows = dc.ShownRows(first, count);
                EXPECT_EQ(rows.begin, columns.begin); // the surface is square
                EXPECT_EQ(rows.end, columns.end);
            }
}

TEST(Zoom, StepsFitsOffsetsAndTextsStayOnPowersOfTwoWithinTheRange) {
    const std::tuple<const char*, CZoom, CZoom> zooms[] = {
        {"in from 3x", CZoom::Enlarging(3).In(), CZoom::Enlarging(4)},
        {"out from 3x", CZoom::Enlarging(3).Out(), CZoom::Enlarging(2)},
        {"in after a fit at 1/21", CZoom::Fitting({2100, 10}, {100, 100}).In(),
         CZoom::Reducing(16)},
        {"out from 1/21", CZoom::Reducing(21).Out(), CZoom::Reducing(32)},
        {"in at 64x stays", CZoom::Enlarging(64).In(), CZoom::Enlarging(64)},
        {"out at 1/32 stays", CZoom::Reducing(32).Out(), CZoom::Reducing(32)},
        {"fit of a 6 x 1 image", CZoom::Fitting({6, 1}, {800, 600}), CZoom::Enlarging(64)},
        {"fit of a 61 x 37 image", CZoom::Fitting({61, 37}, {800, 600}), CZoom::Enlarging(13)},
        {"fit of a tall image", CZoom::Fitting({100, 1000}, {300, 300}), CZoom::Reducing(4)},
    };
    for (const auto& [what, zoom, expected] : zooms)
        EXPECT_EQ(zoom, expected) << what << ": " << zoom.Text();

    // Reduced, a logical pixel shows from the device pixel at or after it; enlarged, a device
    // pixel shows the logical pixel at or before it.
    const std::tuple<CZoom, std::int64_t, std::int64_t, std::int64_t> offsets[] = {
        {CZoom::Reducing(2), 61, 31, 122},
        {CZoom::Reducing(3), -4, -1, -12},
        {CZoom::Enlarging(3), 5, 15, 1},
        {CZoom::Enlarging(3), -1, -3, -1},
    };
    for (const auto& [zoom, n, deviceOffset, logicalAt] : offsets) {
        EXPECT_EQ(zoom.DeviceOffset(n), deviceOffset) << zoom.Text() << " " << n;
        EXPECT_EQ(zoom.LogicalAt(n), logicalAt) << zoom.Text() << " " << n;
    }

    for (const auto& [zoom, text] :
         {std::pair(CZoom::Reducing(32), "3.125%"), std::pair(CZoom::Reducing(16), "6.25%"),
          std::pair(CZoom::Enlarging(64), "6400%")})
        EXPECT_EQ(zoom.Text(), text);
}

TEST(Trace, WritesFileLineAndTextWhenEnabled) {
    ScopedEnv trace("VEXLAN_TRACE", "1");
    ::testing::internal::CaptureStderr();
    AfxTrace("mainfrm.cpp", 42, traceGeneral, 0, "%s", "Failed to create toolbar\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "mainfrm.cpp(42): Failed to create toolbar\n");
}

UINT VirtualKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return AfxVirtualKeyOf(QKeyEvent(QEvent::KeyPress, key, modifiers));
}

TEST(KeyCodes, QtKeysBecomeVirtualKeys) {
    EXPECT_EQ(VirtualKey(Qt::Key_PageDown), 0x22u);
    EXPECT_EQ(VirtualKey(Qt::Key_PageUp), 0x21u);
    EXPECT_EQ(VirtualKey(Qt::Key_Home), 0x24u);
    EXPECT_EQ(VirtualKey(Qt::Key_Down), 0x28u);
    EXPECT_EQ(VirtualKey(Qt::Key_Z), 0x5Au);
    EXPECT_EQ(VirtualKey(Qt::Key_Exclam, Qt::ShiftModifier), '1');
    EXPECT_EQ(VirtualKey(Qt::Key_F6), 0x75u);
    EXPECT_EQ(VirtualKey(Qt::Key_Backspace), 0x08u);
    EXPECT_EQ(VirtualKey(Qt::Key_Delete), 0x2Eu);
    EXPECT_EQ(VirtualKey(Qt::Key_5, Qt::KeypadModifier), 0x65u);
    EXPECT_EQ(VirtualKey(Qt::Key_Comma), 0xBCu);
}

TEST(ResourceFile, ReadsStringsAndRefusesBrokenImages) {
    // One string block (id 1: strings 0..15) with "Hi" at id 2, after the empty marker entry.
    std::vector<BYTE> image(32, 0);
    image[4] = 32;
    image[8] = image[9] = 0xFF;
    image[12] = image[13] = 0xFF;
    const std::vector<BYTE> header{36, 0,    0,    0, 32, 0, 0, 0, 0xFF, 0xFF, 6,
                                   0,  0xFF, 0xFF, 1, 0,  0, 0, 0, 0,    0x30, 0x10,
                                   4,  8,    0,    0, 0,  0, 0, 0, 0,    0};
    image.insert(image.end(), header.begin(), header.end());
    std::vector<BYTE> block(32, 0);
    block[4] = 2;
    block[6] = 'H';
    block[8] = 'i';
    block.resize(36, 0);
    image.insert(image.end(), block.begin(), block.end());

    const CResourceFile resources(image.data(), image.size());
    ASSERT_TRUE(resources.IsValid());
    EXPECT_EQ(resources.LoadString(2), "Hi");
    EXPECT_EQ(resources.LoadString(3), std::nullopt);
    EXPECT_EQ(resources.Entries().front().language, 0x0804);

    for (std::size_t size : {std::size_t{7}, std::size_t{40}, image.size() - 10})
        EXPECT_FALSE(CResourceFile(image.data(), size).IsValid()) << size;
}

// The dialogs' buttons take their texts from the platform theme's translations.
TEST(ToolkitTranslations, ChineseLocaleTranslatesTheDialogsButtons) {
    const QString catalogue =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm";
    if (!QFile::exists(catalogue))
        GTEST_SKIP() << catalogue.toStdString() << " is missing: install qt6-translations-l10n";
    ASSERT_TRUE(AfxInstallToolkitTranslations("zh_CN"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "取消");
    EXPECT_FALSE(AfxInstallToolkitTranslations("xx_XX"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "Cancel");
}

} // namespace
