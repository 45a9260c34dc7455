// Dialogs from templates: the template reader and the icon reader on good and broken bytes,
// the About box opened from its command and ended every way, and dialogs built from
// templates made here.
#include "appfixture.h"
#include "dialogtemplate.h"
#include "modaldialogs.h"
#include "resourcefile.h"
#include "resourceicon.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

extern "C" const BYTE vexlanResourceImageBegin[];
extern "C" const std::size_t vexlanResourceImageSize;

namespace {

using Bytes = std::vector<BYTE>;

std::span<const BYTE> Stored(WORD type, WORD id) {
    const CResourceEntry* entry = AfxGetResources().Find(type, id);
    return entry ? std::span<const BYTE>(entry->data, entry->size) : std::span<const BYTE>();
}

// Little-endian writing of the stored forms.
class ByteWriter {
public:
    ByteWriter& Byte(BYTE v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& Word(WORD v) { return Byte(static_cast<BYTE>(v)).Byte(static_cast<BYTE>(v >> 8)); }
    ByteWriter& Dword(DWORD v) {
        return Word(static_cast<WORD>(v)).Word(static_cast<WORD>(v >> 16));
    }
    ByteWriter& Text(const std::u16string& text) {
        for (const char16_t c : text)
            Word(c);
        return Word(0);
    }
    ByteWriter& Ordinal(WORD v) { return Word(0xFFFF).Word(v); }
    ByteWriter& Align() {
        while (bytes.size() % 4 != 0)
            Byte(0);
        return *this;
    }
    ByteWriter& Append(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }

    Bytes bytes;
};

constexpr WORD kButton = 0x0080;
constexpr WORD kStatic = 0x0082;
constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;

struct ControlSpec {
    DWORD style;
    WORD id;
    WORD classOrdinal;
    std::u16string text;
    WORD textOrdinal = 0; // stored instead of the text when set
};

Bytes DialogBytes(DWORD style, const std::u16string& title,
                  const std::vector<ControlSpec>& controls) {
    ByteWriter out;
    out.Dword(style).Dword(0).Word(static_cast<WORD>(controls.size()));
    out.Word(0).Word(0).Word(120).Word(60).Word(0).Word(0).Text(title);
    if (style & DS_SETFONT)
        out.Word(9).Text(u"宋体");
    for (const ControlSpec& control : controls) {
        out.Align().Dword(control.style).Dword(0).Word(4).Word(4).Word(40).Word(12);
        out.Word(control.id).Ordinal(control.classOrdinal);
        if (control.textOrdinal != 0)
            out.Ordinal(control.textOrdinal);
        else
            out.Text(control.text);
        out.Word(0);
    }
    return out.bytes;
}

// Every shorter copy of bytes, each in a block of its own size so that a read past its end
// is caught.
template <typename Parse> void ExpectEveryTruncationRefused(const Bytes& bytes, Parse parse) {
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const Bytes copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(parse(std::span<const BYTE>(copy))) << "accepted " << size << " bytes";
    }
}

TEST(DialogTemplate, ReadsTheAboutBox) {
    const auto about = AfxParseDialogTemplate(Stored(RT_DIALOG, IDD_ABOUTBOX));
    ASSERT_TRUE(about);
    EXPECT_EQ(about->title, "关于 Vexlan");
    EXPECT_EQ(about->pointSize, 9);
    EXPECT_EQ(about->typeface, "宋体");
    ASSERT_EQ(about->items.size(), 4u);
    const CDialogItemTemplate& icon = about->items[0];
    EXPECT_TRUE(icon.windowClass.isOrdinal);
    EXPECT_EQ(icon.windowClass.ordinal, kStatic);
    EXPECT_TRUE(icon.text.isOrdinal);
    EXPECT_EQ(icon.text.ordinal, IDR_MAINFRAME);
    EXPECT_EQ(about->items[1].text.text, "Vexlan 1.0 版");
    const CDialogItemTemplate& ok = about->items[3];
    EXPECT_EQ(ok.windowClass.ordinal, kButton);
    EXPECT_EQ(ok.id, IDOK);
    EXPECT_EQ(ok.text.text, "确定");
}

TEST(DialogTemplate, RefusesEveryTruncatedCopy) {
    const auto stored = Stored(RT_DIALOG, IDD_ABOUTBOX);
    ExpectEveryTruncationRefused(
        Bytes(stored.begin(), stored.end()),
        [](std::span<const BYTE> bytes) { return AfxParseDialogTemplate(bytes).has_value(); });
}

TEST(DialogTemplate, RefusesTheExtendedFormAndCountsTheBytesCannotHold) {
    ByteWriter extended;
    extended.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(0x80C80000).Word(0);
    extended.Word(0).Word(0).Word(10).Word(10).Word(0).Word(0).Text(u"");
    EXPECT_FALSE(AfxParseDialogTemplate(extended.bytes));

    Bytes manyControls = DialogBytes(WS_POPUP, u"x", {{kChildVisible, IDOK, kButton, u"OK"}});
    manyControls[8] = 0xFF; // the control count
    manyControls[9] = 0xFF;
    EXPECT_FALSE(AfxParseDialogTemplate(manyControls));
}

TEST(DialogTemplate, SkipsCreationDataAndReadsTextNames) {
    ByteWriter out;
    out.Dword(WS_POPUP).Dword(0).Word(2).Word(0).Word(0).Word(50).Word(20);
    out.Text(u"Menu").Text(u"Class").Text(u"");
    out.Align().Dword(kChildVisible).Dword(0).Word(1).Word(2).Word(3).Word(4).Word(7);
    out.Text(u"Button").Text(u"Go").Word(3).Byte(9).Byte(9).Byte(9);
    out.Align().Dword(kChildVisible).Dword(0).Word(5).Word(6).Word(7).Word(8).Word(9);
    out.Ordinal(kStatic).Ordinal(42).Word(0);
    const auto parsed = AfxParseDialogTemplate(out.bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->menu.text, "Menu");
    EXPECT_EQ(parsed->windowClass.text, "Class");
    EXPECT_TRUE(parsed->title.empty());
    ASSERT_EQ(parsed->items.size(), 2u);
    EXPECT_FALSE(parsed->items[0].windowClass.isOrdinal);
    EXPECT_EQ(parsed->items[0].windowClass.text, "Button");
    EXPECT_EQ(parsed->items[0].text.text, "Go");
    EXPECT_EQ(parsed->items[1].id, 9);
    EXPECT_EQ(parsed->items[1].x, 5);
    EXPECT_EQ(parsed->items[1].text.ordinal, 42);
}

// A 2 x 2, 4-bit icon: palette index 1 is red, 2 green, 3 blue; the mask hides the bottom
// right pixel.
Bytes SmallIcon() {
    ByteWriter out;
    out.Dword(40).Dword(2).Dword(4).Word(1).Word(4).Dword(0).Dword(0).Dword(0).Dword(0);
    out.Dword(0).Dword(0);
    const DWORD palette[16] = {0, 0x00FF0000, 0x0000FF00, 0x000000FF};
    for (const DWORD bgr : palette)
        out.Dword(bgr);
    out.Byte(0x30).Byte(0).Byte(0).Byte(0); // bottom row: blue, black
    out.Byte(0x12).Byte(0).Byte(0).Byte(0); // top row: red, green
    out.Dword(0x00000040).Dword(0);         // mask, bottom row first
    return out.bytes;
}

TEST(ResourceIcon, DecodesColoursBottomUpWithTheMaskAsTransparency) {
    const QImage image = AfxDecodeIconImage(SmallIcon());
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
}

TEST(ResourceIcon, MainIconHoldsBothImages) {
    const QIcon icon = AfxLoadIcon(IDR_MAINFRAME);
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
    const QImage large = icon.pixmap(32, 32).toImage();
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            opaque += qAlpha(large.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 0);
    EXPECT_TRUE(AfxLoadIcon(IDD_ABOUTBOX).isNull()) << "no icon group of that id";
}

TEST(ResourceIcon, RefusesTruncatedImagesAndGroups) {
    ExpectEveryTruncationRefused(SmallIcon(), [](std::span<const BYTE> bytes) {
        return !AfxDecodeIconImage(bytes).isNull();
    });
    const auto group = Stored(RT_GROUP_ICON, IDR_MAINFRAME);
    ExpectEveryTruncationRefused(Bytes(group.begin(), group.end()),
                                 [](std::span<const BYTE> bytes) {
                                     return !AfxIconFromGroup(bytes, AfxGetResources()).isNull();
                                 });
}

TEST(ResourceIcon, RefusesHeadersNoIconHas) {
    struct Broken {
        const char* what;
        std::size_t offset;
        DWORD value;
    };
    const Broken cases[] = {
        {"header size below 40", 0, 12},
        {"header size past the end", 0, 0x10000},
        {"zero width", 4, 0},
        {"width past 256", 4, 257},
        {"odd stored height", 8, 3},
        {"negative height", 8, 0xFFFFFFFC},
        {"24 bits", 14, 0x00000018},
        {"compressed", 16, 2},
        {"more colours than 4 bits", 32, 17},
    };
    for (const Broken& broken : cases) {
        Bytes bytes = SmallIcon();
        const std::size_t width = broken.offset == 14 ? 2 : 4;
        for (std::size_t i = 0; i < width; ++i)
            bytes[broken.offset + i] = static_cast<BYTE>(broken.value >> (8 * i));
        EXPECT_TRUE(AfxDecodeIconImage(bytes).isNull()) << broken.what;
    }
    ByteWriter missingImage;
    missingImage.Word(0).Word(1).Word(1).Byte(32).Byte(32).Byte(16).Byte(0);
    missingImage.Word(1).Word(4).Dword(744).Word(999);
    EXPECT_TRUE(AfxIconFromGroup(missingImage.bytes, AfxGetResources()).isNull());
}

// Dialog units of the template's font, "宋体" shown as the installed Chinese font.
class TemplateUnits {
public:
    TemplateUnits() {
        const QFontMetrics metrics(QFont("WenQuanYi Micro Hei", 9));
        m_width = metrics.averageCharWidth();
        m_height = metrics.height();
    }
    QRect Rect(int x, int y, int cx, int cy) const { return {X(x), Y(y), X(cx), Y(cy)}; }
    QSize Size(int cx, int cy) const { return {X(cx), Y(cy)}; }

private:
    int X(int units) const { return static_cast<int>(std::lround(units * m_width / 4.0)); }
    int Y(int units) const { return static_cast<int>(std::lround(units * m_height / 8.0)); }

