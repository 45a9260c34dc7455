// The step table, and the view's one routine that runs any step: what a step is given, the
// two planes it fills, the flag and the repaint.
#include "appfixture.h"
#include "colorsegmentation.h"
#include "resource.h"
#include "steptable.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

using testbitmaps::Bytes;
using testbitmaps::MakeBitmap;

TEST(StepTable, IdsAndNamesAreUniqueAndIdsLieInTheProgramsRange) {
    std::set<UINT> ids;
    std::set<std::string> names;
    for (const CProcessingStep& step : ProcessingSteps()) {
        SCOPED_TRACE(step.name);
        EXPECT_TRUE(ids.insert(step.commandId).second) << "two steps share a command id";
        EXPECT_TRUE(names.insert(step.name).second) << "two steps share a name";
        EXPECT_GE(step.commandId, UINT{ID_COLOR_SEGMENTATION});
        EXPECT_LT(step.commandId, UINT{ID_NEXT_STEP_COMMAND})
            << "move ID_NEXT_STEP_COMMAND in vexlan/resource.h past the new step's id";
        EXPECT_FALSE(std::string(step.name).empty());
        EXPECT_TRUE(std::ranges::none_of(std::string(step.name), [](char c) {
            return std::isspace(static_cast<unsigned char>(c)) ||
                   std::isupper(static_cast<unsigned char>(c));
        })) << "a step's name is what a teacher types: lower case, no spaces";
        EXPECT_NE(step.run, nullptr);
    }
    static_assert(ID_NEXT_STEP_COMMAND <= ID_FIRST_INSTALLED_STEP,
                  "from ID_FIRST_INSTALLED_STEP on, ids go to installed steps");
}

TEST(StepTable, FindsTheSegmentationByCommandAndByName) {
    const CProcessingStep* byCommand = FindStepByCommand(ID_COLOR_SEGMENTATION);
    ASSERT_NE(byCommand, nullptr);
    EXPECT_EQ(byCommand->run, &SegmentColors);
    EXPECT_EQ(FindStepByName("segment"), byCommand);
    EXPECT_EQ(FindStepByName("Segment"), nullptr);
    EXPECT_EQ(FindStepByName(""), nullptr);
    EXPECT_EQ(FindStepByCommand(ID_NEXT_STEP_COMMAND), nullptr);
}

// A step that keeps what it was given and writes one byte per pixel from the gray plane.
struct SeenByStep {
    int calls = 0;
    CStepInput input;
    Bytes gray;
    Bytes color;
    Bytes resultOnEntry;
};
SeenByStep g_seen;

void RecordingStep(const CStepInput& input, BYTE* result) {
    const std::size_t size = *PlaneSize(input.width, input.height);
    ++g_seen.calls;
    g_seen.input = input;
    g_seen.gray.assign(input.grayPlane, input.grayPlane + size);
    g_seen.color.assign(input.colorPlane, input.colorPlane + 3 * size);
    g_seen.resultOnEntry.assign(result, result + size);
    for (std::size_t i = 0; i < size; ++i)
        result[i] = static_cast<BYTE>(0x40 + input.grayPlane[i]);
}

constexpr CProcessingStep kRecording{ID_NEXT_STEP_COMMAND, "record", RecordingStep};

TEST(ApplyStep, ResultArrivesZeroedAndEmptyImagesRunNothing) {
    g_seen = {};
    const BYTE gray[2] = {1, 2};
    const BYTE color[6] = {};
    BYTE result[3] = {0xAA, 0xAA, 0xAA};
    ApplyStep(kRecording, {2, 1, gray, color}, result);
    EXPECT_EQ(g_seen.resultOnEntry, (Bytes{0, 0}));
    EXPECT_EQ(Bytes(result, result + 3), (Bytes{0x41, 0x42, 0xAA}));
    ApplyStep(kRecording, {0, 5, gray, color}, result);
    ApplyStep(kRecording, {3, -1, gray, color}, result);
    EXPECT_EQ(g_seen.calls, 1);

    // A plane that comes zeroed, or a step that writes every byte, is not zeroed again.
    CProcessingStep writesEveryByte = kRecording;
    writesEveryByte.writesEveryByte = true;
    for (const auto& [step, plane] : {std::pair{kRecording, CResultPlane::Zeroed},
                                      std::pair{writesEveryByte, CResultPlane::Uninitialised}}) {
        result[0] = 0xAA;
        ApplyStep(step, {1, 1, gray, color}, result, plane);
        EXPECT_EQ(g_seen.resultOnEntry, Bytes{0xAA});
    }
}

