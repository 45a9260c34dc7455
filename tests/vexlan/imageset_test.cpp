// Opening images and lists through the real file dialog, stepping through a list with the
// keyboard, the segmentation command and the RAW result file, end to end in the running view.
#include "colorsegmentation.h"
#include "imagesetfixture.h"

#include <QFile>

#include <sys/resource.h>

#include <csignal>

namespace {

TEST_F(ImageSetTest, BitmapChoicePaintsInColourThroughTheRealDialog) {
    WriteIndexed("cat.bmp", 1);
    const auto seen = AnswerFileDialog(HostPath("cat.bmp"));
    EXPECT_EQ(
        seen.filters,
        (QStringList{"所有图像 (*.lst *.raw *.bmp *.png *.jpg *.jpeg *.tif *.tiff *.pgm *.ppm "
                     "*.pbm *.gif *.webp)",
                     "图像列表 (*.lst)", "位图 (*.bmp *.raw)", "PNG 图像 (*.png)",
                     "JPEG 图像 (*.jpg *.jpeg)", "TIFF 图像 (*.tif *.tiff)",
                     "PGM、PPM、PBM 图像 (*.pgm *.ppm *.pbm)", "GIF 图像 (*.gif)",
                     "WebP 图像 (*.webp)"}));
    EXPECT_EQ(seen.directory, m_dir.path()); // "D:\" through the drive mapping

    EXPECT_EQ(Title(), "cat.bmp");
    EXPECT_EQ(m_view->m_bColorMode, 1);
    EXPECT_EQ(m_view->m_nFileCount, 0);
    EXPECT_STREQ(m_view->m_szDirectory, m_dirSystemPath.c_str());
    EXPECT_EQ(Rgb(Painted(), 1, 0), 0x00FF00u); // palette entry 1
}

TEST_F(ImageSetTest, RawChoicePaintsPaletteIndicesAsGray) {
    WriteIndexed("scan.raw", 2);
    Open("scan.raw");
    EXPECT_EQ(m_view->m_bGrayMode, 1);
    EXPECT_EQ(m_view->m_bColorMode, 0);
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0x020202u);
}

TEST_F(ImageSetTest, ListChoiceLoadsItsFirstEntry) {
    WriteIndexed("a.bmp", 0);
    WriteIndexed("b.bmp", 1);
    WriteText("set.lst", "3\r\n" + m_dirSystemPath + "\r\na.bmp b.bmp\nc.bmp trailing words");
    Open("set.lst");
    EXPECT_EQ(m_view->m_nFileCount, 3);
    EXPECT_EQ(m_view->m_nCurrentFile, 0);
    EXPECT_STREQ(m_view->m_pFileNames.get() + 200, "c.bmp");
    EXPECT_EQ(Title(), "a.bmp");
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0x0000FFu); // palette entry 0
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImageSetTest, ListsWithDriveAndHostDirectoriesBothWork) {
    QDir(m_dir.path()).mkdir("images");
    WriteIndexed("images/a.bmp", 1);
    WriteText("windows.lst", "1 D:\\images a.bmp");
    Open("windows.lst");
    EXPECT_EQ(Title(), "a.bmp");
    EXPECT_TRUE(m_view->m_pGrayImage);

    m_view->m_pGrayImage.reset();
    WriteText("here.lst", "1 " + m_dir.path().toStdString() + "/images a.bmp");
    Open("here.lst");
    EXPECT_TRUE(m_view->m_pGrayImage);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImageSetTest, UpperCaseExtensionMatchesNoKindAndReloadsTheSetUnpainted) {
    WriteIndexed("first.bmp", 1);
    WriteIndexed("SHOUT.BMP", 2);
    Open("first.bmp");
    m_view->GetDocument()->SetTitle("changed");
    Open("SHOUT.BMP");
    EXPECT_EQ(Title(), "first.bmp");
    EXPECT_EQ(m_view->m_bColorMode + m_view->m_bGrayMode + m_view->m_bShowResult, 0);
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0xFFFFFFu);
}

TEST_F(ImageSetTest, CancelKeepsTheSetButPaintsNothing) {
    WriteIndexed("cat.bmp", 1);
    Open("cat.bmp");
    const BYTE* gray = m_view->m_pGrayImage.get();
    AnswerFileDialog("");
    EXPECT_EQ(m_view->m_pGrayImage.get(), gray);
    EXPECT_EQ(Title(), "cat.bmp");
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0xFFFFFFu);
}

