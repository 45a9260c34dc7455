// The teacher's bench end to end: a class of step sources graded against the teacher's own
// step (the equal, the slightly and the badly wrong, one that crashes, one that loops and one
// that does not compile), result folders compared file by file, difference images, PNG copies
// of results, and results opened and exported in the program.
#include "batchcapture.h"
#include "imagesetfixture.h"

#include <QImage>

#include <filesystem>

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

Bytes RawFile(int width, int height, Bytes pixels) {
    Bytes file;
    for (const int field : {width, height})
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<BYTE>(static_cast<unsigned>(field) >> (8 * i)));
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
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
    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(m_out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadBack(name);
        return std::string(bytes.begin(), bytes.end());
    }
    QRgb PngPixel(const std::string& name, int x, int y) const {
        return QImage(QString::fromStdString(HostPath(name))).pixel(x, y) & 0xFFFFFF;
    }
};

TEST_F(GradingTest, AClassIsGradedInOneCommandWhateverEachStepDoes) {
    // Uniform gray 100 inverts to 155 everywhere.
    for (const char* name : {"a.bmp", "b.bmp"})
        Write(name, MakeBitmap(8, 6, 24, Bytes(8 * 6 * 3, 100)));
    WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp b.bmp");
    WriteSource("solution.cpp", InvertStep(""));
    WriteSource("class/equal.cpp", InvertStep(""));
    WriteSource("class/onepixel.cpp", InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    WriteSource("class/border/median.cpp", InvertStep("            if (x == 0) *out = 0;\n"));
    WriteSource("class/crash.cpp", InvertStep("            *(volatile int*)nullptr = 1;\n"));
    WriteSource("class/loop.cpp",
                InvertStep("            for (volatile int spin = 1; spin;) {}\n"));
    WriteSource("class/broken.cpp", InvertStep("            this is not C;\n"));
    fs::create_directories(HostPath("class/nobody"));

    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--timeout", "0.5", "--csv",
                     HostPath("grades.csv"), "--diff-dir", HostPath("diffs"),
                     HostPath("solution.cpp"), HostPath("class"), HostPath("set.lst")}),
              1)
        << m_err;
    const std::vector<std::string> lines = OutLines();
    ASSERT_EQ(lines.size(), 8u) << m_out;
    const std::string startsWith[] = {
        "border：已编译，不同：2 个图像中 2 个与参考不一致，最大差 155，最低 PSNR 13.36 dB",
        "broken：没有编译成功：" + HostPath("class/broken.cpp") + ":7:",
        "crash：已编译，运行出错：[1/2] 步骤 invert 处理 " + HostPath("a.bmp"),
        "equal：已编译，相同（2 个图像）",
        "loop：已编译，超时：[1/2] 步骤 invert 处理 " + HostPath("a.bmp"),
        "nobody：没有编译成功：文件夹中没有步骤源文件（.c 或 .cpp）",
        "onepixel：已编译，不同：2 个图像中 2 个与参考不一致，最大差 1，最低 PSNR 64.94 dB",
        "共 7 名学生：相同 1 名，不同 2 名，运行出错 1 名，超时 1 名，没有编译成功 2 名。"};
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(startsWith[i], 0), 0u) << lines[i];
    EXPECT_NE(lines[1].find("error"), std::string::npos) << lines[1];

    const std::string csv = Text("grades.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF学生,图像,结果,宽,高,不同像素,最大差,PSNR,说明\r\n", 0), 0u);
    for (const std::string& row : std::vector<std::string>{
             "border,outb.raw,不同,8,6,6,155,13.36," + HostPath("diffs/border/outb.png") + "\r\n",
             "equal,outa.raw,相同,8,6,0,0,inf,\r\n",
             "onepixel,outb.raw,不同,8,6,1,1,64.94," + HostPath("diffs/onepixel/outb.png") + "\r\n",
             "nobody,,没有编译成功,,,,,,文件夹中没有步骤源文件（.c 或 .cpp）\r\n"})
        EXPECT_NE(csv.find(row), std::string::npos) << row << csv;
    EXPECT_EQ(std::ranges::count(csv, '\n'), 1 + 3 * 2 + 4);

    // Dark gray where the planes agree, red by the size of the difference where they do not.
    EXPECT_EQ(PngPixel("diffs/onepixel/outa.png", 0, 0), qRgb(64, 64, 64) & 0xFFFFFF);
    EXPECT_EQ(PngPixel("diffs/onepixel/outa.png", 1, 2), qRgb(96, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(PngPixel("diffs/border/outb.png", 0, 5), qRgb(192, 0, 0) & 0xFFFFFF);
    EXPECT_FALSE(fs::exists(HostPath("diffs/equal")));

    EXPECT_EQ(ReadBack("run/results/equal/outa.raw"), ReadBack("run/reference/results/outa.raw"));
    EXPECT_NE(Text("run/logs/broken.txt").find("this is not C"), std::string::npos);
    EXPECT_FALSE(fs::exists(HostPath("teacher")));

    // Against a folder of results, within a tolerance of 1, the pixel off by one passes.
    WriteSource("class2/onepixel.cpp",
                InvertStep("            if (x == 1 && y == 2) *out ^= 1;\n"));
    WriteSource("class2/two/a.cpp", InvertStep(""));
    WriteSource("class2/two/b.cpp", InvertStep(""));
    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--tolerance", "1",
                     HostPath("run/reference/results"), HostPath("class2"), HostPath("set.lst")}),
              1);
    EXPECT_EQ(m_out,
              "onepixel：已编译，相同（2 个图像）\n"
              "two：没有编译成功：文件夹中有 2 个源文件，应只有一个\n"
              "共 2 名学生：相同 1 名，不同 0 名，运行出错 0 名，超时 0 名，没有编译成功 1 名。\n");
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

    // Folders of one name get difference folders of their own; a comma in a name is quoted.
    fs::create_directories(HostPath("b/mixed"));
    fs::create_directories(HostPath("c,d"));
    fs::copy_file(HostPath("mixed/outb.raw"), HostPath("b/mixed/outb.raw"));
    EXPECT_EQ(Batch({"compare", "--diff-dir", HostPath("diffs"), "--csv", HostPath("t.csv"),
                     HostPath("ref"), mixed, HostPath("b/mixed"), HostPath("c,d")}),
              1);
    EXPECT_TRUE(fs::exists(HostPath("diffs/mixed/outb.png")));
    EXPECT_TRUE(fs::exists(HostPath("diffs/mixed-2/outb.png")));
    const Bytes csv = ReadBack("t.csv");
    EXPECT_NE(
        std::string(csv.begin(), csv.end()).find("\r\n\"" + HostPath("c,d") + "\",outa.raw,缺少,"),
        std::string::npos);

    const std::vector<std::string> wrong[] = {
        {"compare", HostPath("ref")},
        {"compare", "--tolerance", "256", HostPath("ref"), mixed},
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
    EXPECT_EQ(lines[1], "equal：已编译，相同（1 个图像）");
    EXPECT_EQ(lines[2].rfind(
                  "fixed：已编译，运行出错：vexlan-batch：没有哪个步骤有名为 threshold 的参数", 0),
              0u)
        << lines[2];
    // Only the pixel at the threshold itself differs, and only at the value set.
    EXPECT_EQ(lines[3].rfind("strict：已编译，不同：1 个图像中 1 个与参考不一致，最大差 255", 0),
              0u)
        << lines[3];
    const Bytes reference = ReadBack("run/reference/results/outramp.raw");
    ASSERT_EQ(reference.size(), 8u + 200);
    EXPECT_EQ(reference[8 + 63], 0);
    EXPECT_EQ(reference[8 + 64], 255);
    EXPECT_NE(Text("run/logs/strict.txt").find("--set threshold=64"), std::string::npos);
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
