// A started program with a step folder of its own, and steps built into it the way their
// author builds them: what the tests of installed steps share.
#pragma once

#include "batchcapture.h"
#include "imagesetfixture.h"
#include "installedsteps.h"
#include "resource.h"
#include "stepbuild.h"

#include <QAction>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <string>

// The guide's example: each pixel's gray level, inverted.
constexpr char kInvert[] = R"(#include <vexlan/step.h>
VEXLAN_STEP(invert, "反色", "把每个像素的灰度反过来") {
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            image->result[y * image->width + x] = 255 - vexlan_gray_at(image, x, y);
}
)";

inline std::string StepWithBody(const std::string& name, const std::string& body) {
    return "#include <vexlan/step.h>\n#include <stdexcept>\n#include <cstdlib>\nVEXLAN_STEP(" +
           name + ", \"" + name + "\", \"试验\") {\n" + body + "\n}\n";
}

class InstalledStepTest : public ImageSetTest, protected BatchCapture {
protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", m_data.path().toLocal8Bit().constData(), 1);
        ImageSetTest::SetUp();
        WriteColors();
    }
    // Black, white, red; blue, green, gray 128, as blue, green, red bytes.
    void WriteColors() {
        Write("cat.bmp", MakeBitmap(3, 2, 24,
                                    Bytes{0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 0, 255, 0,
                                          128, 128, 128}));
    }
    std::string StepFolder() const { return UserStepFolder(); }

    // vexlan-step build on source saved as name.cpp; its exit status, its output in m_built.
    int BuildStep(const std::string& name, const std::string& source) {
        return BuildStepFile(m_sources.path().toStdString(), name, source, m_built);
    }

    QAction* MenuItem(const std::string& text) const {
        auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(theApp.m_pMainWnd));
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->text().toStdString() == text)
                    return action;
        return nullptr;
    }
    // Chooses the menu item and waits for the step's process to end.
    void Choose(const std::string& text) {
        QAction* item = MenuItem(text);
        ASSERT_NE(item, nullptr) << text;
        item->trigger();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsStepRunning(); }, 20000));
    }
    Bytes ResultPlane() const {
        const BYTE* plane = m_view->m_pResultImage.get();
        return plane ? Bytes(plane, plane + 6) : Bytes{};
    }

    // The number boxes of the 参数 panel, one per parameter; none while it is hidden.
    std::vector<QDoubleSpinBox*> ParameterBoxes() const {
        auto* pane = AfxGetWidget(theApp.m_pMainWnd)
                         ->findChild<QDockWidget*>(QString("pane%1").arg(IDW_PARAMETER_PANE));
        if (!pane || pane->isHidden())
            return {};
        const QList<QDoubleSpinBox*> boxes = pane->findChildren<QDoubleSpinBox*>();
        return {boxes.begin(), boxes.end()};
    }
    // Sets the first parameter's value in the panel as a user does, and waits for the result.
    void SetInPanel(double value) {
        ASSERT_FALSE(ParameterBoxes().empty());
        ParameterBoxes().front()->setValue(value);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_view->IsStepRunning(); }, 20000));
    }
    std::string MessagePane() const {
        auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
        return dynamic_cast<CStatusBar*>(frame->GetControlBar(AFX_IDW_STATUS_BAR))->GetPaneText(0);
    }
    // What vexlan-batch writes for cat.bmp with these arguments.
    Bytes Batched(std::vector<std::string> args) {
        const QTemporaryDir results;
        args.insert(args.begin(), {"-o", results.path().toStdString()});
        args.push_back(HostPath("cat.bmp"));
        EXPECT_EQ(Batch(args), kBatchAllSaved) << m_err;
        const Bytes saved = ReadFile(results.filePath("outcat.raw").toStdString());
        return saved.size() == 8 + 6 ? Bytes(saved.begin() + 8, saved.end()) : Bytes{};
    }

    QTemporaryDir m_data;
    QTemporaryDir m_sources;
    std::string m_built;
};
