// Students who go for what is not theirs, or hold up the class, graded as a teacher grades
// them: each build and run sees only the student's own source, the images and their own
// results, within limits. Each cheat is the cheater's failure or has no effect: no cheater is
// 相同, the reference and every other student's files stay as they were, and nothing of any
// run is left. Where nothing can be sealed, grading stops unless the teacher says to go on.
#include "batchcapture.h"
#include "imagesetfixture.h"
#include "processes.h"

#include <QProcess>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// A step named invert whose body is body; Invert does the exercise honestly.
std::string StudentStep(const std::string& body) {
    return "#include <vexlan/step.h>\n#include <cstdio>\n#include <cstring>\n#include <string>\n"
           "#include <sys/prctl.h>\n#include <unistd.h>\n"
           "static bool Appears(const std::string& path) {\n"
           "    for (int i = 0; i < 20 && access(path.c_str(), F_OK) != 0; ++i) usleep(100000);\n"
           "    return access(path.c_str(), F_OK) == 0;\n}\n"
           "static void Invert(const vexlan_image* image) {\n"
           "    for (int y = 0; y < image->height; ++y)\n"
           "        for (int x = 0; x < image->width; ++x)\n"
           "            image->result[y * image->width + x] = 255 - vexlan_gray_at(image, x, y);\n"
           "}\n"
           "VEXLAN_STEP(invert, \"反色\", \"反色\") {\n" +
           body + "\n}\n";
}

// C++ that copies the pixels of the result file at path (C++ text) into the result plane.
std::string CopyResult(const std::string& path) {
    return "if (FILE* f = std::fopen((" + path +
           ").c_str(), \"rb\")) {\n"
           "    std::fseek(f, 8, SEEK_SET);\n"
           "    std::fread(image->result, 1, (size_t)(image->width * image->height), f);\n"
           "    std::fclose(f);\n}\n";
}

struct HostileStudent {
    const char* name;
    std::string source;
    const char* line; // the beginning of the student's grade line
};

std::vector<HostileStudent> HostileStudents(const std::string& run) {
    const std::string at = "std::string(\"" + run + "\") + ";
    return {
        // Graded before the others: every correct student after it would read 不同.
        {"aa_zeroref",
         "for (const char* name : {\"/outa.raw\", \"/outb.raw\"})\n"
         "    if (FILE* f = std::fopen((" +
             at +
             "\"/reference/results\" + name).c_str(), \"r+b\")) {\n"
             "        std::fseek(f, 8, SEEK_SET);\n"
             "        for (int i = 0; i < 48; ++i) std::fputc(0, f);\n"
             "        std::fclose(f);\n    }\nInvert(image);",
         "aa_zeroref：已编译，2 个图像中 2 个相同"},
        {"bigout",
         "static char line[1 << 20];\nstd::memset(line, 'x', sizeof line);\n"
         "for (int i = 0; i < 512; ++i) std::fwrite(line, 1, sizeof line, stdout);\n"
         "Invert(image);",
         "bigout：已编译，2 个图像中 2 个相同"},
        {"devzero", "", "devzero：没有编译成功："},
        {"equal", "Invert(image);", "equal：已编译，2 个图像中 2 个相同"},
        // As much as it can into its own temporary folder and its results: it fills the one
        // and cannot write the other, and no other student notices.
        {"fill",
         "static char block[1 << 20];\n"
         "for (const std::string& path : {std::string(\"/tmp/fill\"), " +
             at +
             "\"/students/fill/results/fill\"})\n"
             "    if (FILE* f = std::fopen(path.c_str(), \"wb\"))\n"
             "        for (int i = 0; i < 4096 && std::fwrite(block, 1, sizeof block, f) == "
             "sizeof block; ++i) {}\n"
             "Invert(image);",
         "fill：已编译，2 个图像中 0 个相同，2 个运行出错（[1/2] 步骤 "},
        {"link", "", "link.cpp：未评分：是指向学生文件夹之外的符号链接，不跟随"},
        {"printer",
         "if (fork() == 0) {\n    prctl(PR_SET_NAME, \"vexlanprinter\");\n"
         "    for (;;) std::puts(\"spam\");\n}\nInvert(image);",
         "printer：已编译，2 个图像中 2 个相同"},
        {"readref", CopyResult(at + "\"/reference/results/outa.raw\""),
         "readref：已编译，2 个图像中 0 个相同，2 个不同"},
        // Graded after equal, whose results it waits for.
        {"zz_copy",
         "if (Appears(" + at + "\"/students/equal/results/outa.raw\"))\n" +
             CopyResult(at + "\"/students/equal/results/outa.raw\""),
         "zz_copy：已编译，2 个图像中 0 个相同，2 个不同"},
        {"zz_delete",
         "if (Appears(" + at +
             "\"/students/equal/results/outb.raw\"))\n"
             "    for (const char* name : {\"/results/outa.raw\", \"/results/outb.raw\", "
             "\"/log.txt\"})\n"
             "        std::remove((" +
             at + "\"/students/equal\" + name).c_str());\nInvert(image);",
         "zz_delete：已编译，2 个图像中 2 个相同"},
    };
}

// Bytes of the regular files below folder, together.
std::uintmax_t FolderBytes(const std::string& folder) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        bytes += entry.is_regular_file() ? entry.file_size() : 0;
    return bytes;
}

