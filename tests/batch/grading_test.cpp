// The teacher's bench end to end: a class of step sources graded against the teacher's own
// step (the equal, the off by one, the badly wrong, one that crashes on one image, one that
// loops and one that does not compile), every entry of the class folder accounted for, a
// regrade that takes again what has not changed, a stop that keeps what is done, the report in
// a real browser; result folders compared file by file, difference images, PNG copies of
// results, and results opened and exported in the program.
#include "batchcapture.h"
#include "childprogram.h"
#include "imagesetfixture.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <filesystem>
#include <regex>

namespace {

namespace fs = std::filesystem;

// An inverting step whose body ends with extra, the student's own mistake.
std::string InvertStep(const std::string& extra) {
    return "#include <vexlan/step.h>\n"
           "VEXLAN_STEP(invert, \"反色\", \"反色\") {\n"
           "    for (int y = 0; y < image->height; ++y)\n"
           "        for (int x = 0; x < image->width; ++x) {\n"
           "            unsigned char* out = &image->result[y * image->width + x];\n"
           "            *out = 255 - vexlan_gray_at(image, x, y);\n" +
           extra + "        }\n}\n";
}

// A step that writes value everywhere, of the given name.
std::string FillStep(const std::string& name, int value) {
    return "#include <vexlan/step.h>\n"
           "VEXLAN_STEP(" +
           name +
           ", \"填充\", \"填充\") {\n"
           "    for (int i = 0; i < image->width * image->height; ++i)\n"
           "        image->result[i] = " +
           std::to_string(value) + ";\n}\n";
}

Bytes RawFile(int width, int height, Bytes pixels) {
    Bytes file;
    for (const int field : {width, height})
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<BYTE>(static_cast<unsigned>(field) >> (8 * i)));
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

using Rows = std::vector<std::vector<std::string>>;

// The rows of a CSV file as a spreadsheet reads them, after the byte-order mark.
Rows CsvRows(const std::string& text) {
    Rows rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            field += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.back().push_back(std::exchange(field, {}));
        else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(std::exchange(field, {}));
            rows.emplace_back();
            ++i;
        } else
            field += c;
    }
    rows.pop_back();
    return rows;
}

// A row with its time column (a decimal number that differs from run to run) checked and
// blanked, so that the rest can be compared whole.
std::vector<std::string> WithoutTime(std::vector<std::string> row, std::size_t timeColumn) {
    if (timeColumn < row.size() && !row[timeColumn].empty()) {
        EXPECT_TRUE(std::regex_match(row[timeColumn], std::regex("[0-9]+\\.[0-9]{2}")))
            << row[timeColumn];
        row[timeColumn] = "T";
    }
    return row;
}

class GradingTest : public ImageSetTest, protected BatchCapture {
protected:
    void SetUp() override {
        ImageSetTest::SetUp();
        // The teacher's own step folder, which grading must leave alone.
        setenv("XDG_DATA_HOME", HostPath("teacher").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        ImageSetTest::TearDown();
    }
    void WriteSource(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(HostPath(name)).parent_path());
        WriteText(name, text);
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::vector<std::string> OutLines() const { return Lines(m_out); }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadBack(name);
        return std::string(bytes.begin(), bytes.end());
    }
    QRgb PngPixel(const std::string& name, int x, int y) const {
        return QImage(QString::fromStdString(HostPath(name))).pixel(x, y) & 0xFFFFFF;
    }
    // Three images, the first in a subfolder: sub\c.bmp black 4 × 4 (inverted: 255), a.bmp and
    // b.bmp gray 100 8 × 6 (inverted: 155).
    void WriteExercise() {
        fs::create_directories(HostPath("sub"));
        Write("sub/c.bmp", MakeBitmap(4, 4, 24, Bytes(4 * 4 * 3, 0)));
        for (const char* name : {"a.bmp", "b.bmp"})
            Write(name, MakeBitmap(8, 6, 24, Bytes(8 * 6 * 3, 100)));
        WriteText("set.lst", "3 " + m_dirSystemPath + " sub\\c.bmp a.bmp b.bmp");
        WriteSource("solution.cpp", InvertStep(""));
    }
    // vexlan-batch as a program of its own, as a teacher starts it.
    static void StartBatch(QProcess& batch, const QStringList& args) {
        batch.setProcessChannelMode(QProcess::SeparateChannels);
        batch.start(VEXLAN_BATCH_PROGRAM, args);
    }
};

