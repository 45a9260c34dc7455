// Loads files as the program's view loads them, for tests that measure loads from outside
// (their peak memory): the program started without showing its window, each file in turn opened
// as a single image in colour, its load waited for. Prints a line for each: "loaded
// WIDTHxHEIGHT" or the message the program showed, and nothing else.
#include "pathmap.h"
#include "vexlan.h"
#include "vexlanview.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: vexlan-test-loadprobe FILE...\n";
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    std::string said;
    AfxSetMessageBoxHandler([&said](const std::string& text, UINT) {
        said = text;
        return IDOK;
    });
    static char program[] = "vexlan";
    static char* arguments[] = {program};
    theApp.InitApplication(1, arguments);
    if (!theApp.InitInstance())
        return 2;
    auto* view =
        static_cast<CVexlanView*>(static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveView());
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const std::size_t slash = path.rfind('/');
        view->UseSingleFile(AfxSystemPath(path.substr(0, slash)).value_or(""),
                            path.substr(slash + 1));
        view->m_bColorMode = 1;
        said.clear();
        view->LoadImageAt(0);
        view->FinishLoading();
        std::cout << (said.empty() ? "loaded " + std::to_string(view->m_nWidth) + "x" +
                                         std::to_string(view->m_nHeight)
                                   : said)
                  << std::endl;
    }
    theApp.ExitInstance();
    return 0;
}
