// The step contract across its versions: a step built against the first version of
// vexlan/step.h loads and runs unchanged; parameters declared in C and in C++ reach the program
// in the order declared, their values reach the step, and declarations or values that cannot
// be used are refused with the reason.
#include "debugalloc.h"
#include "installedsteps.h"
#include "stepparameter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The header as steps were built against it before parameters came.
const std::string kFirstVersionInclude = VEXLAN_SOURCE_DIR "/tests/steps/contract-v1";
const std::string kInclude = VEXLAN_SOURCE_DIR "/include";

// Each pixel is white where its gray level, times gain, reaches the threshold.
constexpr char kThreshold[] = R"(#include <vexlan/step.h>
VEXLAN_PARAM(threshold, "阈值", 0, 255, 128);
VEXLAN_REAL_PARAM(gain, "增益", 0.5, 4, 1);
VEXLAN_STEP(threshold, "阈值分割", "试验") {
    const int t = vexlan_int_param(image, threshold);
    const double gain = vexlan_param(image, gain);
    for (int i = 0; i < image->width * image->height; ++i)
        image->result[i] = vexlan_gray_at(image, i % image->width, i / image->width) * gain >= t
                               ? 255 : 0;
}
)";

class StepContractTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/vexlan-contract-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        // Gray levels 0, 50, 100, 150, 200, 250 in the colour plane, as a 24-bit file gives them.
        for (std::size_t i = 0; i < kPixels; ++i)
            std::fill_n(m_color.get() + 3 * i, 3, static_cast<BYTE>(50 * i));
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Compiles source as vexlan-step build does, against the header in include; the step file.
    std::string Build(const std::string& name, const std::string& source,
                      const std::string& include, bool asC = false) {
        const std::string file = m_folder + "/" + name + (asC ? ".c" : ".cpp");
        std::ofstream(file) << source;
        const std::string compiler = asC ? "cc -std=c11" : "c++ -std=c++20";
        const std::string step = m_folder + "/" + name + ".so";
        const std::string command = compiler + " -O2 -fPIC -shared -fvisibility=hidden -I'" +
                                    include + "' -o '" + step + "' '" + file + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        chmod(step.c_str(), 0755);
        return step;
    }
    CInstalledSteps Found() const { return FindInstalledSteps({m_folder}); }
    CStepInput Input() const { return {3, 2, m_gray.get(), m_color.get()}; }
    std::vector<BYTE> Run(const CInstalledStep& step, const std::vector<double>& values,
                          CStepEnd& end) {
        const CByteBlock result = DEBUG_NEW_SHARED_BYTES(kPixels);
        end = RunInstalledStep(step, Input(), result.get(), values, std::nullopt);
        return {result.get(), result.get() + kPixels};
    }

    static constexpr std::size_t kPixels = 6;
    std::string m_folder;
    CByteBlock m_gray = DEBUG_NEW_SHARED_BYTES(kPixels);
    CByteBlock m_color = DEBUG_NEW_SHARED_BYTES(3 * kPixels);
};

TEST_F(StepContractTest, AStepOfTheFirstVersionLoadsAndRunsUnchanged) {
    Build("oldinvert", R"(#include <vexlan/step.h>
VEXLAN_STEP(oldinvert, "反色", "旧版本的步骤") {
    for (int i = 0; i < image->width * image->height; ++i)
        image->result[i] = 255 - vexlan_gray_at(image, i % image->width, i / image->width);
}
)",
          kFirstVersionInclude);
    const CInstalledSteps found = Found();
    ASSERT_TRUE(found.problems.empty()) << found.problems.front();
    ASSERT_EQ(found.steps.size(), 1u);
    EXPECT_EQ(found.steps[0].menuText, "反色");
    EXPECT_TRUE(found.steps[0].parameters.empty());
    const std::vector<BYTE> inverted{255, 205, 155, 105, 55, 5};
    CStepEnd end;
    EXPECT_EQ(Run(found.steps[0], {}, end), inverted);
    EXPECT_EQ(end.kind, CStepEnd::Kind::Finished) << end.what;
    std::vector<BYTE> here(kPixels);
    EXPECT_EQ(RunInstalledStepHere(found.steps[0], Input(), here.data(), {}), std::nullopt);
    EXPECT_EQ(here, inverted);
}

