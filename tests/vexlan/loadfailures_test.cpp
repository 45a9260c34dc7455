// What failed and hostile loads leave behind: never a result saved under another image's name,
// never a hang on a file that is not a regular one, never a set lost to a refusal.
#include "imagesetfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class LoadFailureTest : public ImageSetTest {
protected:
    // Opens a.bmp, segments it, then does step; File Save afterwards must write nothing.
    void ExpectNothingSavedAfter(const std::function<void()>& step) {
        WriteIndexed("a.bmp", 1);
        Open("a.bmp");
        m_view->OnColorSegmentation();
        ASSERT_TRUE(m_view->m_pOutputImage);
        step();
        m_view->OnFileSave();
        EXPECT_TRUE(QDir(m_dir.path()).entryList({"out*"}).isEmpty())
            << QDir(m_dir.path()).entryList({"out*"}).join(' ').toStdString();
    }
    // A list of a.bmp and entry, stepped onto entry.
    void StepOnto(const std::string& entry) {
        WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp " + entry);
        Open("set.lst");
        m_view->OnColorSegmentation();
        Key(Qt::Key_PageDown);
    }
    // A folder below the test folder whose path in the program's form has length characters.
    std::string FolderOfLength(std::size_t length) {
        const std::string name(length - m_dirSystemPath.size() - 1, 'f');
        QDir(m_dir.path()).mkdir(QString::fromStdString(name));
        return name;
    }
};

TEST_F(LoadFailureTest, ResultOfTheImageBeforeIsNeverSavedUnderAnotherName) {
    ASSERT_LE(120 - m_dirSystemPath.size(), 99u); // a name that fits its slot, not the path
    Bytes fourBit = MakeBitmap(8, 1, 8, Bytes(8, 0));
    fourBit[28] = 4;
    const std::vector<std::pair<std::string, std::function<void()>>> failures{
        {"missing entry", [&] { StepOnto("gone.bmp"); }},
        {"refused header",
         [&] {
             WriteText("empty.bmp", "");
             Open("empty.bmp");
         }},
        {"unsupported depth",
         [&] {
             Write("four.bmp", fourBit);
             StepOnto("four.bmp");
         }},
        {"path too long", [&] { StepOnto(std::string(120 - m_dirSystemPath.size(), 'n')); }},
        {"folder in the list",
         [&] {
             QDir(m_dir.path()).mkdir("sub.bmp");
             StepOnto("sub.bmp");
         }},
        {"another image opened",
         [&] {
             WriteIndexed("b.bmp", 2);
             Open("b.bmp");
         }},
    };
    for (const auto& [what, step] : failures) {
        SCOPED_TRACE(what);
        ExpectNothingSavedAfter(step);
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }
}

TEST_F(LoadFailureTest, SegmentingAgainAfterAFailedStepSavesNothing) {
    // The planes still hold a.bmp: their result must not become gone.bmp's file.
    ExpectNothingSavedAfter([&] {
        StepOnto("gone.bmp");
        m_view->OnColorSegmentation();
    });
    EXPECT_EQ(m_view->m_nCurrentFile, 1);
    EXPECT_TRUE(m_view->m_pResultImage); // shown beside the picture still on screen
}

TEST_F(LoadFailureTest, FilesThatAreNotRegularAreRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo(HostPath("fifo.bmp").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(HostPath("fifo.lst").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", HostPath("device.bmp").c_str()), 0);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("folder.bmp"));
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = HostPath("socket.bmp");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    WriteIndexed("cat.bmp", 1);
    for (const char* name : {"fifo.bmp", "device.bmp", "socket.bmp", "folder.bmp"}) {
        SCOPED_TRACE(name);
        Open("cat.bmp");
        m_messages.clear();
        // The file dialog walks into a folder instead of choosing it; a list can name one.
        if (QFileInfo(QString::fromStdString(HostPath(name))).isDir())
            Load(name);
        else
            Open(name);
        EXPECT_EQ(m_messages, std::vector<std::string>{"Cannot open the list file"});
        EXPECT_EQ(Title(), "cat.bmp");
    }
    m_messages.clear();
    Open("fifo.lst");
    EXPECT_EQ(m_messages, std::vector<std::string>{"列表文件 " + HostPath("fifo.lst") +
                                                   " 无法打开：不是普通文件。"});
    EXPECT_EQ(m_view->m_nFileCount, 0);
    close(listening);
}

TEST_F(LoadFailureTest, JoinedPathIsCheckedBeforeTheSetIsReplaced) {
    WriteIndexed("cat.bmp", 1);
    const std::string fits = FolderOfLength(113); // joined with "\a.bmp": 119 characters
    const std::string over = FolderOfLength(114);
    WriteIndexed(fits + "/a.bmp", 2);
    WriteIndexed(over + "/a.bmp", 2);

    Open(fits + "/a.bmp");
    EXPECT_EQ(Title(), "a.bmp");
    EXPECT_TRUE(m_messages.empty());

    Open("cat.bmp");
    const char* table = m_view->m_pFileNames.get();
    Open(over + "/a.bmp");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].find(HostPath(over + "/a.bmp")), std::string::npos) << m_messages[0];
    EXPECT_EQ(m_view->m_pFileNames.get(), table);
    EXPECT_EQ(Title(), "cat.bmp");
    EXPECT_STREQ(m_view->m_szDirectory, m_dirSystemPath.c_str());
}

TEST_F(LoadFailureTest, MessagesShowTheHostPathAndBothFormsOfADrivePath) {
    WriteText("empty.bmp", "");
    Open("empty.bmp");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0],
              "文件 " + HostPath("empty.bmp") + " 不是 Vexlan 能读取的位图：文件头太短。");

    WriteIndexed("cat.bmp", 1);
    Open("cat.bmp");
    m_view->OnColorSegmentation();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("outcat.raw"));
    m_messages.clear();
    m_view->OnFileSave();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(
        m_messages[0].find("无法保存结果文件 D:\\outcat.raw (" + HostPath("outcat.raw") + ")："),
        0u)
        << m_messages[0];
}

} // namespace