TEST_F(ImageSetTest, MalformedListsAreRefusedAndLeaveThePreviousSet) {
    WriteIndexed("cat.bmp", 1);
    const std::vector<std::pair<std::string, std::string>> lists{
        {"zero.lst", "0 dir"},
        {"word.lst", "many dir a.bmp"},
        {"short.lst", "3 dir a.bmp b.bmp"},
        {"longdir.lst", "1 " + std::string(120, 'd') + " a.bmp"},
        {"longname.lst", "1 dir " + std::string(100, 'n')},
    };
    for (const auto& [name, text] : lists) {
        SCOPED_TRACE(name);
        Open("cat.bmp");
        m_messages.clear();
        const char* table = m_view->m_pFileNames.get();
        WriteText(name, text);
        Open(name);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_NE(m_messages[0].find(name), std::string::npos) << m_messages[0];
        EXPECT_EQ(m_view->m_pFileNames.get(), table);
        EXPECT_EQ(m_view->m_nFileCount, 0);
        EXPECT_EQ(Title(), "cat.bmp");
        EXPECT_EQ(Rgb(Painted(), 0, 0), 0xFFFFFFu);
    }
}

// The slot's limit is 99 bytes, whatever the characters: 32 Chinese ones and ".bmp" are 100.
TEST_F(ImageSetTest, ChosenNameLongerThanTheSlotIsRefused) {
    QTemporaryDir shortFolder("/tmp/vXXXXXX"); // joined with any name, the path still fits
    std::string chinese;
    for (int i = 0; i < 32; ++i)
        chinese += "猫";
    const std::vector<std::pair<std::string, bool>> names{
        {std::string(95, 'n') + ".bmp", true},
        {std::string(96, 'n') + ".bmp", false},
        {std::string(97, 'n') + ".bmp", false},
        {chinese + ".bmp", false},
    };
    for (const auto& [name, opens] : names) {
        SCOPED_TRACE(name.size());
        const std::string path = shortFolder.filePath(QString::fromStdString(name)).toStdString();
        testbitmaps::WriteFile(path, MakeBitmap(2, 1, 8, Bytes{1, 1}, {0, 0x00FF00}));
        m_messages.clear();
        AnswerFileDialog(path);
        EXPECT_EQ(Title() == name, opens);
        if (opens)
            continue;
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_NE(m_messages[0].find("的名称超过 99 个字节"), std::string::npos) << m_messages[0];
    }
}

TEST_F(ImageSetTest, PageKeysStepThroughTheListAndDropTheResult) {
    WriteIndexed("a.bmp", 0);
    WriteIndexed("b.bmp", 1);
    Write("c.bmp", MakeBitmap(3, 1, 8, Bytes{2, 2, 2}, {0x0000FF, 0x00FF00, 0xFF0000}));
    WriteText("set.lst", "3 " + m_dirSystemPath + " a.bmp b.bmp c.bmp");
    Open("set.lst");
    m_view->OnColorSegmentation();
    ASSERT_TRUE(m_view->m_pResultImage);

    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_EQ(Title(), "b.bmp");
    EXPECT_FALSE(m_view->m_pResultImage);
    EXPECT_EQ(m_view->m_bShowResult, 1);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_view->m_nCurrentFile, 2);
    EXPECT_EQ(m_view->m_nWidth, 3);
    Key(Qt::Key_PageUp);
    Key(Qt::Key_PageUp);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(m_view->m_nCurrentFile, 0);
    EXPECT_EQ(Title(), "a.bmp");
    Key(Qt::Key_End);
    EXPECT_EQ(m_view->m_nCurrentFile, 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImageSetTest, AutoRepeatedPageDownStepsOncePerMessage) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
        WriteIndexed(name, 1);
    WriteText("set.lst", "4 " + m_dirSystemPath + " a.bmp b.bmp c.bmp d.bmp");
    Open("set.lst");
    for (int i = 0; i < 2; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier, QString(), i > 0);
        QApplication::sendEvent(AfxGetWidget(m_view), &repeat);
    }
    EXPECT_EQ(m_view->m_nCurrentFile, 2);
}

TEST_F(ImageSetTest, MissingEntryKeepsThePictureAndMovesTheIndex) {
    WriteIndexed("a.bmp", 1);
    WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp gone.bmp");
    Open("set.lst");
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_messages, std::vector<std::string>{"Cannot open the list file"});
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_EQ(Title(), "a.bmp");
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0x00FF00u);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(m_view->m_nCurrentFile, 0);
}