TEST_F(GradingTest, EveryImageOfEveryStudentHasItsOutcomeInTheLinesAndBothTables) {
    WriteExercise();
    WriteSource("class/equal.cpp", InvertStep(""));
    WriteSource("class/onepixel.cpp", InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    WriteSource("class/border/median.cpp", InvertStep("            if (x == 0) *out = 0;\n"));
    WriteSource("class/crash.cpp",
                InvertStep("            if (image->width == 4) *(volatile int*)0 = 1;\n"));
    WriteSource(
        "class/loop.cpp",
        InvertStep("            if (image->width == 4) for (volatile int spin = 1; spin;) {}\n"));
    WriteSource("class/broken.cpp", InvertStep("            this is not C;\n"));
    WriteSource("class/subdiff.cpp",
                "#include <stdio.h>\n" +
                    InvertStep("            if (image->width == 4 && x == 0) *out = 0;\n"
                               "            if (x == 0 && y == 0) printf(\"width %d\\n\", "
                               "image->width);\n"));
    fs::create_directories(HostPath("class/nobody"));

    EXPECT_EQ(
        Batch({"grade", "-o", HostPath("run"), "--timeout", "3", "--csv", HostPath("grades.csv"),
               "--scores", HostPath("scores.csv"), "--points", "6", "--diff-dir", HostPath("diffs"),
               HostPath("solution.cpp"), HostPath("class"), HostPath("set.lst")}),
        1)
        << m_err;
    const std::string step = HostPath("run/students/");
    const std::string c = HostPath("sub/c.bmp");
    const std::vector<std::string> lines = OutLines();
    ASSERT_EQ(lines.size(), 9u) << m_out;
    const std::string startsWith[] = {
        "border：已编译，3 个图像中 0 个相同，3 个不同（最大差 255，最低 PSNR 6.02 dB）；得分 "
        "0（满分 6）",
        "broken：没有编译成功：" + HostPath("class/broken.cpp") + ":7:",
        "crash：已编译，3 个图像中 2 个相同，1 个运行出错（[1/3] 步骤 " + step +
            "crash/step/vexlan/steps/crash.so 处理 " + c + " 时出错：",
        "equal：已编译，3 个图像中 3 个相同；得分 6（满分 6）",
        "loop：已编译，3 个图像中 2 个相同，1 个超时（[1/3] 步骤 " + step +
            "loop/step/vexlan/steps/loop.so 处理 " + c + " 超时，已被结束）；得分 4（满分 6）",
        "nobody：未评分：文件夹中没有步骤源文件（.c、.cpp、.cc 或 .cxx）",
        "onepixel：已编译，3 个图像中 0 个相同，3 个不同（最大差 1，最低 PSNR 60.17 dB）；得分 "
        "0（满分 6）",
        "subdiff：已编译，3 个图像中 2 个相同，1 个不同（最大差 255，最低 PSNR 6.02 dB）；得分 "
        "4（满分 6）",
        "共 8 名学生：相同 1 名，不同 3 名，运行出错 1 名，超时 1 名，没有编译成功 1 名，未评分 1 "
        "名。"};
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(startsWith[i], 0), 0u) << lines[i] << "\n" << startsWith[i];
    EXPECT_NE(lines[1].find("error"), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("；得分 0（满分 6）")) << lines[1];
    EXPECT_TRUE(lines[2].ends_with("；得分 4（满分 6）")) << lines[2];

    // One row per student and image, in the list's order; the time of each image in column 10.
    const Rows images = CsvRows(Text("grades.csv"));
    ASSERT_EQ(images.size(), 1u + 6 * 3 + 2) << Text("grades.csv");
    EXPECT_EQ(images[0],
              (std::vector<std::string>{"学生", "图像", "结果", "宽", "高", "不同像素", "最大差",
                                        "PSNR", "容差", "用时（秒）", "说明"}));
    const auto row = [&](std::size_t i) { return WithoutTime(images[i], 9); };
    using Row = std::vector<std::string>;
    EXPECT_EQ(row(1), (Row{"border", "sub\\c.bmp", "不同", "4", "4", "4", "255", "6.02", "0", "T",
                           HostPath("diffs/border/outsub/c.png")}));
    EXPECT_EQ(row(2), (Row{"border", "a.bmp", "不同", "8", "6", "6", "155", "13.36", "0", "T",
                           HostPath("diffs/border/outa.png")}));
    EXPECT_EQ(row(4)[0] + row(4)[2] + row(4)[6], "broken没有编译成功");
    EXPECT_EQ(row(5).size(), 11u);
    EXPECT_EQ(row(5)[2], "运行出错");
    EXPECT_EQ(row(5)[10].rfind("[1/3] 步骤 ", 0), 0u) << row(5)[10];
    EXPECT_EQ(row(6), (Row{"crash", "a.bmp", "相同", "8", "6", "0", "0", "inf", "0", "T", ""}));
    EXPECT_EQ(row(11)[2] + row(12)[2] + row(13)[2], "超时相同相同");
    EXPECT_EQ(row(14), (Row{"nobody", "", "未评分", "", "", "", "", "", "0", "",
                            "文件夹中没有步骤源文件（.c、.cpp、.cc 或 .cxx）"}));
    EXPECT_EQ(row(16), (Row{"onepixel", "a.bmp", "不同", "8", "6", "1", "1", "64.94", "0", "T",
                            HostPath("diffs/onepixel/outa.png")}));
    EXPECT_EQ(row(18), (Row{"subdiff", "sub\\c.bmp", "不同", "4", "4", "4", "255", "6.02", "0", "T",
                            HostPath("diffs/subdiff/outsub/c.png")}));

    // One row per student: status, equal images, worst difference, lowest PSNR, time, points.
    const Rows scores = CsvRows(Text("scores.csv"));
    ASSERT_EQ(scores.size(), 9u) << Text("scores.csv");
    EXPECT_EQ(scores[0], (Row{"学生", "状态", "相同图像", "图像数", "最大差", "最低 PSNR",
                              "用时（秒）", "得分", "说明"}));
    const auto score = [&](std::size_t i) { return WithoutTime(scores[i], 6); };
    EXPECT_EQ(score(1), (Row{"border", "不同", "0", "3", "255", "6.02", "T", "0", ""}));
    EXPECT_EQ(score(2)[1] + score(2)[7], "没有编译成功0");
    EXPECT_EQ(score(3), (Row{"crash", "运行出错", "2", "3", "0", "", "T", "4", ""}));
    EXPECT_EQ(score(4), (Row{"equal", "相同", "3", "3", "0", "", "T", "6", ""}));
    EXPECT_EQ(score(5), (Row{"loop", "超时", "2", "3", "0", "", "T", "4", ""}));
    EXPECT_EQ(score(6), (Row{"nobody", "未评分", "", "", "", "", "", "",
                             "文件夹中没有步骤源文件（.c、.cpp、.cc 或 .cxx）"}));
    EXPECT_EQ(score(7), (Row{"onepixel", "不同", "0", "3", "1", "60.17", "T", "0", ""}));
    EXPECT_EQ(score(8), (Row{"subdiff", "不同", "2", "3", "255", "6.02", "T", "4", ""}));

    // Dark gray where the planes agree, red by the size of the difference where they do not.
    EXPECT_EQ(PngPixel("diffs/onepixel/outa.png", 0, 0), qRgb(64, 64, 64) & 0xFFFFFF);
    EXPECT_EQ(PngPixel("diffs/onepixel/outa.png", 1, 2), qRgb(96, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(PngPixel("diffs/border/outb.png", 0, 5), qRgb(192, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(PngPixel("diffs/subdiff/outsub/c.png", 0, 3), qRgb(255, 0, 0) & 0xFFFFFF);
    EXPECT_FALSE(fs::exists(HostPath("diffs/equal")));

    // Each student's build, results and log apart, the reference's apart from all of them.
    EXPECT_EQ(ReadBack("run/students/equal/results/outsub/c.raw"),
              ReadBack("run/reference/results/outsub/c.raw"));
    EXPECT_NE(Text("run/students/broken/log.txt").find("this is not C"), std::string::npos);
    EXPECT_FALSE(fs::exists(HostPath("teacher")));
    // The log names a time-out as one, and its commands can be pasted.
    const std::vector<std::string> loopLog = Lines(Text("run/students/loop/log.txt"));
    ASSERT_EQ(loopLog.size(), 7u) << Text("run/students/loop/log.txt");
    EXPECT_EQ(loopLog[2].rfind("$ '" + std::string(VEXLAN_BATCH_PROGRAM) + "' '-o' '" + step +
                                   "loop/results' '--timeout' '3' '--' '",
                               0),
              0u)
        << loopLog[2];
    EXPECT_TRUE(loopLog[3].ends_with("超时，已被结束")) << loopLog[3];
    // What a step prints stands before the runner's line for its image.
    const std::vector<std::string> printed = Lines(Text("run/students/subdiff/log.txt"));
    ASSERT_EQ(printed.size(), 10u);
    EXPECT_EQ(printed[3] + "|" + printed[4].substr(0, 6) + "|" + printed[5] + "|" +
                  printed[6].substr(0, 6) + "|" + printed[7] + "|" + printed[8].substr(0, 6),
              "width 4|[1/3] |width 8|[2/3] |width 8|[3/3] ");

    // Against a folder of results, within a tolerance of 1, the pixel off by one passes, and a
    // folder of two sources is named with the reason.
    WriteSource("class2/onepixel.cpp",
                InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    WriteSource("class2/two/a.cpp", InvertStep(""));
    WriteSource("class2/two/b.cpp", InvertStep(""));
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--tolerance", "1",
                     HostPath("run/reference/results"), HostPath("class2"), HostPath("set.lst")}),
              1);
    EXPECT_EQ(m_out, "onepixel：已编译，3 个图像中 3 个相同（其中 3 个容差内相同）\n"
                     "two：未评分：文件夹中有 2 个源文件，应只有一个\n"
                     "共 2 名学生：相同 1 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 "
                     "名，未评分 1 名。\n");
}

// The reference decides what can be graded at all: one that does not build, or a folder of
// results without one of the list's images, stops the grade with status 2; a table that cannot
// be written makes it 1; a step slower than a second passes within the default limit.
TEST_F(GradingTest, WhatTheStatusSays) {
    WriteExercise();
    WriteSource("class/slow.cpp",
                "#include <unistd.h>\n" +
                    InvertStep("            if (x == 0 && y == 0 && image->width == 8) "
                               "usleep(1500000);\n"));
    WriteSource("broken.cpp", InvertStep("            this is not C;\n"));
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), HostPath("broken.cpp"), HostPath("class"),
                     HostPath("set.lst")}),
              2);
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(
        m_err.rfind("vexlan-batch：参考步骤 " + HostPath("broken.cpp") + " 没有编译成功：", 0), 0u)
        << m_err;

    fs::create_directories(HostPath("partial"));
    Write("partial/outa.raw", RawFile(1, 1, {1}));
    Write("partial/outb.raw", RawFile(1, 1, {1}));
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), HostPath("partial"), HostPath("class"),
                     HostPath("set.lst")}),
              2);
    EXPECT_EQ(m_err,
              "vexlan-batch：参考文件夹 " + HostPath("partial") + " 中没有 outsub/c.raw。\n");

    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--csv", HostPath("nowhere/grades.csv"),
                     HostPath("solution.cpp"), HostPath("class"), HostPath("set.lst")}),
              1);
    EXPECT_EQ(m_out.rfind("slow：已编译，3 个图像中 3 个相同\n", 0), 0u) << m_out;
    EXPECT_EQ(m_err.rfind("vexlan-batch：无法写出表格 " + HostPath("nowhere/grades.csv"), 0), 0u)
        << m_err;
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), HostPath("solution.cpp"), HostPath("class"),
                     HostPath("set.lst")}),
              0);

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"grade", "-o", HostPath("run"), "--points", "0", HostPath("solution.cpp"),
              HostPath("class"), HostPath("set.lst")},
             {"grade", "-o", HostPath("run"), "--only", "nobody", HostPath("solution.cpp"),
              HostPath("class"), HostPath("set.lst")},
             {"grade", "-o", HostPath("run"), HostPath("solution.cpp"), HostPath("class"),
              HostPath("missing.lst")},
             {"compare", "--only", "slow", HostPath("run"), HostPath("run")},
             {"grade", "-o", HostPath("run"), "--tolerance", "-1", HostPath("solution.cpp"),
              HostPath("class"), HostPath("set.lst")}})
        EXPECT_EQ(Batch(wrong), 2) << wrong[3];
}

