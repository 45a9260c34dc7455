// Loading bitmaps into the view's workspace and painting it: what lands in the planes, what
// the debug allocator holds, and what is really on the view's surface.
#include "appfixture.h"
#include "modaldialogs.h"

#include <QMessageBox>
#include <QPushButton>

#include <cstring>

namespace {

using testbitmaps::Bytes;
using testbitmaps::MakeBitmap;

class WorkspaceTest : public AppFixture {
protected:
    QRgb PixelAt(const QImage& image, int x, int y) const { return image.pixel(x, y) & 0xFFFFFF; }
};

TEST_F(WorkspaceTest, EightBitFileFillsGrayIndicesAndExpandedColours) {
    // Width 5: stride 8, three padding bytes per row are skipped.
    const Bytes indices{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Write("pal.bmp", MakeBitmap(5, 2, 8, indices, {0xFF0000, 0x00FF00, 0x0000FF}));
    Load("pal.bmp");

    EXPECT_EQ(Title(), "pal.bmp");
    EXPECT_EQ(m_view->m_nWidth, 5);
    EXPECT_EQ(m_view->m_nHeight, 2);
    EXPECT_EQ(std::memcmp(m_view->m_pGrayImage.get(), indices.data(), indices.size()), 0);
    const BYTE* color = m_view->m_pColorImage.get();
    // Entry 0 is pure red (blue, green, red = 0, 0, 255); entries past the three are gray.
    EXPECT_EQ(Bytes(color, color + 9), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0}));
    EXPECT_EQ(Bytes(color + 27, color + 30), (Bytes{9, 9, 9}));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(WorkspaceTest, TwentyFourBitRowsKeepTheirByteOrderAndTheGrayPlaneIsZero) {
    Bytes pixels(5 * 3 * 2);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<BYTE>(i + 1);
    Write("rgb.bmp", MakeBitmap(5, 2, 24, pixels));
    Load("rgb.bmp");

    ASSERT_EQ(m_view->m_nWidth, 5);
    const auto live = AfxLiveBlocks("vexlanview");
    const bool hasStridePlane = std::any_of(live.begin(), live.end(), [](const CLiveBlock& b) {
        return b.size == 16 * 2; // stride 16 for width 5
    });
    EXPECT_TRUE(hasStridePlane);
    EXPECT_EQ(std::memcmp(m_view->m_pColorImage.get(), pixels.data(), pixels.size()), 0);
    EXPECT_EQ(Bytes(m_view->m_pGrayImage.get(), m_view->m_pGrayImage.get() + 10), Bytes(10, 0));
}

TEST_F(WorkspaceTest, SecondBitmapOfAnotherSizeReplacesBothPlanes) {
    Write("big.bmp", MakeBitmap(64, 48, 8, Bytes(64 * 48, 1)));
    Write("small.bmp", MakeBitmap(2, 2, 8, Bytes(4, 2)));
    const std::size_t before = AfxLiveBlockCount("vexlanview");
    Load("big.bmp");
    Load("small.bmp");
    // The name table, plus exactly the two planes of 4 and 12 bytes.
    const auto live = AfxLiveBlocks("vexlanview");
    EXPECT_EQ(live.size(), before + 3);
    std::vector<std::size_t> sizes;
    for (const auto& block : live)
        sizes.push_back(block.size);
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 4u), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 12u), sizes.end());
    EXPECT_EQ(std::find(sizes.begin(), sizes.end(), 64u * 48u), sizes.end());
}

TEST_F(WorkspaceTest, MissingFileShowsTheMessageAndChangesNothing) {
    Write("one.bmp", MakeBitmap(2, 1, 8, Bytes{7, 8}));
    Load("one.bmp");
    const BYTE* gray = m_view->m_pGrayImage.get();

    Load("absent.bmp");
    EXPECT_EQ(m_messages, std::vector<std::string>{"Cannot open the list file"});
    EXPECT_EQ(Title(), "one.bmp");
    EXPECT_EQ(m_view->m_pGrayImage.get(), gray);
    EXPECT_EQ(m_view->m_nWidth, 2);
}

