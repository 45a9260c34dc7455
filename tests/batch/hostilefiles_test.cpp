// Hostile image files, as a new user would be hit by them: sizes far past the limit declared by
// tiny files, deep and floating-point samples, many pages, turns, and every kind cut at each
// tenth of its length. Each is refused with a message that names its kind and the cause, or
// shown as it should be, with nothing of the decoders on standard error; and loading it, in the
// program's loading path and in the runner, each in a process of its own, peaks within the
// planes' limit and the decoder's bound.
#include "batchcommand.h"
#include "hostilefiles.h"
#include "imagefiles.h"
#include "imagesetfixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

using hostilefiles::TiffPage;
using testimages::Encoded;
using testimages::Noise;
using testimages::Photo;

constexpr std::int64_t kMebibyte = 1 << 20;
// What a refused file may add to a process that loads nothing: the message and the little the
// decoder reads of the header. Under AddressSanitizer planes allocated but never touched still
// cost their shadow, an eighth of them.
#ifdef __SANITIZE_ADDRESS__
constexpr std::int64_t kShadowEighths = 1;
#else
constexpr std::int64_t kShadowEighths = 0;
#endif
constexpr std::int64_t kRefusalSlack = 64 * kMebibyte;
// What a file that loads may add beside its planes and the toolkit's image of it: the stream's
// buffer, the decoder's own buffers of a strip or a row band.
constexpr std::int64_t kLoadSlack = 24 * kMebibyte;