    int m_width = 0;
    int m_height = 0;
};

class AboutBoxTest : public AppFixture {
protected:
    CFrameWnd* Frame() const { return static_cast<CFrameWnd*>(theApp.m_pMainWnd); }

    // Runs the About box by itself and ends it with end; returns its result.
    INT_PTR RunAbout(const std::function<void(QDialog&)>& end) {
        CAboutDlg about;
        INT_PTR result = 0;
        OnModalDialog([&] { result = about.DoModal(); }, end);
        return result;
    }
    static QPushButton* OkButton(QDialog& dialog) { return dialog.findChild<QPushButton*>(); }
};

TEST_F(AboutBoxTest, CommandShowsTheTemplateOverTheMainWindow) {
    const QString frameTitle = AfxGetWidget(Frame())->windowTitle();
    OnModalDialog([&] { EXPECT_TRUE(Frame()->SendCommand(ID_APP_ABOUT)); },
                  [&](QDialog& dialog) {
                      EXPECT_TRUE(dialog.isModal());
                      EXPECT_EQ(dialog.parentWidget(), AfxGetWidget(Frame()));
                      EXPECT_EQ(dialog.windowTitle(), "关于 Vexlan");
                      EXPECT_EQ(QFontInfo(dialog.font()).family(), "WenQuanYi Micro Hei");
                      const TemplateUnits units;
                      EXPECT_EQ(dialog.size(), units.Size(235, 55));

                      const auto labels = dialog.findChildren<QLabel*>();
                      ASSERT_EQ(labels.size(), 3);
                      EXPECT_FALSE(labels[0]->pixmap().isNull());
                      EXPECT_EQ(labels[0]->geometry(),
                                QRect(units.Rect(11, 17, 0, 0).topLeft(), QSize(32, 32)));
                      EXPECT_EQ(labels[1]->text(), "Vexlan 1.0 版");
                      EXPECT_EQ(labels[1]->geometry(), units.Rect(40, 10, 119, 8));
                      EXPECT_FALSE(labels[2]->text().isEmpty()) << "the legal notice";
                      EXPECT_EQ(labels[2]->geometry(), units.Rect(40, 25, 119, 8));

                      QPushButton* ok = OkButton(dialog);
                      ASSERT_NE(ok, nullptr);
                      EXPECT_EQ(ok->text(), "确定");
                      EXPECT_TRUE(ok->isDefault());
                      EXPECT_EQ(ok->geometry(), units.Rect(178, 7, 50, 14));
                      ok->click();
                  });
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(AfxGetWidget(Frame())->windowTitle(), frameTitle);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(AboutBoxTest, OkEnterEscAndTheCloseBoxEachEndIt) {
    EXPECT_EQ(RunAbout([](QDialog& dialog) { OkButton(dialog)->click(); }), IDOK);
    EXPECT_EQ(RunAbout([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); }), IDOK);
    EXPECT_EQ(RunAbout([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }),
              IDCANCEL);
    EXPECT_EQ(RunAbout([](QDialog& dialog) { dialog.close(); }), IDCANCEL);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Dialogs built from templates of its own, in resources that stand in for the program's.
constexpr WORD kDialogId = 300;

class TemplateDialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        AfxSetResourceImage(vexlanResourceImageBegin, vexlanResourceImageSize);
    }