// Every entry of the class folder has a line: sources of every ending are graded, a step named
// like a built-in one too, and what cannot be graded is named with the reason. The status is
// not 0 while an entry was not graded.
TEST_F(GradingTest, EveryEntryOfTheClassFolderGetsALine) {
    WriteExercise();
    WriteSource("class/alice.CPP", InvertStep(""));
    WriteSource("class/bob.cc", InvertStep(""));
    WriteSource("class/carol.cxx", InvertStep(""));
    WriteSource("class/dave.c", InvertStep(""));
    WriteSource("class/.hidden.cpp", InvertStep(""));
    WriteSource("class/..cpp", InvertStep(""));
    WriteSource("class/notes.txt", "hello");
    WriteSource("class/new\nline.cpp", InvertStep(""));
    WriteSource("class/erin.cpp", InvertStep(""));
    WriteSource("class/erin.cc", InvertStep(""));
    WriteSource("outside.cpp", InvertStep(""));
    fs::create_symlink(HostPath("outside.cpp"), HostPath("class/link.cpp"));
    fs::create_directories(HostPath("class/frank"));
    fs::create_symlink(HostPath("outside.cpp"), HostPath("class/frank/frank.cpp"));
    // Named like the built-in segmentation, inverting all the same.
    std::string segment = InvertStep("");
    segment.replace(segment.find("invert"), 6, "segment");
    WriteSource("class/segment.cpp", segment);

    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), HostPath("solution.cpp"), HostPath("class"),
                     HostPath("set.lst")}),
              1)
        << m_err;
    EXPECT_EQ(m_out,
              "..cpp：未评分：隐藏的文件或文件夹，不评分\n"
              ".hidden.cpp：未评分：隐藏的文件或文件夹，不评分\n"
              "alice：已编译，3 个图像中 3 个相同\n"
              "bob：已编译，3 个图像中 3 个相同\n"
              "carol：已编译，3 个图像中 3 个相同\n"
              "dave：已编译，3 个图像中 3 个相同\n"
              "erin.cc：未评分：同一名学生有几个源文件（erin.cc、erin.cpp），应只有一个\n"
              "erin.cpp：未评分：同一名学生有几个源文件（erin.cc、erin.cpp），应只有一个\n"
              "frank：未评分：源文件是指向学生文件夹之外的符号链接，不跟随\n"
              "link.cpp：未评分：是指向学生文件夹之外的符号链接，不跟随\n"
              "new\\nline.cpp：未评分：名称中有换行符或其他控制字符，成绩的行和表格无法表示它，"
              "请改名\n"
              "notes.txt：未评分：不是步骤源文件（.c、.cpp、.cc 或 .cxx）\n"
              "segment：已编译，3 个图像中 3 个相同\n"
              "共 13 名学生：相同 5 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 名，"
              "未评分 8 名。\n");

    // Names that a spreadsheet would run as formulas stay text.
    fs::remove_all(HostPath("class"));
    WriteSource("class/=HYPERLINK(\"x\").cpp", InvertStep(""));
    WriteSource("class/@SUM(1).cpp", "broken");
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--csv", HostPath("grades.csv"),
                     HostPath("solution.cpp"), HostPath("class"), HostPath("set.lst")}),
              1);
    const std::string csv = Text("grades.csv");
    EXPECT_NE(csv.find("\r\n\"'=HYPERLINK(\"\"x\"\")\",sub\\c.bmp,相同,"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n'@SUM(1),,没有编译成功,"), std::string::npos) << csv;
}

// A regrade builds and runs only what changed: the unchanged student's line says so, the
// results are those of the first grade, and changing the tolerance takes effect at once.
// --only NAME builds and runs that student again whatever; the others are taken as they were
// when nothing changed, else not graded.
TEST_F(GradingTest, ARegradeTakesAgainWhatHasNotChanged) {
    WriteExercise();
    WriteSource("class/ann.cpp", InvertStep(""));
    WriteSource("class/ben.cpp", InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    const std::vector<std::string> grade = {"grade",
                                            "-o",
                                            HostPath("run"),
                                            "--scores",
                                            HostPath("scores.csv"),
                                            HostPath("solution.cpp"),
                                            HostPath("class"),
                                            HostPath("set.lst")};
    ASSERT_EQ(Batch(grade), 1) << m_err;
    const auto annStamp = fs::last_write_time(HostPath("run/students/ann/results/outa.raw"));

    WriteSource("class/ben.cpp", InvertStep(""));
    EXPECT_EQ(Batch(grade), 0) << m_err;
    EXPECT_EQ(m_out, "ann：已编译（未改变，沿用上次结果），3 个图像中 3 个相同\n"
                     "ben：已编译，3 个图像中 3 个相同\n"
                     "共 2 名学生：相同 2 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 "
                     "名。\n");
    EXPECT_EQ(fs::last_write_time(HostPath("run/students/ann/results/outa.raw")), annStamp);
    EXPECT_NE(Text("scores.csv").find("\r\nann,相同,3,3,0,,"), std::string::npos);
    EXPECT_NE(Text("scores.csv").find(",未改变，沿用上次结果\r\n"), std::string::npos);

    WriteSource("class/ben.cpp", InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    std::vector<std::string> onlyAnn = grade;
    onlyAnn.insert(onlyAnn.begin() + 1, {"--only", "ann", "--tolerance", "1"});
    EXPECT_EQ(Batch(onlyAnn), 1) << m_err;
    EXPECT_EQ(m_out, "ann：已编译，3 个图像中 3 个相同\n"
                     "ben：未评分：不在 --only 之列，而上次评分之后它或练习已改变（或从未评分）\n"
                     "共 2 名学生：相同 1 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 "
                     "名，未评分 1 名。\n");
    EXPECT_NE(fs::last_write_time(HostPath("run/students/ann/results/outa.raw")), annStamp);

    // A changed image is a changed exercise: every student is built and run again. A kept
    // record that cannot be read is no record.
    Write("a.bmp", MakeBitmap(8, 6, 24, Bytes(8 * 6 * 3, 90)));
    WriteText("run/students/ann/record.txt", "vexlan-grade-record 1\nkey");
    std::vector<std::string> tolerant = grade;
    tolerant.insert(tolerant.begin() + 1, {"--tolerance", "1"});
    EXPECT_EQ(Batch(tolerant), 0) << m_err;
    EXPECT_EQ(m_out, "ann：已编译，3 个图像中 3 个相同\n"
                     "ben：已编译，3 个图像中 3 个相同（其中 3 个容差内相同）\n"
                     "共 2 名学生：相同 2 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 "
                     "名。\n");
    EXPECT_EQ(Batch(tolerant), 0);
    EXPECT_EQ(OutLines()[1],
              "ben：已编译（未改变，沿用上次结果），3 个图像中 3 个相同（其中 3 个容差内相同）");
}

// Ctrl+C in the middle of a grade: the students done by then are reported and in both tables,
// the others not graded, and the status is the shell's for the signal.
TEST_F(GradingTest, AStopSignalKeepsWhatIsGraded) {
    WriteExercise();
    WriteSource("class/aaron.cpp", InvertStep(""));
    WriteSource("class/zoe.cpp", InvertStep("            for (volatile int spin = 1; spin;) {}\n"));
    QProcess batch;
    StartBatch(batch, {"grade", "-o", QString::fromStdString(HostPath("run")), "--timeout", "600",
                       "--csv", QString::fromStdString(HostPath("grades.csv")), "--scores",
                       QString::fromStdString(HostPath("scores.csv")),
                       QString::fromStdString(HostPath("solution.cpp")),
                       QString::fromStdString(HostPath("class")),
                       QString::fromStdString(HostPath("set.lst"))});
    ASSERT_TRUE(batch.waitForStarted());
    std::string out;
    while (out.find("aaron：") == std::string::npos && batch.waitForReadyRead(120000))
        out += batch.readAllStandardOutput().toStdString();
    ASSERT_NE(out.find("aaron："), std::string::npos) << out;
    // zoe's step spins on its first image until the grade is stopped.
    while (!fs::exists(HostPath("run/students/zoe/step/vexlan/steps/zoe.so")) &&
           batch.state() == QProcess::Running)
        batch.waitForFinished(50);
    kill(static_cast<pid_t>(batch.processId()), SIGINT);
    ASSERT_TRUE(batch.waitForFinished(120000));
    EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(batch.exitCode(), 130);
    out += batch.readAllStandardOutput().toStdString();
    EXPECT_EQ(out, "aaron：已编译，3 个图像中 3 个相同\n"
                   "zoe：未评分：评分被中断\n"
                   "共 2 名学生：相同 1 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 0 "
                   "名，未评分 1 名。\n");
    EXPECT_NE(batch.readAllStandardError().toStdString().find(
                  "vexlan-batch：收到 SIGINT，评完 1/2 名学生后停止；没有评完的记为未评分。\n"),
              std::string::npos);
    EXPECT_EQ(CsvRows(Text("grades.csv")).size(), 1u + 3 + 1);
    EXPECT_NE(Text("scores.csv").find("\r\nzoe,未评分,,,,,,评分被中断\r\n"), std::string::npos);
    // Nothing of zoe's run is kept as done: the next grade builds and runs her again.
    EXPECT_FALSE(fs::exists(HostPath("run/students/zoe/record.txt")));
}

// Difference images are encoded on the grading threads; the program ends cleanly all the same,
// run after run, and, where valgrind can watch it, without a single access to freed memory:
// the toolkit's state must not belong to a worker that ends before the program.
TEST_F(GradingTest, GradingWithDifferenceImagesNeverAborts) {
    WriteExercise();
    for (const char* name : {"class/a.cpp", "class/b.cpp", "class/c.cpp", "class/d.cpp"})
        WriteSource(name, InvertStep("            if (x == 0) *out = 1;\n"));
    const QStringList grade = {"grade",
                               "-o",
                               QString::fromStdString(HostPath("run")),
                               "--diff-dir",
                               QString::fromStdString(HostPath("diffs")),
                               QString::fromStdString(HostPath("solution.cpp")),
                               QString::fromStdString(HostPath("class")),
                               QString::fromStdString(HostPath("set.lst"))};
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        QProcess batch;
        StartBatch(batch, grade);
        ASSERT_TRUE(batch.waitForFinished(300000));
        EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(batch.exitCode(), 1) << batch.readAllStandardError().toStdString();
        EXPECT_TRUE(fs::exists(HostPath("diffs/d/outsub/c.png")));
    }
// valgrind cannot watch a program built with a sanitizer, which watches it itself.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const QString valgrind = QStandardPaths::findExecutable("valgrind");
    ASSERT_FALSE(valgrind.isEmpty())
        << "valgrind is not installed (scripts/install-deps installs it)";
    QProcess watched;
    watched.setProcessChannelMode(QProcess::MergedChannels);
    watched.start(valgrind, QStringList{"-q", "--error-exitcode=99", VEXLAN_BATCH_PROGRAM} + grade);
    ASSERT_TRUE(watched.waitForFinished(300000));
    EXPECT_EQ(watched.exitCode(), 1) << watched.readAll().toStdString();
#endif
}

TEST_F(GradingTest, EveryKindOfResultFileHasItsOwnLine) {
    const Bytes pixels = {10, 20, 30, 40};
    for (const char* folder : {"ref", "good", "mixed"})
        fs::create_directory(HostPath(folder));
    for (const char* name : {"outa", "outb", "outc", "outd", "oute", "outf", "outg"})
        Write("ref/" + std::string(name) + ".raw", RawFile(2, 2, pixels));
    Write("good/outa.raw", RawFile(2, 2, pixels));
    Write("mixed/outa.raw", RawFile(2, 2, pixels));
    Write("mixed/outb.raw", RawFile(2, 2, {10, 20, 30, 43}));
    Write("mixed/outd.raw", RawFile(4, 1, pixels));
    Write("mixed/oute.raw", Bytes{2, 0, 0, 0, 2});
    Bytes cutOff = RawFile(2, 2, pixels);
    cutOff.pop_back();
    Write("mixed/outf.raw", cutOff);
    Write("mixed/outg.raw", RawFile(-1, 2, {}));
    const std::string mixed = HostPath("mixed");
    struct Row {
        const char* tolerance;
        const char* outb;
    } rows[] = {{"0", "不同：1 个像素不同，最大差 3，PSNR 44.61 dB"},
                {"3", "相同（在容差之内），最大差 3，PSNR 44.61 dB"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tolerance);
        EXPECT_EQ(Batch({"compare", "--tolerance", row.tolerance, HostPath("ref"), mixed}), 1);
        EXPECT_EQ(m_out, mixed + "/outa.raw：相同\n" + mixed + "/outb.raw：" + row.outb + "\n" +
                             mixed + "/outc.raw：缺少\n" + mixed +
                             "/outd.raw：尺寸不同：参考是 2×2，这里是 4×1\n" + mixed +
                             "/oute.raw：损坏：文件头不完整：只有 5 字节\n" + mixed +
                             "/outf.raw：损坏：2×2 的结果文件应有 12 字节，实际是 11 字节\n" +
                             mixed + "/outg.raw：损坏：文件头损坏：宽 -1，高 2\n" + mixed +
                             "：共 7 个图像：相同 " + (row.tolerance[0] == '0' ? "1" : "2") +
                             " 个，不同 " + (row.tolerance[0] == '0' ? "1" : "0") +
                             " 个，缺少 1 个，尺寸不同 1 个，损坏 3 个。\n");
    }
    for (const char* name : {"outb", "outc", "outd", "oute", "outf", "outg"})
        Write("good/" + std::string(name) + ".raw", RawFile(2, 2, pixels));
    EXPECT_EQ(Batch({"compare", "--csv", HostPath("t.csv"), HostPath("ref"), HostPath("good")}), 0);
    EXPECT_EQ(std::ranges::count(ReadBack("t.csv"), '\n'), 8);
    EXPECT_EQ(
        Batch({"compare", "--csv", HostPath("nowhere/t.csv"), HostPath("ref"), HostPath("good")}),
        1);

    // Folders of one name get difference folders of their own; a comma or a quote in a name is
    // quoted, a name a spreadsheet would take for a formula kept as text.
    fs::create_directories(HostPath("b/mixed"));
    fs::create_directories(HostPath("c,d"));
    fs::copy_file(HostPath("mixed/outb.raw"), HostPath("b/mixed/outb.raw"));
    EXPECT_EQ(Batch({"compare", "--diff-dir", HostPath("diffs"), "--csv", HostPath("t.csv"),
                     HostPath("ref"), mixed, HostPath("b/mixed"), HostPath("c,d"), "--", "-e\"f"}),
              1);
    EXPECT_TRUE(fs::exists(HostPath("diffs/mixed/outb.png")));
    EXPECT_TRUE(fs::exists(HostPath("diffs/mixed-2/outb.png")));
    const std::string csv = Text("t.csv");
    EXPECT_NE(csv.find("\r\n\"" + HostPath("c,d") + "\",outa.raw,缺少,,,,,,0,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n\"'-e\"\"f\",outa.raw,缺少,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",outb.raw,不同,2,2,1,3,44.61,0,"), std::string::npos) << csv;

    const std::vector<std::string> wrong[] = {
        {"compare", HostPath("ref")},
        {"compare", "--tolerance", "256", HostPath("ref"), mixed},
        {"compare", "--tolerance", "-1", HostPath("ref"), mixed},
        {"compare", "--png", HostPath("ref"), mixed},
        {"compare", HostPath("nothing"), mixed},
        {"grade", HostPath("ref"), HostPath("class")},
        {"--tolerance", "1", "segment", HostPath("x.bmp")}};
    for (const std::vector<std::string>& args : wrong)
        EXPECT_EQ(Batch(args), kBatchUsageError) << args[1];
    EXPECT_EQ(AfxLiveBlockCount("rawresultfile"), 0u);
}

// Sizes are compared whole: a result of the reference's width but more rows, or of its height
// but more columns, differs in size, and is never compared pixel by pixel past the reference's
// end. A result the window could not hold is damaged, as an image of its size would be refused.
TEST_F(GradingTest, AResultOfAnotherHeightOrWidthDiffersInSize) {
    fs::create_directory(HostPath("ref"));
    fs::create_directory(HostPath("other"));
    const Bytes four = {10, 20, 30, 40};
    for (const char* name : {"outtall", "outwide", "outempty"})
        Write("ref/" + std::string(name) + ".raw", RawFile(2, 2, four));
    Write("other/outtall.raw", RawFile(2, 3, {10, 20, 30, 40, 50, 60}));
    Write("other/outwide.raw", RawFile(3, 2, {10, 20, 30, 40, 50, 60}));
    Write("other/outempty.raw", RawFile(0, 0, {}));
    EXPECT_EQ(Batch({"compare", HostPath("ref"), HostPath("other")}), 1);
    const std::string other = HostPath("other");
    EXPECT_EQ(m_out, other + "/outempty.raw：损坏：尺寸 0 × 0 像素，没有一个像素\n" + other +
                         "/outtall.raw：尺寸不同：参考是 2×2，这里是 2×3\n" + other +
                         "/outwide.raw：尺寸不同：参考是 2×2，这里是 3×2\n" + other +
                         "：共 3 个图像：相同 0 个，不同 0 个，缺少 0 个，尺寸不同 2 个，损坏 1 "
                         "个。\n");
}

// Every result the runner writes is compared, in its subfolders too, and only those: another
// .raw file is no result. The status is 1 when any folder differs, wherever it stands; a
// damaged reference file counts as damaged; a size that differs in one side only is a size
// that differs.
TEST_F(GradingTest, CompareTakesEveryResultAndOnlyResults) {
    const Bytes pixels = {10, 20, 30, 40};
    for (const char* folder : {"ref/outsub", "same/outsub", "zeroed/outsub"})
        fs::create_directories(HostPath(folder));
    for (const char* name : {"ref/outa.raw", "ref/outsub/kitten.raw", "same/outa.raw",
                             "same/outsub/kitten.raw", "zeroed/outa.raw"})
        Write(name, RawFile(2, 2, pixels));
    Write("zeroed/outsub/kitten.raw", RawFile(2, 2, {0, 0, 0, 0}));
    Write("ref/notes.raw", RawFile(1, 1, {1}));
    const std::string same = HostPath("same");
    const std::string zeroed = HostPath("zeroed");
    EXPECT_EQ(Batch({"compare", HostPath("ref"), zeroed, same}), 1);
    EXPECT_EQ(m_out,
              zeroed + "/outa.raw：相同\n" + zeroed +
                  "/outsub/kitten.raw：不同：4 个像素不同，最大差 40，PSNR 19.38 dB\n" + zeroed +
                  "：共 2 个图像：相同 1 个，不同 1 个，缺少 0 个，尺寸不同 0 个，损坏 0 个。\n" +
                  same + "/outa.raw：相同\n" + same + "/outsub/kitten.raw：相同\n" + same +
                  "：共 2 个图像：相同 2 个，不同 0 个，缺少 0 个，尺寸不同 0 个，损坏 0 个。\n");
    EXPECT_EQ(Batch({"compare", HostPath("ref"), same}), 0);

    Write("same/outsub/kitten.raw", RawFile(2, 1, {10, 20}));
    Write("ref/outa.raw", RawFile(2, 2, {10, 20, 30}));
    EXPECT_EQ(Batch({"compare", HostPath("ref"), same}), 1);
    EXPECT_EQ(m_out,
              same + "/outa.raw：参考损坏：2×2 的结果文件应有 12 字节，实际是 11 字节\n" + same +
                  "/outsub/kitten.raw：尺寸不同：参考是 2×2，这里是 2×1\n" + same +
                  "：共 2 个图像：相同 0 个，不同 0 个，缺少 0 个，尺寸不同 1 个，损坏 1 个。\n");
}

// The report, loaded in a real browser: the summary and one row per student in name order,
// and for each image that differs the input, the reference, the student's result and the
// difference side by side, the 4 × 4 image enlarged into blocks of exact values.
TEST_F(GradingTest, TheReportShowsEveryStudentAndTheirImagesInABrowser) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    Bytes blue; // blue, green, red
    for (int i = 0; i < 16; ++i)
        blue.insert(blue.end(), {255, 0, 0});
    Write("blue.bmp", MakeBitmap(4, 4, 24, blue));
    WriteText("set.lst", "1 " + m_dirSystemPath + " blue.bmp");
    WriteSource("solution.cpp", FillStep("fill", 200));
    WriteSource("class/anna.cpp", FillStep("fill", 10));
    WriteSource("class/bert.cpp", FillStep("fill", 120));
    WriteSource("class/carl.cpp", FillStep("fill", 200));
    ASSERT_EQ(Batch({"grade", "-o", HostPath("run"), "--report", HostPath("report.html"),
                     HostPath("solution.cpp"), HostPath("class"), HostPath("set.lst")}),
              1)
        << m_err;

    // Through the runner's own way of starting a program: the toolkit's process start is
    // one that ThreadSanitizer cannot follow, and it would leave the grading after it
    // reported as racing.
    const auto browse = [&](const std::string& what) {
        const std::string page = HostPath("browser.out");
        const std::string command =
            "exec \"$0\" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
            "--disable-background-networking --disable-component-update --disable-sync "
            "--force-device-scale-factor=1 --hide-scrollbars "
            "--run-all-compositor-stages-before-draw --virtual-time-budget=5000 "
            "--window-size=1000,1200 --user-data-dir=\"$1\" " +
            what + " \"file://$2\" >\"$3\" 2>/dev/null";
        const CChildProgramEnd end =
            RunChildProgram({"/bin/sh", "-c", command, chromium.toStdString(), HostPath("browser"),
                             HostPath("report.html"), page},
                            {}, [](const std::string&) {}, {.seconds = 120});
        EXPECT_EQ(end.cause, CChildProgramEnd::Cause::Ended);
        const Bytes bytes = ReadBack("browser.out");
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string dom = browse("--dump-dom");
    const std::regex row(
        "<tr data-student=\"([a-z]+)\"><td><a [^>]*>[a-z]+</a></td><td>([^<]*)</td>");
    std::vector<std::string> rows;
    for (std::sregex_iterator match(dom.begin(), dom.end(), row), end; match != end; ++match)
        rows.push_back((*match)[1].str() + "|" + (*match)[2].str());
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "anna|anna：已编译，1 个图像中 0 个相同，1 个不同（最大差 190，最低 PSNR "
                        "2.56 dB）",
                        "bert|bert：已编译，1 个图像中 0 个相同，1 个不同（最大差 80，最低 PSNR "
                        "10.07 dB）",
                        "carl|carl：已编译，1 个图像中 1 个相同"}))
        << dom;
    EXPECT_NE(dom.find("共 3 名学生：相同 1 名，不同 2 名"), std::string::npos);
    std::size_t figures = 0;
    for (std::size_t at = 0; (at = dom.find("<figure>", at)) != std::string::npos; ++at)
        ++figures;
    EXPECT_EQ(figures, 8u);
    EXPECT_EQ(dom.find("http"), std::string::npos);

    browse("--screenshot=\"" + HostPath("shot.png") + "\"");
    const QImage shot(QString::fromStdString(HostPath("shot.png")));
    ASSERT_FALSE(shot.isNull());
    const auto colour = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < shot.width() && y < shot.height()
                   ? shot.pixel(x, y) & 0xFFFFFF
                   : 0xFFFFFFFFu;
    };
    // The top-left corners of the 64 × 64 squares of one colour, edges sharp: 4 × 4 pixels
    // enlarged 16 times, not one pixel blended with its neighbours.
    const auto blocks = [&](QRgb wanted) {
        wanted &= 0xFFFFFF;
        std::vector<QPoint> corners;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                if (colour(x, y) != wanted || colour(x - 1, y) == wanted ||
                    colour(x, y - 1) == wanted)
                    continue;
                bool whole = colour(x + 64, y) != wanted && colour(x, y + 64) != wanted;
                for (int i = 0; i < 64 * 64 && whole; ++i)
                    whole = colour(x + i % 64, y + i / 64) == wanted;
                if (whole)
                    corners.emplace_back(x, y);
            }
        return corners;
    };
    const std::vector<QPoint> anna = blocks(qRgb(10, 10, 10));
    const std::vector<QPoint> bert = blocks(qRgb(120, 120, 120));
    const std::vector<QPoint> input = blocks(qRgb(0, 0, 255));
    const std::vector<QPoint> reference = blocks(qRgb(200, 200, 200));
    const std::vector<QPoint> annaDifference = blocks(qRgb(96 + 159 * 190 / 255, 0, 0));
    const std::vector<QPoint> bertDifference = blocks(qRgb(96 + 159 * 80 / 255, 0, 0));
    ASSERT_EQ(anna.size(), 1u);
    ASSERT_EQ(bert.size(), 1u);
    ASSERT_EQ(input.size(), 2u);
    ASSERT_EQ(reference.size(), 2u);
    ASSERT_EQ(annaDifference.size(), 1u);
    ASSERT_EQ(bertDifference.size(), 1u);
    // Rows in name order; in each, input, reference, result and difference from left to right.
    EXPECT_LT(anna[0].y(), bert[0].y());
    for (const auto& [row, result, difference] :
         {std::tuple(0, anna[0], annaDifference[0]), std::tuple(1, bert[0], bertDifference[0])}) {
        const std::size_t i = static_cast<std::size_t>(row);
        EXPECT_EQ(input[i].y(), result.y());
        EXPECT_EQ(reference[i].y(), result.y());
        EXPECT_EQ(difference.y(), result.y());
        EXPECT_LT(input[i].x(), reference[i].x());
        EXPECT_LT(reference[i].x(), result.x());
        EXPECT_LT(result.x(), difference.x());
    }
}