struct Measured {
    int status = -1;
    std::string out;
    std::string err;
    std::int64_t peakBytes = 0;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs program with args in a process of its own and measures its peak resident memory.
Measured RunMeasured(const std::string& folder, const std::vector<std::string>& args) {
    const std::string out = folder + "/child.out";
    const std::string err = folder + "/child.err";
    const std::string report = folder + "/child.peak";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> command{VEXLAN_PEAK_MEMORY, report};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Measured measured;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
    std::int64_t peakKiB = 0;
    std::ifstream(report) >> measured.status >> peakKiB;
    measured.peakBytes = peakKiB * 1024;
    measured.out = ReadAll(out);
    measured.err = ReadAll(err);
    return measured;
}

// A case of the table: the file, and what loading it must end with: "loaded WxH" or a part of
// the message. planeBytes: what its planes take once decoded, or are allocated with and never
// touched before a late refusal.
struct Hostile {
    std::string name;
    Bytes file;
    std::string ends;
    std::int64_t planeBytes = 0;
};

Bytes Progressive(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return Bytes(bytes.begin(), bytes.end());
}

std::vector<Hostile> DeclaredSizesDepthsPagesAndTurns() {
    const std::string decodeLimit = "MiB 内存，超过上限 1536 MiB";
    std::vector<TiffPage> pages(1000, TiffPage{64, 64, 1, 8, 1, 1, Bytes(64 * 64, 9)});
    pages.front().pixels = Bytes(64 * 64, 200);
    // Large enough that a second full-size copy of its decoded image would pass the bound, and
    // regular enough to be deflated quickly.
    Bytes samples(std::size_t{4000} * 3000 * 8);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<BYTE>(i * 7 + (i >> 13));
    const TiffPage moderate{4000, 3000, 4, 16, 1, 8, samples};
    return {
        {"huge.png", hostilefiles::Png(100000, 100000, 8, 0, Bytes(100001, 0)),
         "尺寸 100000 × 100000 像素太大"},
        {"deep.png", hostilefiles::Png(16384, 16383, 16, 6, Bytes(16384 * 8 + 1, 0)),
         "尺寸 16384 × 16383 像素，解码要用约 3072 " + decodeLimit},
        // The hostile trial's 10 KB file: RGBA, sixteen bits a sample, turned by its tag.
        {"turned.tiff", hostilefiles::Tiff({{16384, 16383, 4, 16, 1, 6, Bytes(16384 * 8, 0)}}),
         "尺寸 16383 × 16384 像素，解码要用约 3072 " + decodeLimit},
        {"float.tiff", hostilefiles::Tiff({{16384, 16383, 4, 32, 3, 1, Bytes(16384 * 16, 0)}}),
         "尺寸 16384 × 16383 像素，解码要用约 5120 " + decodeLimit},
        {"pages.tiff", hostilefiles::Tiff(pages), "loaded 64x64"},
        // One that fits, RGBA of sixteen bits a sample and turned: its planes and the toolkit's
        // image of it, turned and scaled while copied.
        {"moderate.tiff", hostilefiles::Tiff({moderate}), "loaded 3000x4000",
         std::int64_t{4} * 4000 * 3000},
        // Its planes and image fit; libjpeg's coefficients on top of them do not.
        {"progressive.jpg", hostilefiles::WithJpegSize(Progressive(Photo(64, 48)), 13000, 13000),
         decodeLimit, std::int64_t{4} * 13000 * 13000},
        {"wide.gif", testimages::Gif(65535, 65535, {0xFF0000}, Bytes{0}),
         "尺寸 65535 × 65535 像素太大"},
        {"deep.pgm", testimages::Netpbm("P5", 30000, 30000, 65535, {1, 2, 3}),
         "尺寸 30000 × 30000 像素太大"},
    };
}

// One file of each kind that the kind's cuts are made from.
std::vector<Hostile> WholeFiles() {
    const QImage photo = Photo(64, 48);
    const Bytes noise = Noise(64 * 48, 7);
    std::vector<int> gray(noise.begin(), noise.end());
    Bytes bits{'P', '4', '\n', '6', '4', ' ', '4', '8', '\n'};
    const Bytes packed = Noise(8 * 48, 9);
    bits.insert(bits.end(), packed.begin(), packed.end());
    return {
        {"cut.png", Encoded(photo, "png"), "PNG"},
        {"cut.jpg", Encoded(photo, "jpeg"), "JPEG"},
        {"progressive.jpg", Progressive(photo), "JPEG"},
        {"cut.tif", Encoded(photo, "tiff"), "TIFF"},
        {"cut.gif", testimages::Gif(64, 48, {0xFF0000, 0x00FF00, 0x0000FF}, Bytes(noise.size(), 1)),
         "GIF"},
        {"cut.webp", Encoded(photo, "webp", 100), "WebP"},
        {"cut.pgm", testimages::Netpbm("P5", 64, 48, 255, gray), "PGM"},
        {"wide.pgm", testimages::Netpbm("P5", 64, 48, 65535, gray), "PGM"},
        {"cut.ppm", Encoded(photo, "ppm"), "PPM"},
        {"cut.pbm", bits, "PBM"},
    };
}

class HostileFileTest : public ImageSetTest {
protected:
    // The program's loading path and the runner, each loading names in a process of its own.
    Measured Probe(const std::vector<std::string>& names) {
        return Measure({VEXLAN_LOAD_PROBE}, names);
    }
    Measured Runner(const std::vector<std::string>& names) {
        return Measure({VEXLAN_BATCH_PROGRAM, "-o", HostPath("results"), "segment"}, names);
    }
    // What both peak at loading a tiny image, the floor that a load's cost is measured from.
    void MeasureFloor() {
        Write("tiny.png", Encoded(Photo(4, 3), "png"));
        m_probeFloor = Probe({"tiny.png"});
        m_runnerFloor = Runner({"tiny.png"});
        ASSERT_EQ(m_probeFloor.out, "loaded 4x3\n") << m_probeFloor.err;
        ASSERT_EQ(m_runnerFloor.status, 0) << m_runnerFloor.err;
        PrintPeak("tiny.png (the floor)", m_probeFloor, m_runnerFloor);
    }
    static void PrintPeak(const std::string& what, const Measured& probe, const Measured& runner) {
        std::cout << "[ peak     ] " << what << ": program " << probe.peakBytes / kMebibyte
                  << " MiB, runner " << runner.peakBytes / kMebibyte << " MiB\n";
    }