    void UseTemplate(const Bytes& dialogTemplate) {
        ByteWriter image;
        image.Dword(static_cast<DWORD>(dialogTemplate.size())).Dword(32);
        image.Ordinal(RT_DIALOG).Ordinal(kDialogId).Dword(0).Word(0x30).Word(2052);
        image.Dword(0).Dword(0).Append(dialogTemplate).Align();
        m_image = image.bytes;
        AfxSetResourceImage(m_image.data(), m_image.size());
    }

    Bytes m_image;
};

// Records which way its data went.
class RecordingDialog : public CDialog {
public:
    RecordingDialog() : CDialog(kDialogId) {}
    std::vector<BOOL> exchanges;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        EXPECT_EQ(pDX->m_pDlgWnd, this);
        exchanges.push_back(pDX->m_bSaveAndValidate);
    }
};

TEST_F(TemplateDialogTest, MissingOrUnbuildableTemplateShowsNothing) {
    const auto expectRefused = [] {
        ExpectNoModalDialog([] { EXPECT_EQ(CDialog(kDialogId).DoModal(), -1); });
    };
    expectRefused(); // no such template
    UseTemplate(DialogBytes(WS_POPUP, u"x", {{kChildVisible, 5, 0x0081, u"an edit box"}}));
    expectRefused();
    UseTemplate(DialogBytes(WS_POPUP, u"x", {{kChildVisible | 0x3, 5, kButton, u"a check box"}}));
    expectRefused();
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(),
                            [](QWidget* w) { return qobject_cast<QDialog*>(w) != nullptr; }),
              0);
}