using StepRoutineTest = AppFixture;

// An 8-bit file gives palette indices in the gray plane and the palette's colours in the
// colour plane; a 24-bit file zeros and its own colours.
TEST_F(StepRoutineTest, StepSeesTheLoadedPlanesAsTheGuideDescribesThem) {
    Write("indexed.bmp", MakeBitmap(2, 1, 8, Bytes{2, 1}, {0x000000, 0x112233, 0x445566}));
    Load("indexed.bmp");
    g_seen = {};
    m_view->RunStep(kRecording);
    EXPECT_EQ(g_seen.input.width, 2);
    EXPECT_EQ(g_seen.input.height, 1);
    EXPECT_EQ(g_seen.gray, (Bytes{2, 1}));
    EXPECT_EQ(g_seen.color, (Bytes{0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));

    Write("colour.bmp", MakeBitmap(1, 2, 24, Bytes{1, 2, 3, 4, 5, 6}));
    Load("colour.bmp");
    m_view->RunStep(kRecording);
    EXPECT_EQ(g_seen.gray, (Bytes{0, 0}));
    EXPECT_EQ(g_seen.color, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(StepRoutineTest, ResultIsPaintedAndIsTheOutputPlane) {
    Write("indexed.bmp", MakeBitmap(2, 1, 8, Bytes{0, 1}));
    Load("indexed.bmp");
    const std::size_t loaded = AfxLiveBlockCount("vexlanview");
    m_view->RunStep(kRecording);
    m_view->RunStep(kRecording);
    EXPECT_EQ(AfxLiveBlockCount("vexlanview"), loaded + 1);
    EXPECT_EQ(m_view->m_bShowResult, 1);
    ASSERT_TRUE(m_view->m_pResultImage && m_view->m_pOutputImage);
    EXPECT_EQ(m_view->m_pResultImage.get(), m_view->m_pOutputImage.get());
    EXPECT_EQ(Bytes(m_view->m_pOutputImage.get(), m_view->m_pOutputImage.get() + 2),
              (Bytes{0x40, 0x41}));
    const QImage shot = Painted();
    EXPECT_EQ(shot.pixel(2, 0) & 0xFFFFFF, 0x404040u);
    EXPECT_EQ(shot.pixel(3, 0) & 0xFFFFFF, 0x414141u);
}

// The sanitizers' allocator reports a request this large instead of failing it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXLAN_ASAN 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(VEXLAN_ASAN)
TEST_F(StepRoutineTest, FailedAllocationKeepsThePreviousPlanesAndFlag) {
    Write("dot.bmp", MakeBitmap(1, 1, 24, Bytes{9, 9, 9}));
    Load("dot.bmp");
    m_view->RunStep(kRecording);
    const BYTE* result = m_view->m_pResultImage.get();
    const BYTE* output = m_view->m_pOutputImage.get();
    m_view->m_bShowResult = 0;
    m_view->m_nWidth = m_view->m_nHeight = 1 << 30; // 2^60 bytes: no machine has them
    g_seen = {};
    m_view->RunStep(kRecording);
    EXPECT_EQ(g_seen.calls, 0);
    EXPECT_EQ(m_view->m_pResultImage.get(), result);
    EXPECT_EQ(m_view->m_pOutputImage.get(), output);
    EXPECT_EQ(m_view->m_bShowResult, 0);
    m_view->m_nWidth = m_view->m_nHeight = 1;
}
#endif

} // namespace