    Measured m_probeFloor;
    Measured m_runnerFloor;

private:
    Measured Measure(std::vector<std::string> command, const std::vector<std::string>& names) {
        for (const std::string& name : names)
            command.push_back(HostPath(name));
        return RunMeasured(m_dir.path().toStdString(), command);
    }
};

TEST_F(HostileFileTest, DeclaredSizesDepthsPagesAndTurnsStayWithinTheBound) {
    ASSERT_NO_FATAL_FAILURE(MeasureFloor());
    for (const Hostile& c : DeclaredSizesDepthsPagesAndTurns()) {
        SCOPED_TRACE(c.name);
        Write(c.name, c.file);
        m_messages.clear();
        const std::string errors = LoadCapturingErrors(c.name);
        EXPECT_EQ(errors, "");
        const bool loads = c.ends.starts_with("loaded ");
        if (loads)
            EXPECT_EQ(m_messages, std::vector<std::string>{});
        else
            ASSERT_EQ(m_messages.size(), 1u);
        const std::string said = loads ? "loaded " + std::to_string(m_view->m_nWidth) + "x" +
                                             std::to_string(m_view->m_nHeight)
                                       : m_messages[0];
        EXPECT_NE(said.find(c.ends), std::string::npos) << said;

        // What loading it costs a process of its own, beyond what loading nothing costs. The
        // toolkit's image of one that loads takes eight bytes a pixel, twice its planes.
        const std::int64_t bound = (loads ? kLoadSlack + 3 * c.planeBytes : kRefusalSlack) +
                                   c.planeBytes * kShadowEighths / 8;
        const Measured probe = Probe({c.name});
        EXPECT_NE(probe.out.find(c.ends), std::string::npos) << probe.out;
        EXPECT_LE(probe.peakBytes - m_probeFloor.peakBytes, bound);
        const Measured runner = Runner({c.name});
        EXPECT_EQ(runner.status, loads ? 0 : 1);
        EXPECT_NE((loads ? runner.out : runner.err).find(loads ? "->" : c.ends), std::string::npos)
            << runner.err;
        EXPECT_LE(runner.peakBytes - m_runnerFloor.peakBytes, bound);
        PrintPeak(c.name, probe, runner);
    }
}

TEST_F(HostileFileTest, EveryKindCutAtEachTenthIsRefusedAsEndingEarly) {
    std::vector<std::string> cuts;
    for (const Hostile& whole : WholeFiles())
        for (int tenth = 1; tenth <= 9; ++tenth) {
            const std::string name = std::to_string(tenth) + whole.name;
            SCOPED_TRACE(name);
            Write(name, Bytes(whole.file.begin(),
                              whole.file.begin() +
                                  static_cast<std::ptrdiff_t>(whole.file.size() * tenth / 10)));
            cuts.push_back(name);
            m_messages.clear();
            EXPECT_EQ(LoadCapturingErrors(name), "");
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_EQ(m_messages[0].rfind("文件 " + HostPath(name) + " 不是 Vexlan 能读取的图像：" +
                                              whole.ends + " 文件在数据结束之前就结束了",
                                          0),
                      0u)
                << m_messages[0];
        }
    // The program's loading path and the runner, each in a process of its own, say the same of
    // each, save none of them, and hold no more for them than for any refusal.
    ASSERT_NO_FATAL_FAILURE(MeasureFloor());
    const Measured probe = Probe(cuts);
    const Measured runner = Runner(cuts);
    EXPECT_EQ(runner.status, kBatchSomeFailed);
    EXPECT_NE(runner.out.find("保存 0 个"), std::string::npos) << runner.out;
    for (const std::string* said : {&probe.out, &runner.err}) {
        std::istringstream lines(*said);
        std::size_t refused = 0;
        for (std::string line; std::getline(lines, line); ++refused)
            EXPECT_NE(line.find("文件在数据结束之前就结束了"), std::string::npos) << line;
        EXPECT_EQ(refused, cuts.size());
    }
    EXPECT_LE(probe.peakBytes - m_probeFloor.peakBytes, kRefusalSlack);
    EXPECT_LE(runner.peakBytes - m_runnerFloor.peakBytes, kRefusalSlack);
    PrintPeak("every cut file in one process", probe, runner);
}

} // namespace
