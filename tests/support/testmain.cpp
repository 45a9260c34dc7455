// Runs the tests inside a toolkit application on the offscreen platform, with settings and
// installed steps in folders of their own.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settingsHome;
    setenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit().constData(), 1);
    QTemporaryDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