TEST_F(TemplateDialogTest, CancelButtonEndsWithoutSavingData) {
    UseTemplate(DialogBytes(
        WS_POPUP | WS_CAPTION | WS_SYSMENU, u"Ask",
        {{kChildVisible, IDOK, kButton, u"OK"}, {kChildVisible, IDCANCEL, kButton, u"Cancel"}}));
    RecordingDialog dialog;
    INT_PTR result = 0;
    OnModalDialog([&] { result = dialog.DoModal(); },
                  [](QDialog& shown) {
                      const auto buttons = shown.findChildren<QPushButton*>();
                      ASSERT_EQ(buttons.size(), 2);
                      buttons[1]->click();
                  });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.exchanges, std::vector<BOOL>{FALSE}) << "filled, never saved";

    RecordingDialog confirmed;
    OnModalDialog([&] { result = confirmed.DoModal(); },
                  [](QDialog& shown) { shown.findChildren<QPushButton*>()[0]->click(); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(confirmed.exchanges, (std::vector<BOOL>{FALSE, TRUE}));
}

// Asks before it lets Esc or the close box end it.
class StubbornDialog : public CDialog {
public:
    StubbornDialog() : CDialog(kDialogId) {}
    void OnCancel() override { ++refusals; }
    int refusals = 0;
};

TEST_F(TemplateDialogTest, EscAndTheCloseBoxGoThroughOnCancel) {
    UseTemplate(DialogBytes(WS_POPUP | WS_CAPTION | WS_SYSMENU, u"Stay",
                            {{kChildVisible | BS_DEFPUSHBUTTON, IDOK, kButton, u"OK"}}));
    StubbornDialog dialog;
    INT_PTR result = 0;
    OnModalDialog([&] { result = dialog.DoModal(); },
                  [&](QDialog& shown) {
                      QTest::keyClick(&shown, Qt::Key_Escape);
                      shown.close();
                      EXPECT_TRUE(shown.isVisible());
                      EXPECT_EQ(dialog.refusals, 2);
                      shown.findChild<QPushButton*>()->click();
                  });
    EXPECT_EQ(result, IDOK);
}

TEST_F(TemplateDialogTest, EnterPressesTheDeclaredDefaultButton) {
    UseTemplate(DialogBytes(WS_POPUP, u"Default",
                            {{kChildVisible, IDCANCEL, kButton, u"Cancel"},
                             {kChildVisible | BS_DEFPUSHBUTTON, IDOK, kButton, u"OK"}}));
    CDialog dialog(kDialogId);
    INT_PTR result = 0;
    OnModalDialog([&] { result = dialog.DoModal(); },
                  [](QDialog& shown) {
                      // The key goes where the user's would: to the focus, if any.
                      QApplication::setActiveWindow(&shown);
                      ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
                      QWidget* focus = QApplication::focusWidget();
                      QTest::keyClick(focus ? focus : &shown, Qt::Key_Return);
                  });
    EXPECT_EQ(result, IDOK);
}

TEST_F(TemplateDialogTest, StaticTextKeepsOrDropsMnemonicMarksAndHidesWhatIsNotVisible) {
    UseTemplate(DialogBytes(WS_POPUP | DS_SETFONT, u"Texts",
                            {{kChildVisible, 0xFFFF, kStatic, u"&Name && more"},
                             {kChildVisible | SS_NOPREFIX | 0x1, 0xFFFF, kStatic, u"&Kept"},
                             {WS_CHILD, 0xFFFF, kStatic, u"hidden"},
                             {kChildVisible | SS_ICON, 0xFFFF, kStatic, u"", IDR_MAINFRAME},
                             {kChildVisible | BS_DEFPUSHBUTTON, IDOK, kButton, u"OK"}}));
    CDialog dialog(kDialogId);
    OnModalDialog([&] { EXPECT_EQ(dialog.DoModal(), IDOK); },
                  [](QDialog& shown) {
                      const auto labels = shown.findChildren<QLabel*>();
                      ASSERT_EQ(labels.size(), 4);
                      EXPECT_EQ(labels[0]->text(), "Name & more");
                      EXPECT_EQ(labels[1]->text(), "&Kept");
                      EXPECT_TRUE(labels[1]->alignment() & Qt::AlignHCenter);
                      EXPECT_FALSE(labels[2]->isVisible());
                      EXPECT_TRUE(labels[3]->pixmap().isNull()) << "no icon in these resources";
                      QTest::keyClick(&shown, Qt::Key_Enter);
                  });
}

} // namespace
