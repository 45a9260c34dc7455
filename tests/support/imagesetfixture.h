// The started program with drive D: mapped to the test folder, and the helpers for opening
// images and lists through the real file dialog.
#pragma once

#include "appfixture.h"

#include <QTest>

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
};
