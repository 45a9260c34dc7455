// Steps with parameters and chains of steps in vexlan-batch: a chain equals its steps run one
// by one, each on the result before read back from its file; --set values are checked before
// any image is read; --name keeps the results of two images of one stem or of two values
// apart; --list shows each parameter.
#include "batchcapture.h"
#include "imagefiles.h"
#include "imagesetfixture.h"
#include "installedsteps.h"
#include "rawresultfile.h"
#include "resultinput.h"
#include "stepbuild.h"

#include <filesystem>

namespace {

// A 3 x 3 mean, a gradient magnitude and a threshold, each as a student writes it.
constexpr char kBlur[] = R"(#include <vexlan/step.h>
VEXLAN_STEP(blur, "模糊", "3×3 平均") {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            int around[9], sum = 0;
            vexlan_neighbourhood(image, x, y, 3, around);
            for (int i = 0; i < 9; ++i) sum += around[i];
            image->result[y * image->width + x] = (unsigned char)(sum / 9);
        }
}
)";
constexpr char kSobel[] = R"(#include <vexlan/step.h>
#include <stdlib.h>
VEXLAN_PARAM(scale, "倍数", 1, 8, 1);
VEXLAN_STEP(sobel, "Sobel", "梯度的大小") {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            int p[9];
            vexlan_neighbourhood(image, x, y, 3, p);
            const int gx = p[2] + 2 * p[5] + p[8] - p[0] - 2 * p[3] - p[6];
            const int gy = p[6] + 2 * p[7] + p[8] - p[0] - 2 * p[1] - p[2];
            const int g = (abs(gx) + abs(gy)) * vexlan_int_param(image, scale) / 8;
            image->result[y * image->width + x] = (unsigned char)(g > 255 ? 255 : g);
        }
}
)";
constexpr char kThreshold[] = R"(#include <vexlan/step.h>
VEXLAN_PARAM(threshold, "阈值", 0, 255, 128);
VEXLAN_PARAM(scale, "倍数", 1, 2, 1);
VEXLAN_STEP(threshold, "阈值分割", "灰度不小于阈值的像素为白") {
    const int t = vexlan_int_param(image, threshold) / vexlan_int_param(image, scale);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image->result[y * image->width + x] = vexlan_gray_at(image, x, y) >= t ? 255 : 0;
}
)";

class StepChainTest : public ImageSetTest, protected BatchCapture {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_data.path().toLocal8Bit().constData(), 1);
        ImageSetTest::SetUp();
        std::string built;
        for (const auto& [name, source] : {std::pair{"blur", kBlur}, std::pair{"sobel", kSobel},
                                           std::pair{"threshold", kThreshold}})
            ASSERT_EQ(BuildStepFile(m_data.path().toStdString(), name, source, built), 0) << built;
        // A diagonal edge with a gradient beside it.
        Bytes pixels;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                pixels.insert(pixels.end(), 3, static_cast<BYTE>(x > y ? 200 : 10 * x));
        Write("edge.bmp", MakeBitmap(16, 12, 24, pixels));
    }
    void TearDown() override {
        ImageSetTest::TearDown();
        unsetenv("XDG_DATA_HOME");
    }
    std::string Results() const { return m_results.path().toStdString(); }
    // The step as the runner finds it.
    static CInstalledStep Installed(const std::string& name) {
        const CInstalledSteps found = FindInstalledSteps();
        const CInstalledStep* step = found.Find(name);
        EXPECT_NE(step, nullptr) << name;
        return step ? *step : CInstalledStep{};
    }

    QTemporaryDir m_data;
    QTemporaryDir m_results;
};

TEST_F(StepChainTest, AChainEqualsItsStepsRunOneByOneOnTheResultsOpenedBack) {
    ASSERT_EQ(Batch({"-o", Results(), "--set", "sobel.scale=4", "--set", "threshold.threshold=60",
                     "blur,sobel,threshold", HostPath("edge.bmp")}),
              kBatchAllSaved)
        << m_err;
    const Bytes chained = ReadFile(Results() + "/outedge.raw");

    // By hand: the first step by the runner, then each next one on the result file before.
    ASSERT_EQ(Batch({"-o", Results(), "blur", HostPath("edge.bmp")}), kBatchAllSaved) << m_err;
    std::string problem;
    std::optional<CRawResult> before = ReadRawResultFile(Results() + "/outedge.raw", problem);
    ASSERT_TRUE(before) << problem;
    for (const auto& [name, values] : {std::pair{"sobel", std::vector<double>{4}},
                                       std::pair{"threshold", std::vector<double>{60, 1}}}) {
        SCOPED_TRACE(name);
        const std::optional<CResultInput> input =
            ResultAsInput(before->width, before->height, before->plane.get());
        ASSERT_TRUE(input);
        CByteBlock result = DEBUG_NEW_SHARED_BYTES(16 * 12);
        const CStepEnd end =
            RunInstalledStep(Installed(name), input->Input(), result.get(), values, std::nullopt);
        ASSERT_EQ(end.kind, CStepEnd::Kind::Finished) << end.what;
        before->plane = std::move(result);
    }
    const Bytes byHand(before->plane.get(), before->plane.get() + 16 * 12);
    ASSERT_EQ(chained.size(), 8u + byHand.size());
    EXPECT_EQ(Bytes(chained.begin() + 8, chained.end()), byHand);
    EXPECT_NE(std::ranges::count(byHand, 255), 0);
    EXPECT_NE(std::ranges::count(byHand, 0), 0);

    // A built-in step chains as well: the segmentation's classes, thresholded.
    ASSERT_EQ(Batch({"-o", Results(), "segment", HostPath("edge.bmp")}), kBatchAllSaved);
    const Bytes segmented = ReadFile(Results() + "/outedge.raw");
    ASSERT_EQ(Batch({"-o", Results(), "--set", "threshold=100", "segment,threshold",
                     HostPath("edge.bmp")}),
              kBatchAllSaved)
        << m_err;
    const Bytes thresholded = ReadFile(Results() + "/outedge.raw");
    ASSERT_EQ(thresholded.size(), segmented.size());
    for (std::size_t i = 8; i < segmented.size(); ++i)
        EXPECT_EQ(thresholded[i], segmented[i] >= 100 ? 255 : 0) << i;
}

