#include "dialog.h"

#include "dialogtemplate.h"
#include "resourcefile.h"
#include "resourceicon.h"
#include "trace.h"
#include "winapp.h"
#include "wndimpl.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

namespace {

constexpr WORD buttonClassOrdinal = 0x0080;
constexpr WORD staticClassOrdinal = 0x0082;
constexpr DWORD staticTypeMask = 0x1F;
constexpr DWORD staticCentered = 0x1;     // SS_CENTER
constexpr DWORD staticRightAligned = 0x2; // SS_RIGHT
constexpr DWORD buttonTypeMask = 0xF;
constexpr DWORD plainPushButton = 0x0; // BS_PUSHBUTTON

// The templates name a typeface that is not installed here; the set-up installs this one for
// Chinese text.
void SubstituteTemplateFonts() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* family : {"宋体", "SimSun"})
            QFont::insertSubstitution(QString::fromUtf8(family), "WenQuanYi Micro Hei");
    });
}

QFont TemplateFont(const CDialogTemplate& dialogTemplate) {
    QFont font = QApplication::font();
    if ((dialogTemplate.style & DS_SETFONT) == 0)
        return font;
    SubstituteTemplateFonts();
    font.setFamily(QString::fromStdString(dialogTemplate.typeface));
    if (dialogTemplate.pointSize > 0)
        font.setPointSize(dialogTemplate.pointSize);
    return font;
}

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down, rounded to the nearest pixel.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        m_charWidth = metrics.averageCharWidth();
        m_charHeight = metrics.height();
    }
    int X(int units) const { return Scale(units, m_charWidth, 4); }
    int Y(int units) const { return Scale(units, m_charHeight, 8); }
    QRect Rect(const CDialogItemTemplate& item) const {
        return {X(item.x), Y(item.y), X(item.cx), Y(item.cy)};
    }

private:
    static int Scale(int units, int unit, int divisor) {
        return static_cast<int>(std::lround(static_cast<double>(units) * unit / divisor));
    }

    int m_charWidth = 0;
    int m_charHeight = 0;
};

// Without SS_NOPREFIX an '&' marks the next letter as the mnemonic and "&&" stands for '&'.
QString StaticText(const CDialogItemTemplate& item) {
    const QString text = QString::fromStdString(item.text.text);
    if (item.style & SS_NOPREFIX)
        return text;
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

// The largest image of the group: an icon control keeps the icon's own size, whatever the
// template says.
QSize LargestSize(const QIcon& icon) {
    const QList<QSize> sizes = icon.availableSizes();
    const auto largest = std::max_element(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        return a.width() * a.height() < b.width() * b.height();
    });
    return largest == sizes.end() ? QSize() : *largest;
}

class DialogWidget : public QDialog {
public:
    DialogWidget(CDialog& owner, QWidget* parent) : QDialog(parent), m_owner(owner) {}

    // Esc and the close box: the dialog's IDCANCEL row decides.
    void reject() override { m_owner.OnCmdMsg(IDCANCEL, CN_COMMAND, nullptr); }

private:
    CDialog& m_owner;
};

class DialogBuilder {
public:
    DialogBuilder(CDialog& owner, QDialog& dialog, const QFont& font)
        : m_owner(owner), m_dialog(dialog), m_units(font) {}

    // False when a control is of a kind the layer cannot build.
    bool AddControl(const CDialogItemTemplate& item) {
        QWidget* control = CreateControl(item);
        if (control == nullptr)
            return false;
        if ((item.style & WS_VISIBLE) == 0)
            control->hide();
        return true;
    }

    void SetClientSize(const CDialogTemplate& dialogTemplate) {
        m_dialog.setFixedSize(m_units.X(dialogTemplate.cx), m_units.Y(dialogTemplate.cy));
    }

private:
    QWidget* CreateControl(const CDialogItemTemplate& item) {
        if (!item.windowClass.isOrdinal)
            return nullptr;
        switch (item.windowClass.ordinal) {
        case buttonClassOrdinal:
            return CreateButton(item);
        case staticClassOrdinal:
            return (item.style & staticTypeMask) == SS_ICON ? CreateIcon(item) : CreateText(item);
        default:
            return nullptr;
        }
    }

