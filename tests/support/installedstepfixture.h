// A started program with a step folder of its own, and steps built into it the way their
// author builds them: what the tests of installed steps share.
#pragma once

#include "batchcapture.h"
#include "imagesetfixture.h"
#include "installedsteps.h"
#include "stepbuild.h"

#include <QAction>
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

    QTemporaryDir m_data;
    QTemporaryDir m_sources;
    std::string m_built;
};
