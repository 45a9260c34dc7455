// Reading the next list entry ahead while idle changes how soon a step shows its image, never
// what it shows, what it says or what File Save writes; and the result plane that File Save
// shares goes exactly when the output plane always went.
#include "imagesetfixture.h"

#include <QFile>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Palette entries 0, 1, 2: blue, green, red.
const std::vector<std::uint32_t> kPalette{0x0000FF, 0x00FF00, 0xFF0000};

class ReadAheadTest : public ImageSetTest {
protected:
    // The idle time after a step, until its read ahead has ended.
    void Idle() {
        theApp.OnIdle(0);
        m_view->FinishReadAhead();
    }
    void WriteSized(const std::string& name, int width, BYTE index) {
        Write(name,
              MakeBitmap(width, 1, 8, Bytes(static_cast<std::size_t>(width), index), kPalette));
    }
    // Moves the file's modification time, which a rewrite within one clock tick may keep.
    void Touch(const std::string& name, std::time_t seconds, long nanoseconds = 0) {
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, HostPath(name).c_str(), times, 0), 0);
    }
    // Live blocks of exactly size bytes, whoever holds them.
    static std::size_t BlocksOfSize(std::size_t size) {
        const std::vector<CLiveBlock> live = AfxLiveBlocks();
        return static_cast<std::size_t>(std::ranges::count(live, size, &CLiveBlock::size));
    }

    struct Outcome {
        std::vector<std::string> messages;
        std::string title;
        int width;
        int current;
        QRgb first;
        QRgb last;
        bool operator==(const Outcome&) const = default;
    };
    // Opens the list a.bmp b.bmp, lets the idle time pass, changes b.bmp and steps onto it.
    Outcome StepAfterChange(bool readAhead, const std::function<void()>& change) {
        WriteSized("a.bmp", 2, 0);
        WriteSized("b.bmp", 2, 1);
        WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp b.bmp");
        m_view->EnableReadAhead(readAhead);
        Open("set.lst");
        Touch("b.bmp", 1000000000);
        Idle();
        change();
        m_messages.clear();
        Key(Qt::Key_PageDown);
        const QImage shot = Painted();
        return {m_messages,       Title(),
                m_view->m_nWidth, m_view->m_nCurrentFile,
                Rgb(shot, 0, 0),  Rgb(shot, m_view->m_nWidth - 1, 0)};
    }
};

TEST_F(ReadAheadTest, StepShowsAndSaysWhatItWouldWithoutReadingAhead) {
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"unchanged", [] {}},
        {"replaced by a wider image", [this] { WriteSized("b.bmp", 3, 2); }},
        {"rewritten at its size",
         [this] {
             WriteSized("b.bmp", 2, 2);
             Touch("b.bmp", 1000000001);
         }},
        {"replaced by a renamed file",
         [this] {
             WriteSized("new.bmp", 2, 2);
             Touch("new.bmp", 1000000000);
             std::rename(HostPath("new.bmp").c_str(), HostPath("b.bmp").c_str());
         }},
        {"deleted", [this] { QFile::remove(QString::fromStdString(HostPath("b.bmp"))); }},
        {"made unreadable", [this] { Write("b.bmp", MakeBitmap(2, 1, 32, Bytes(8, 1))); }},
        {"rewritten at its size within the same second",
         [this] {
             WriteSized("b.bmp", 2, 2);
             Touch("b.bmp", 1000000000, 500);
         }},
        {"rewritten wider with its time put back",
         [this] {
             WriteSized("b.bmp", 5, 2); // rows of 2 and 3 pixels take 4 bytes alike
             Touch("b.bmp", 1000000000);
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        const Outcome today = StepAfterChange(false, change);
        const Outcome ahead = StepAfterChange(true, change);
        EXPECT_EQ(ahead, today);
        EXPECT_EQ(ahead.current, 1);
    }
    // The two that change the picture, as a check on the comparison itself.
    EXPECT_EQ(StepAfterChange(true, changes[1].second).last, 0xFF0000u);
    EXPECT_EQ(StepAfterChange(true, changes[4].second).messages,
              std::vector<std::string>{"Cannot open the list file"});
}