    QWidget* CreateButton(const CDialogItemTemplate& item) {
        const DWORD type = item.style & buttonTypeMask;
        if (type != plainPushButton && type != BS_DEFPUSHBUTTON)
            return nullptr;
        auto* button = new QPushButton(QString::fromStdString(item.text.text), &m_dialog);
        button->setDefault(type == BS_DEFPUSHBUTTON);
        button->setGeometry(m_units.Rect(item));
        QObject::connect(button, &QPushButton::clicked, [&owner = m_owner, id = UINT{item.id}] {
            owner.OnCmdMsg(id, CN_COMMAND, nullptr);
        });
        return button;
    }

    QWidget* CreateText(const CDialogItemTemplate& item) {
        const DWORD type = item.style & staticTypeMask;
        if (type != SS_LEFT && type != staticCentered && type != staticRightAligned)
            return nullptr;
        auto* label = new QLabel(StaticText(item), &m_dialog);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        const Qt::Alignment across = type == staticCentered       ? Qt::AlignHCenter
                                     : type == staticRightAligned ? Qt::AlignRight
                                                                  : Qt::AlignLeft;
        label->setAlignment(across | Qt::AlignTop);
        label->setGeometry(m_units.Rect(item));
        return label;
    }

    QWidget* CreateIcon(const CDialogItemTemplate& item) {
        auto* label = new QLabel(&m_dialog);
        const QIcon icon = item.text.isOrdinal ? AfxLoadIcon(item.text.ordinal) : QIcon();
        const QSize size = LargestSize(icon);
        if (size.isEmpty()) {
            TRACE("A dialog's icon control names no icon of the resources.");
            label->setGeometry(m_units.Rect(item));
            return label;
        }
        label->setPixmap(icon.pixmap(size));
        label->setGeometry(QRect(m_units.Rect(item).topLeft(), size));
        return label;
    }

    CDialog& m_owner;
    QDialog& m_dialog;
    DialogUnits m_units;
};

std::optional<CDialogTemplate> LoadDialogTemplate(UINT id) {
    const CResourceEntry* entry =
        id <= 0xFFFF ? AfxGetResources().Find(RT_DIALOG, static_cast<WORD>(id)) : nullptr;
    if (entry == nullptr)
        return std::nullopt;
    return AfxParseDialogTemplate({entry->data, entry->size});
}

Qt::WindowFlags WindowFlagsOf(const CDialogTemplate& dialogTemplate) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialogTemplate.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

// The dialog's window with its controls, or null when a control cannot be built.
QDialog* CreateDialogWidget(CDialog& owner, const CDialogTemplate& dialogTemplate,
                            QWidget* parent) {
    auto* dialog = new DialogWidget(owner, parent);
    dialog->setWindowFlags(WindowFlagsOf(dialogTemplate));
    dialog->setWindowTitle(QString::fromStdString(dialogTemplate.title));
    dialog->setFont(TemplateFont(dialogTemplate));
    DialogBuilder builder(owner, *dialog, dialog->font());
    builder.SetClientSize(dialogTemplate);
    for (const CDialogItemTemplate& item : dialogTemplate.items) {
        if (!builder.AddControl(item)) {
            TRACE("A dialog template holds a control of a kind that cannot be shown.");
            delete dialog;
            return nullptr;
        }
    }
    return dialog;
}

} // namespace

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

INT_PTR CDialog::DoModal() {
    const auto dialogTemplate = LoadDialogTemplate(m_nIDTemplate);
    if (!dialogTemplate) {
        TRACE("A dialog template is missing or malformed.");
        return -1;
    }
    CWnd* parent = m_pParentWnd;
    if (parent == nullptr && AfxGetApp())
        parent = AfxGetApp()->m_pMainWnd;
    const QPointer<QDialog> dialog =
        CreateDialogWidget(*this, *dialogTemplate, AfxGetWidget(parent));
    if (!dialog)
        return -1;
    AfxAttachWidget(this, dialog);
    // A dialog that goes without EndDialog counts as cancelled.
    m_nModalResult = IDCANCEL;
    OnInitDialog();
    dialog->exec();
    delete dialog.data();
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    if (auto* dialog = qobject_cast<QDialog*>(AfxGetWidget(this)))
        dialog->done(nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange exchange(this, bSaveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}
