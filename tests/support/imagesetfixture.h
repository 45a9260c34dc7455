// The started program with drive D: mapped to the test folder, and the helpers for opening
// images and lists through the real file dialog.
#pragma once

#include "appfixture.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

using testbitmaps::Bytes;
using testbitmaps::MakeBitmap;

inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

class ImageSetTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        setenv("VEXLAN_DRIVE_D", m_dir.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override {
        unsetenv("VEXLAN_DRIVE_D");
        AppFixture::TearDown();
    }
    // A 2 x 1 8-bit bitmap whose two pixels have the palette entry index.
    void WriteIndexed(const std::string& name, BYTE index) {
        Write(name, MakeBitmap(2, 1, 8, Bytes{index, index}, {0x0000FF, 0x00FF00, 0xFF0000}));
    }
    void WriteText(const std::string& name, const std::string& text) {
        std::ofstream(HostPath(name), std::ios::binary) << text;
    }
    Bytes ReadBack(const std::string& name) const { return ReadFile(HostPath(name)); }
    static Bytes ReadFile(const std::string& hostPath) {
        std::ifstream in(hostPath, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void Key(Qt::Key key) { QTest::keyClick(AfxGetWidget(m_view), key); }
    // Loads name as File Open does, to its end, and returns what reached standard error
    // meanwhile.
    std::string LoadCapturingErrors(const std::string& name) {
        std::fflush(stderr);
        const int saved = dup(2);
        const std::string errors = HostPath("stderr.txt");
        const int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, 2);
        close(file);
        Load(name);
        m_view->FinishLoading();
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        const Bytes said = ReadFile(errors);
        return std::string(said.begin(), said.end());
    }
};