class HostileGradingTest : public ImageSetTest, protected BatchCapture {
protected:
    void WriteSource(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(HostPath(name)).parent_path());
        WriteText(name, text);
    }
    // Two gray images of 8 × 6, inverted: 155 everywhere.
    void WriteExercise() {
        for (const char* name : {"a.bmp", "b.bmp"})
            Write(name, MakeBitmap(8, 6, 24, Bytes(8 * 6 * 3, 100)));
        WriteText("set.lst", "2 " + m_dirSystemPath + " a.bmp b.bmp");
        WriteSource("solution.cpp", StudentStep("Invert(image);"));
    }
    std::string Text(const std::string& name) const {
        const Bytes bytes = ReadBack(name);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(HostileGradingTest, EachCheatIsTheCheatersFailureOrHasNoEffect) {
    WriteExercise();
    WriteText("secret.txt", "TEACHER SECRET LINE\nint x;\n");
    const std::vector<HostileStudent> students = HostileStudents(HostPath("run"));
    for (const HostileStudent& student : students)
        if (!student.source.empty())
            WriteSource("class/" + std::string(student.name) + ".cpp", StudentStep(student.source));
    WriteSource("class/devzero.cpp", "#include \"/dev/zero\"\n");
    fs::create_symlink(HostPath("secret.txt"), HostPath("class/link.cpp"));

    EXPECT_EQ(Batch({"grade", "-o", HostPath("run"), "--timeout", "60", HostPath("solution.cpp"),
                     HostPath("class"), HostPath("set.lst")}),
              1)
        << m_err;
    const std::vector<std::string> lines = [this] {
        std::vector<std::string> read;
        std::istringstream in(m_out);
        for (std::string line; std::getline(in, line);)
            read.push_back(line);
        return read;
    }();
    ASSERT_EQ(lines.size(), students.size() + 1) << m_out;
    for (std::size_t i = 0; i < students.size(); ++i)
        EXPECT_EQ(lines[i].rfind(students[i].line, 0), 0u) << lines[i];
    EXPECT_EQ(m_out.find("TEACHER SECRET"), std::string::npos);

    // The reference and the classmate are as they were.
    const Bytes inverted = [] {
        Bytes file{8, 0, 0, 0, 6, 0, 0, 0};
        file.insert(file.end(), 48, 155);
        return file;
    }();
    for (const char* result :
         {"run/reference/results/outa.raw", "run/reference/results/outb.raw",
          "run/students/equal/results/outa.raw", "run/students/equal/results/outb.raw"})
        EXPECT_EQ(ReadBack(result), inverted) << result;
    EXPECT_TRUE(fs::exists(HostPath("run/students/equal/log.txt")));
    // The log holds a mebibyte of each image's output, and says that the rest was cut.
    const std::string printed = Text("run/students/bigout/log.txt");
    EXPECT_LT(printed.size(), std::size_t{3} << 20);
    EXPECT_NE(printed.find("输出超过了 1024 KiB 的上限"), std::string::npos);
    EXPECT_NE(lines[4].find("写的文件超过了大小上限（SIGXFSZ）"), std::string::npos);
    // What fill wrote went with its run; nothing it wrote stays in the run folder.
    EXPECT_FALSE(fs::exists(HostPath("run/students/fill/results/fill")));
    EXPECT_LT(FolderBytes(HostPath("run")), std::uintmax_t{16} << 20);
    // No process of any run is left, the printer's child included.
    for (const CProcessInfo& process : Processes())
        EXPECT_NE(process.name, "vexlanprinter") << process.pid;
    for (const CProcessInfo& process : DescendantsOf(getpid()))
        EXPECT_EQ(process.state, 'Z') << process.name;
}

// Where nothing can be sealed (user namespaces used up, as where a system turns them off),
// grading stops unless the teacher says to go on, and then says so first, in the report too.
TEST_F(HostileGradingTest, WithoutTheSealGradingStopsUnlessToldToGoOn) {
    Write("a.bmp", MakeBitmap(2, 2, 24, Bytes(12, 100)));
    WriteSource("solution.cpp", StudentStep("Invert(image);"));
    WriteSource("class/equal.cpp", StudentStep("Invert(image);"));
    const std::string note =
        "注意：没有隔离学生的程序（--allow-unsealed）：用户命名空间的数量已到上限";
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "allowed" : "not allowed");
        QStringList args{"-Ur",
                         "sh",
                         "-c",
                         "echo 0 > /proc/sys/user/max_user_namespaces && exec \"$@\"",
                         "sh",
                         VEXLAN_BATCH_PROGRAM,
                         "grade",
                         "-o",
                         QString::fromStdString(HostPath("run")),
                         "--report",
                         QString::fromStdString(HostPath("report.html")),
                         QString::fromStdString(HostPath("solution.cpp")),
                         QString::fromStdString(HostPath("class")),
                         QString::fromStdString(HostPath("a.bmp"))};
        if (allowed)
            args.insert(7, "--allow-unsealed");
        QProcess grade;
        grade.start("unshare", args);
        ASSERT_TRUE(grade.waitForFinished(120000));
        const std::string out = grade.readAllStandardOutput().toStdString();
        const std::string err = grade.readAllStandardError().toStdString();
        if (!allowed) {
            EXPECT_EQ(grade.exitCode(), 2) << err;
            EXPECT_EQ(out, "");
            EXPECT_NE(err.find("无法把学生的编译和运行隔离开：用户命名空间的数量已到上限"),
                      std::string::npos)
                << err;
            EXPECT_FALSE(fs::exists(HostPath("report.html")));
            continue;
        }
        EXPECT_EQ(grade.exitCode(), 0) << err;
        EXPECT_EQ(out.rfind(note, 0), 0u) << out;
        EXPECT_NE(out.find("\nequal：已编译，1 个图像中 1 个相同\n"), std::string::npos) << out;
        const std::string report = Text("report.html");
        EXPECT_NE(report.find(note), std::string::npos);
        EXPECT_LT(report.find(note), report.find("共 1 名学生"));
    }
}

} // namespace