TEST_F(GradingTest, PngCopiesHoldTheResultPlane) {
    Write("cat.bmp",
          MakeBitmap(3, 2, 24,
                     Bytes{0, 0, 255, 255, 0, 0, 9, 9, 9, 0, 200, 0, 1, 1, 1, 250, 250, 250}));
    EXPECT_EQ(Batch({"--png", "-o", HostPath("out"), "segment", HostPath("cat.bmp")}), 0) << m_err;
    EXPECT_NE(m_out.find("-> " + HostPath("out/outcat.raw") + "，" + HostPath("out/outcat.png")),
              std::string::npos)
        << m_out;
    const Bytes raw = ReadBack("out/outcat.raw");
    const QImage png(QString::fromStdString(HostPath("out/outcat.png")));
    EXPECT_EQ(png.format(), QImage::Format_Grayscale8);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(qGray(png.pixel(i % 3, i / 3)), raw[8 + static_cast<std::size_t>(i)]) << i;

    // The program exports the result it shows the same way.
    Open("cat.bmp");
    m_view->OnColorSegmentation();
    AnswerFileDialog(HostPath("exported.png"), [this] { m_view->OnFileExportPng(); });
    EXPECT_EQ(ReadBack("exported.png"), ReadBack("out/outcat.png"));
}