TEST_F(StepChainTest, ValuesAreCheckedBeforeAnyImageIsRead) {
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Case> refused{
        {{"--set", "threshold=256", "threshold"},
         "参数 threshold（阈值）的值 256 超出了范围 0 到 255"},
        {{"--set", "threshold=-1", "threshold"}, "超出了范围"},
        {{"--set", "threshold=12.5", "threshold"}, "只取整数，12.5 不是整数"},
        {{"--set", "threshold=dark", "threshold"}, "的值 “dark” 不是数"},
        {{"--set", "thresold=12", "threshold"}, "没有哪个步骤有名为 thresold 的参数"},
        {{"--set", "blur.threshold=12", "blur,threshold"}, "步骤 blur 没有名为 threshold 的参数"},
        {{"--set", "scale=2", "sobel,threshold"}, "链中不止一个步骤有参数 scale"},
        {{"--set", "threshold", "threshold"}, "--set 后面应是 名称=值"},
        {{"--set", "threshold=1", "segment"}, "没有哪个步骤有名为 threshold 的参数"},
        {{"--name", "{stem}_{radius}", "threshold"}, "{radius} 不是"},
        {{"--name", "{stem", "threshold"}, "花括号不成对"},
        {{"--name", "{scale}", "sobel,threshold"}, "{scale} 不是"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.said);
        std::vector<std::string> args = c.args;
        // A list that is not there: read, it would fail the run with status 1.
        args.push_back(HostPath("missing.lst"));
        EXPECT_EQ(Batch(args), kBatchUsageError);
        EXPECT_NE(m_err.find(c.said), std::string::npos) << m_err;
        EXPECT_EQ(m_err.find("missing.lst"), std::string::npos) << m_err;
    }
    // In a chain, a name one step has stands alone; STEP.NAME names either.
    EXPECT_EQ(Batch({"-o", Results(), "--set", "threshold=1", "--set", "sobel.scale=8", "--set",
                     "threshold.scale=2", "sobel,threshold", HostPath("edge.bmp")}),
              kBatchAllSaved)
        << m_err;
}

TEST_F(StepChainTest, NamesFromAPatternKeepEveryResultApart) {
    QImage photo(5, 4, QImage::Format_RGB32);
    photo.fill(qRgb(90, 90, 90));
    Write("photo.png", testimages::Encoded(photo, "png"));
    Write("photo.jpg", testimages::Encoded(photo, "jpeg"));
    WriteText("photos.lst", "2 " + m_dirSystemPath + " photo.png photo.jpg");
    // Without a pattern the rule stays: both images give outphoto.raw, the second is refused.
    EXPECT_EQ(Batch({"-o", Results(), "threshold", HostPath("photos.lst")}), kBatchSomeFailed);
    EXPECT_NE(m_err.find("这次运行已把 photo.png 的结果写在那里"), std::string::npos) << m_err;
    for (const char* threshold : {"64", "128"})
        EXPECT_EQ(
            Batch({"-o", Results(), "--name", "{stem}_{ext}_{step}_{threshold}", "--set",
                   std::string("threshold=") + threshold, "threshold", HostPath("photos.lst")}),
            kBatchAllSaved)
            << m_err;
    for (const auto& [name, level] :
         {std::pair{"photo_png_threshold_64.raw", 255},
          std::pair{"photo_jpg_threshold_64.raw", 255}, std::pair{"photo_png_threshold_128.raw", 0},
          std::pair{"photo_jpg_threshold_128.raw", 0}}) {
        const Bytes saved = ReadFile(Results() + "/" + name);
        ASSERT_EQ(saved.size(), 8u + 20) << name;
        EXPECT_EQ(saved[8], level) << name;
    }
    EXPECT_EQ(Batch({"-o", Results(), "--name", "{stem}-{step}", "--png", "blur,sobel",
                     HostPath("photo.png")}),
              kBatchAllSaved);
    EXPECT_NE(
        m_out.find(Results() + "/photo-blur-sobel.raw，" + Results() + "/photo-blur-sobel.png"),
        std::string::npos)
        << m_out;
}

TEST_F(StepChainTest, TheListShowsEachParameterWithItsRangeAndDefault) {
    ASSERT_EQ(Batch({"--list"}), kBatchAllSaved) << m_err;
    const std::string threshold = "threshold\t阈值分割\t" + UserStepFolder() +
                                  "/threshold.so\n"
                                  "\tthreshold\t阈值\t整数 0 到 255，默认 128\n"
                                  "\tscale\t倍数\t整数 1 到 2，默认 1\n";
    EXPECT_NE(m_out.find(threshold), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("blur\t模糊\t" + UserStepFolder() + "/blur.so\n"), std::string::npos);
    EXPECT_EQ(m_out.rfind("segment\n", 0), 0u) << m_out;
}

} // namespace