TEST_F(WorkspaceTest, MissingFileMessageIsARealModalBoxWithTheProgramsName) {
    AfxSetMessageBoxHandler({});
    OnModalDialog([&] { Load("absent.bmp"); },
                  [](QDialog& dialog) {
                      auto* box = qobject_cast<QMessageBox*>(&dialog);
                      ASSERT_NE(box, nullptr);
                      EXPECT_EQ(box->windowTitle(), "Vexlan");
                      EXPECT_EQ(box->text(), "Cannot open the list file");
                      ASSERT_EQ(box->buttons().size(), 1);
                      EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);
                      box->buttons().front()->click();
                  });
}

TEST_F(WorkspaceTest, UnreadableDepthKeepsThePlanesButTakesTheTitleAndTellsTheUser) {
    Write("one.bmp", MakeBitmap(2, 1, 8, Bytes{7, 8}));
    Load("one.bmp");
    Bytes fourBit = MakeBitmap(8, 1, 8, Bytes(8, 0));
    fourBit[28] = 4;
    Write("four.bmp", fourBit);
    const BYTE* gray = m_view->m_pGrayImage.get();

    Load("four.bmp");
    EXPECT_EQ(Title(), "four.bmp");
    EXPECT_EQ(m_view->m_pGrayImage.get(), gray);
    EXPECT_EQ(m_view->m_nWidth, 2);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("four.bmp"), std::string::npos);
    EXPECT_NE(m_messages[0].find('4'), std::string::npos);
}

TEST_F(WorkspaceTest, JoinedPathLongerThanTheBufferIsRefused) {
    const std::string name(99, 'n');
    m_view->UseSingleFile(std::string(30, 'd'), name);
    m_view->LoadImageAt(0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("超过 119"), std::string::npos);
    EXPECT_FALSE(m_view->m_pGrayImage);
}

TEST_F(WorkspaceTest, PaintsGrayColourAndResultLayersWhereTheyBelong) {
    // A 4 x 2 image: colour pixel (0, 0) stored as 0x10, 0x20, 0x30; gray value 0x80.
    Bytes pixels(4 * 2 * 3, 0x55);
    pixels[0] = 0x10, pixels[1] = 0x20, pixels[2] = 0x30;
    Write("four.bmp", MakeBitmap(4, 2, 24, pixels));
    Load("four.bmp");
    std::memset(m_view->m_pGrayImage.get(), 0x80, 8);

    m_view->m_bColorMode = 1;
    QImage shot = Painted();
    EXPECT_EQ(PixelAt(shot, 0, 0), 0x302010u);
    EXPECT_EQ(PixelAt(shot, 3, 1), 0x555555u);
    EXPECT_EQ(PixelAt(shot, 4, 0), 0xFFFFFFu); // background

    m_view->m_bColorMode = 0;
    m_view->m_bGrayMode = 1;
    EXPECT_EQ(PixelAt(Painted(), 0, 0), 0x808080u);

    m_view->m_bShowResult = 1;
    EXPECT_EQ(PixelAt(Painted(), 4, 0), 0xFFFFFFu); // no result plane: only the image
    m_view->m_pResultImage = DEBUG_NEW_BYTES(8);
    for (int i = 0; i < 8; ++i)
        m_view->m_pResultImage[i] = static_cast<BYTE>(i);
    shot = Painted();
    EXPECT_EQ(PixelAt(shot, 4, 0), 0x000000u);
    EXPECT_EQ(PixelAt(shot, 7, 1), 0x070707u);
    EXPECT_EQ(PixelAt(shot, 8, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(shot, 0, 2), 0xFFFFFFu);

    m_view->m_bShowResult = 2; // flags count only when exactly 1
    EXPECT_EQ(PixelAt(Painted(), 4, 0), 0xFFFFFFu);
}

TEST_F(WorkspaceTest, NothingIsPaintedBeforeAnImageIsLoaded) {
    m_view->m_bColorMode = m_view->m_bGrayMode = m_view->m_bShowResult = 1;
    const QImage shot = Painted();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(PixelAt(shot, x, y), 0xFFFFFFu);
}

} // namespace