TEST_F(ImageSetTest, SegmentationPaintsItsResultBesideTheImage) {
    // Pure red and pure blue: classes 3 and 7 (95 and 223), stored halved.
    Write("two.bmp", MakeBitmap(2, 1, 24, Bytes{0, 0, 255, 255, 0, 0}));
    Open("two.bmp");
    m_view->OnColorSegmentation();
    const QImage shot = Painted();
    EXPECT_EQ(Rgb(shot, 0, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(shot, 2, 0), 0x2F2F2Fu);
    EXPECT_EQ(Rgb(shot, 3, 0), 0x6F6F6Fu);
    EXPECT_EQ(Rgb(shot, 4, 0), 0xFFFFFFu);
}

TEST_F(ImageSetTest, SegmentationTwiceLeavesOneResultAndTheViewReleasesAllFive) {
    Write("dot.bmp", MakeBitmap(1, 1, 24, Bytes{255, 255, 255}));
    Open("dot.bmp");
    const std::size_t loaded = AfxLiveBlockCount("vexlanview");
    m_view->OnColorSegmentation();
    m_view->OnColorSegmentation();
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), loaded + 1); // result plane, also the output
    EXPECT_EQ(m_view->m_pResultImage[0], 31);               // white: class 2, 63 halved
    EXPECT_EQ(Rgb(Painted(), 1, 0), 0x1F1F1Fu);

    // The view object, three planes and the name table; the view's end releases all.
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), 5u);
    theApp.ExitInstance();
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), 0u);
}

TEST_F(ImageSetTest, SegmentationBeforeAnyImageChangesNothing) {
    m_view->OnColorSegmentation();
    EXPECT_FALSE(m_view->m_pResultImage);
    EXPECT_EQ(m_view->m_bShowResult, 0);
}

TEST_F(ImageSetTest, SaveWritesTheOutputPlaneBehindItsSize) {
    Write("cat.bmp", MakeBitmap(2, 1, 24, Bytes(6, 0)));
    Open("cat.bmp");
    m_view->OnFileSave(); // no output plane yet: nothing written
    EXPECT_FALSE(QFile::exists(QString::fromStdString(HostPath("outcat.raw"))));
    m_view->OnColorSegmentation();
    m_view->m_pOutputImage[0] = 0x10;
    m_view->m_pOutputImage[1] = 0x20;
    m_view->OnFileSave();
    EXPECT_EQ(ReadBack("outcat.raw"), (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 0x10, 0x20}));
    m_view->m_pOutputImage[0] = 0x30;
    m_view->OnFileSave();
    EXPECT_EQ(ReadBack("outcat.raw")[8], 0x30);
}

TEST_F(ImageSetTest, SaveNamesTheFileAfterTheStemOfTheCurrentEntry) {
    const std::vector<std::pair<std::string, std::string>> names{
        {"scan.01.bmp", "outscan.raw"},
        {"notes", "outnotes.raw"},
        {".bmp", "out.raw"},
        {"100%.bmp", "out100%.raw"},
        {std::string(95, 'x') + ".bmp", "out" + std::string(95, 'x') + ".raw"},
    };
    for (const auto& [entry, saved] : names) {
        SCOPED_TRACE(entry);
        Write(entry, MakeBitmap(1, 1, 24, Bytes(3, 9)));
        WriteText("one.lst", "1 " + m_dirSystemPath + " " + entry);
        Open("one.lst");
        m_view->OnColorSegmentation();
        m_view->OnFileSave();
        EXPECT_EQ(ReadBack(saved).size(), 9u);
    }
}

TEST_F(ImageSetTest, SaveAfterStepsNamesTheThirdEntry) {
    for (const char* name : {"a.bmp", "b.bmp", "third.bmp"})
        WriteIndexed(name, 1);
    WriteText("set.lst", "3 " + m_dirSystemPath + " a.bmp b.bmp third.bmp");
    Open("set.lst");
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    m_view->OnColorSegmentation();
    m_view->OnFileSave();
    EXPECT_EQ(ReadBack("outthird.raw").size(), 10u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(HostPath("outa.raw"))));
}

TEST_F(ImageSetTest, FailedSaveKeepsTheOldFileAndSaysSo) {
    WriteIndexed("cat.bmp", 1);
    Open("cat.bmp");
    m_view->OnColorSegmentation();
    m_view->OnFileSave();
    const Bytes before = ReadBack("outcat.raw");

    // A file-size limit makes the write fail even for the superuser.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 4;
    setrlimit(RLIMIT_FSIZE, &tiny);
    m_view->OnFileSave();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(ReadBack("outcat.raw"), before);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find("D:\\outcat.raw"), std::string::npos) << m_messages[0];
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).filter("outcat").size(), 1);
}

} // namespace