// The exercise's "try T = 64": the reference and every student run with the same value, and
// the report names it.
TEST_F(GradingTest, TheValuesSetGoToTheReferenceAndEveryStudent) {
    const auto thresholdStep = [](const std::string& comparison) {
        return "#include <vexlan/step.h>\n"
               "VEXLAN_PARAM(threshold, \"阈值\", 0, 255, 128);\n"
               "VEXLAN_STEP(threshold, \"阈值分割\", \"\") {\n"
               "    const int t = vexlan_int_param(image, threshold);\n"
               "    for (int i = 0; i < image->width * image->height; ++i)\n"
               "        image->result[i] = vexlan_gray_at(image, i % image->width, 0) " +
               comparison + " t ? 255 : 0;\n}\n";
    };
    Bytes pixels;
    for (int x = 0; x < 200; ++x)
        pixels.insert(pixels.end(), 3, static_cast<BYTE>(x));
    Write("ramp.bmp", MakeBitmap(200, 1, 24, pixels));
    WriteSource("solution.cpp", thresholdStep(">="));
    WriteSource("class/equal.cpp", thresholdStep(">="));
    WriteSource("class/strict.cpp", thresholdStep(">"));
    WriteSource("class/fixed.cpp", InvertStep(""));
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--set", "threshold=64",
                     HostPath("solution.cpp"), HostPath("class"), HostPath("ramp.bmp")}),
              1)
        << m_err;
    const std::vector<std::string> lines = OutLines();
    ASSERT_EQ(lines.size(), 5u) << m_out;
    EXPECT_EQ(lines[0], "参数：threshold=64");
    EXPECT_EQ(lines[1], "equal：已编译，1 个图像中 1 个相同");
    EXPECT_EQ(
        lines[2].rfind(
            "fixed：已编译，1 个图像中 0 个相同，1 个运行出错（vexlan-batch：没有哪个步骤有名为 "
            "threshold 的参数",
            0),
        0u)
        << lines[2];
    // Only the pixel at the threshold itself differs, and only at the value set.
    EXPECT_EQ(lines[3].rfind("strict：已编译，1 个图像中 0 个相同，1 个不同（最大差 255", 0), 0u)
        << lines[3];
    const Bytes reference = ReadBack("run/reference/results/outramp.raw");
    ASSERT_EQ(reference.size(), 8u + 200);
    EXPECT_EQ(reference[8 + 63], 0);
    EXPECT_EQ(reference[8 + 64], 255);
    EXPECT_NE(Text("run/students/strict/log.txt").find("'--set' 'threshold=64'"),
              std::string::npos);
}

TEST_F(GradingTest, AResultFileThatCannotBeReadChangesNothing) {
    Write("granite.bmp", MakeBitmap(2, 2, 24, Bytes(12, 7)));
    Open("granite.bmp");
    m_view->OnColorSegmentation();
    const BYTE* shown = m_view->m_pResultImage.get();
    Write("outgranite.raw", RawFile(2, 2, {1, 2, 3}));
    OpenResult("outgranite.raw");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "文件 " + HostPath("outgranite.raw") +
                                 " 2×2 的结果文件应有 12 字节，实际是 11 字节。");
    EXPECT_EQ(m_view->m_pResultImage.get(), shown);
    EXPECT_EQ(Title(), "granite.bmp");
}

} // namespace
