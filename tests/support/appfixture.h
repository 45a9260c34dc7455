// A started program for tests of the view: theApp's start-up without arguments, its view,
// and a folder for files. Message boxes are recorded instead of shown.
#pragma once

#include "bitmapfiles.h"
#include "vexlan.h"
#include "vexlandoc.h"
#include "vexlanview.h"
#include "wndimpl.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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
    // Answers the next file dialog: chooses hostPath, or cancels when it is empty. Returns
    // the dialog's filters and starting folder as it showed them.
    struct DialogSeen {
        QStringList filters;
        QString directory;
    };
    // The dialog is File Open's unless show brings up another.
    DialogSeen AnswerFileDialog(const std::string& hostPath,
                                const std::function<void()>& show = {}) {
        auto seen = std::make_shared<DialogSeen>();
        auto answer = std::make_shared<std::function<void()>>();
        *answer = [seen, answer, hostPath] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, *answer);
                return;
            }
            seen->filters = dialog->nameFilters();
            seen->directory = dialog->directory().absolutePath();
            if (hostPath.empty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(QString::fromStdString(hostPath));
            static_cast<QDialog*>(dialog)->accept(); // the file dialog hides it
        };
        QTimer::singleShot(0, *answer);
        if (show)
            show();
        else
            m_view->OnFileOpen();
        *answer = nullptr;
        return *seen;
    }
    void Open(const std::string& name) { AnswerFileDialog(HostPath(name)); }
    // Lets the program idle as between a user's actions: its event loop blocks for a moment,
    // which QTest::qWait's never does.
    static void Idle() {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    void OpenResult(const std::string& name) {
        AnswerFileDialog(HostPath(name), [this] { m_view->OnFileOpenResult(); });
    }

    QImage Painted() const { return AfxGetWidget(m_view)->grab().toImage(); }
    std::string Title() const { return m_view->GetDocument()->GetTitle(); }

    QTemporaryDir m_dir;
    std::string m_dirSystemPath;
    CVexlanView* m_view = nullptr;
    std::vector<std::string> m_messages;
};