TEST_F(StepContractTest, ParametersComeInTheOrderDeclaredAndTheirValuesReachTheStep) {
    const std::vector<CStepParameter> declared{{"threshold", "阈值", true, 0, 255, 128},
                                               {"gain", "增益", false, 0.5, 4, 1}};
    for (const bool asC : {false, true}) {
        SCOPED_TRACE(asC ? "C" : "C++");
        fs::remove_all(m_folder + "/threshold.so");
        Build("threshold", kThreshold, kInclude, asC);
        const CInstalledSteps found = Found();
        ASSERT_EQ(found.steps.size(), 1u);
        const CInstalledStep& step = found.steps[0];
        EXPECT_EQ(step.parameters, declared);

        struct Case {
            std::vector<double> values;
            std::vector<BYTE> result;
        };
        for (const Case& c :
             {Case{{}, {0, 0, 0, 255, 255, 255}}, Case{{100, 1}, {0, 0, 255, 255, 255, 255}},
              Case{{100, 2.5}, {0, 255, 255, 255, 255, 255}}}) {
            CStepEnd end;
            EXPECT_EQ(Run(step, c.values, end), c.result);
            EXPECT_EQ(end.kind, CStepEnd::Kind::Finished) << end.what;
            std::vector<BYTE> here(kPixels);
            EXPECT_EQ(RunInstalledStepHere(step, Input(), here.data(), c.values), std::nullopt);
            EXPECT_EQ(here, c.result);
        }
        // Values the step does not take are refused in its process, and it never runs.
        for (const auto& [values, reason] :
             {std::pair<std::vector<double>, std::string>{{300, 1}, "超出了范围 0 到 255"},
              {{100.5, 1}, "只取整数"},
              {{100}, "有 2 个参数，却给了 1 个值"}}) {
            CStepEnd end;
            EXPECT_EQ(Run(step, values, end), std::vector<BYTE>(kPixels, 0));
            EXPECT_EQ(end.kind, CStepEnd::Kind::Refused);
            EXPECT_NE(end.what.find(reason), std::string::npos) << end.what;
        }
    }
}

TEST_F(StepContractTest, DeclarationsThatCannotBeUsedRefuseTheStep) {
    struct Case {
        const char* declaration;
        const char* reason;
    };
    for (const Case& c : {Case{"VEXLAN_PARAM(t, \"阈值\", 10, 10, 10)", "最小值应小于最大值"},
                          Case{"VEXLAN_PARAM(t, \"阈值\", 0, 255, 300)", "默认值不在它的范围之内"},
                          Case{"VEXLAN_PARAM(t, \"阈值\", 0, 2.5, 1)", "只取整数"},
                          Case{"VEXLAN_PARAM(t, \"两\\n行\", 0, 255, 1)", "标签应是一行文字"},
                          Case{"VEXLAN_REAL_PARAM(t, \"σ\", 0, 1e9, 1)", "-1000000 到 1000000"}}) {
        SCOPED_TRACE(c.declaration);
        Build("declared",
              std::string("#include <vexlan/step.h>\n") + c.declaration +
                  ";\nVEXLAN_STEP(declared, \"试验\", \"\") {}\n",
              kInclude);
        const CInstalledSteps found = Found();
        EXPECT_TRUE(found.steps.empty());
        ASSERT_EQ(found.problems.size(), 1u);
        EXPECT_NE(found.problems[0].find(c.reason), std::string::npos) << found.problems[0];
    }
}

TEST(StepParameter, TextFormsReadBackAndValuesAreChecked) {
    const CStepParameter sigma{"sigma", "σ", false, 0.5, 5, 1.25};
    EXPECT_EQ(ParseParameterLine(ParameterLine(sigma)), sigma);
    EXPECT_EQ(ParseParameterLine("sigma\tσ\t2\t0\t1\t0"), std::nullopt);
    EXPECT_EQ(ParseValuesLine(ValuesLine({{128, 0.1, -3}})), (std::vector<double>{128, 0.1, -3}));
    EXPECT_EQ(ParseValuesLine("1 x"), std::nullopt);
    for (const char* text : {"", "nan", "inf", "1.5x", " 1"})
        EXPECT_EQ(ParseValue(text), std::nullopt) << text;
    const CStepParameter threshold{"threshold", "阈值", true, 0, 255, 128};
    EXPECT_EQ(ValueProblem(threshold, 255), std::nullopt);
    EXPECT_NE(ValueProblem(threshold, 256), std::nullopt);
    EXPECT_NE(ValueProblem(threshold, -1), std::nullopt);
    EXPECT_NE(ValueProblem(threshold, 1.5), std::nullopt);
    EXPECT_EQ(NearestValue(threshold, 300), 255);
    EXPECT_EQ(NearestValue(threshold, 7.6), 8);
    EXPECT_EQ(NearestValue(sigma, 0.75), 0.75);
    EXPECT_EQ(ShownValues(std::vector{threshold, sigma}, std::vector{64.0, 1.5}), "阈值 64, σ 1.5");
}

} // namespace
