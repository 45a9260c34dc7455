// A started program for tests of the view: theApp's start-up without arguments, its view,
// and a folder for files. Message boxes are recorded instead of shown.
#pragma once

#include "bitmapfiles.h"
#include "vexlan.h"
#include "vexlandoc.h"
#include "vexlanview.h"
#include "wndimpl.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        AfxSetMessageBoxHandler([this](const std::string& text, UINT) {
            m_messages.push_back(text);
            return IDOK;
        });
        static char program[] = "vexlan";
        static char* argv[] = {program};
        theApp.InitApplication(1, argv);
        ASSERT_TRUE(theApp.InitInstance());
        m_view =
            static_cast<CVexlanView*>(static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveView());
        m_dirSystemPath = *AfxSystemPath(m_dir.path().toStdString());
    }
    void TearDown() override {
        theApp.ExitInstance();
        AfxSetMessageBoxHandler({});
    }

    std::string HostPath(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    void Write(const std::string& name, const testbitmaps::Bytes& bytes) const {
        testbitmaps::WriteFile(HostPath(name), bytes);
    }
    // Makes name in the test folder the image set and loads it.
    void Load(const std::string& name) {
        m_view->UseSingleFile(m_dirSystemPath, name);
        m_view->LoadImageAt(0);
    }
    QImage Painted() const { return AfxGetWidget(m_view)->grab().toImage(); }
    std::string Title() const { return m_view->GetDocument()->GetTitle(); }

    QTemporaryDir m_dir;
    std::string m_dirSystemPath;
    CVexlanView* m_view = nullptr;
    std::vector<std::string> m_messages;
};