TEST_F(ReadAheadTest, BrokenEntryFailsWithTheSameMessageWhenItWasReadAhead) {
    WriteSized("a.bmp", 2, 0);
    Write("broken.bmp", MakeBitmap(2, 1, 32, Bytes(8, 1)));
    WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp broken.bmp");
    std::vector<std::string> seen[2];
    for (bool readAhead : {false, true}) {
        m_view->EnableReadAhead(readAhead);
        Open("set.lst");
        Idle();
        m_messages.clear();
        Key(Qt::Key_PageDown);
        seen[readAhead] = m_messages;
        EXPECT_EQ(Rgb(Painted(), 0, 0), 0x0000FFu);
    }
    ASSERT_EQ(seen[1].size(), 1u);
    EXPECT_EQ(seen[1], seen[0]);
}

// A file rewritten in place with its stamp put back is the one thing read ahead that is not
// read again: what a step shows then tells whether the entry was read ahead.
TEST_F(ReadAheadTest, PageUpReadsThePreviousEntryAheadAndOneImageIsHeldAtMost) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        WriteSized(name, 5, 0);
    WriteText("set.lst", "3 " + m_dirSystemPath + " a.bmp b.bmp c.bmp");
    Open("set.lst");
    for (int step = 0; step < 2; ++step) {
        Idle();
        Key(Qt::Key_PageDown);
    }
    Key(Qt::Key_PageUp);
    Touch("a.bmp", 1000000000);
    Idle();
    WriteSized("a.bmp", 5, 1);
    Touch("a.bmp", 1000000000);
    EXPECT_EQ(BlocksOfSize(3 * 5), 2u); // colour planes: the view's and the one read ahead
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Rgb(Painted(), 0, 0), 0x0000FFu); // as read ahead, not green as rewritten

    Key(Qt::Key_PageDown);
    Idle(); // c.bmp is read ahead
    EXPECT_EQ(BlocksOfSize(3 * 5), 2u);
    AnswerFileDialog(""); // File Open, even cancelled, drops what was read ahead
    EXPECT_EQ(BlocksOfSize(3 * 5), 1u);
}

// File Save writes the result plane itself: the bytes the step computed, under the name of
// the entry it was computed from.
TEST_F(ReadAheadTest, SaveAfterAStepWritesTheSharedResultUnderItsEntrysName) {
    WriteSized("a.bmp", 2, 0);
    Write("b.bmp", MakeBitmap(2, 1, 24, Bytes{0, 0, 255, 255, 255, 255}));
    WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp b.bmp");
    Open("set.lst");
    Idle();
    Key(Qt::Key_PageDown);
    const std::size_t before = AfxLiveBlockCount("vexlanview");
    m_view->OnColorSegmentation();
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), before + 1);
    EXPECT_EQ(m_view->m_pOutputImage, m_view->m_pResultImage);
    m_view->OnFileSave();
    // Red: class 3 (95), white: class 2 (63), halved.
    EXPECT_EQ(ReadBack("outb.raw"), (Bytes{2, 0, 0, 0, 1, 0, 0, 0, 47, 31}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(HostPath("outa.raw"))));
}

TEST_F(ReadAheadTest, OutputGoesWhenItAlwaysWentAndTheResultWhenItsOwnDropCame) {
    WriteSized("a.bmp", 2, 0);
    WriteSized("other.bmp", 2, 1);
    WriteText("set.lst", "3 " + m_dirSystemPath + " a.bmp a.bmp gone.bmp");
    struct Case {
        const char* what;
        std::function<void()> action;
        bool outputKept;
        bool resultKept;
    };
    const std::vector<Case> cases{
        {"page down", [this] { Key(Qt::Key_PageDown); }, false, false},
        {"file open cancelled", [this] { AnswerFileDialog(""); }, true, true},
        {"file open of another image", [this] { Open("other.bmp"); }, false, true},
        {"a second step", [this] { m_view->OnColorSegmentation(); }, true, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Open("set.lst");
        Idle();
        m_view->OnColorSegmentation();
        const BYTE* result = m_view->m_pResultImage.get();
        const std::size_t planes = AfxLiveBlockCount("vexlanview");
        test.action();
        EXPECT_EQ(m_view->m_pOutputImage != nullptr, test.outputKept);
        EXPECT_EQ(m_view->m_pResultImage != nullptr, test.resultKept);
        const bool sameResult = m_view->m_pResultImage.get() == result;
        if (test.resultKept && sameResult) {
            EXPECT_EQ(AfxLiveBlockCount("vexlanview"), planes);
        }
    }
    // Onto a missing entry: the load fails, and both go all the same.
    Key(Qt::Key_PageDown);
    m_view->OnColorSegmentation();
    Key(Qt::Key_PageDown);
    EXPECT_FALSE(m_view->m_pOutputImage);
    EXPECT_FALSE(m_view->m_pResultImage);
}

} // namespace
