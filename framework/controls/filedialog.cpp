#include "filedialog.h"

#include "messagebox.h"
#include "pathmap.h"
#include "winapp.h"
#include "wndimpl.h"

#include <QFileDialog>
#include <QLineEdit>

namespace {

// A name typed in the program's own form ("D:\outcat.raw", as the program's messages show
// paths) is the file it maps to, which the toolkit's dialog would not find by itself.
class ProgramPathDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

protected:
    void accept() override {
        const auto* edit = findChild<QLineEdit*>("fileNameEdit");
        const std::string typed = edit ? edit->text().toStdString() : std::string();
        const bool programForm =
            typed.find('\\') != std::string::npos || (typed.size() >= 2 && typed[1] == ':');
        if (programForm)
            if (const std::optional<std::string> host = AfxHostPath(typed))
                selectFile(QString::fromStdString(*host));
        QFileDialog::accept();
    }
};

// "desc|pattern|desc|pattern||" as the constructor takes it, in the zero-separated form.
std::string FilterStorageOf(LPCSTR lpszFilter) {
    std::string storage = lpszFilter ? lpszFilter : "";
    for (char& c : storage)
        if (c == '|')
            c = '\0';
    return storage;
}

QStringList NameFiltersOf(const char* filter) {
    QStringList filters;
    while (filter && *filter) {
        const QString description = QString::fromUtf8(filter);
        filter += std::char_traits<char>::length(filter) + 1;
        QString patterns = QString::fromUtf8(filter);
        filter += std::char_traits<char>::length(filter) + 1;
        patterns.replace(';', ' ');
        filters << description + " (" + patterns + ")";
    }
    if (filters.isEmpty())
        filters << "* (*)";
    return filters;
}

} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName,
                         DWORD dwFlags, LPCSTR lpszFilter, CWnd* pParentWnd, DWORD,
                         BOOL bVistaStyle)
    : m_bOpenFileDialog(bOpenFileDialog), m_bVistaStyle(bVistaStyle), m_pParentWnd(pParentWnd),
      m_strPathName(lpszFileName ? lpszFileName : ""),
      m_strFilterStorage(FilterStorageOf(lpszFilter)) {
    m_ofn.Flags = dwFlags;
    m_ofn.lpstrDefExt = lpszDefExt;
    m_ofn.lpstrFilter = lpszFilter ? m_strFilterStorage.c_str() : nullptr;
}

int CFileDialog::DoModal() {
    CWnd* parent = m_pParentWnd;
    if (parent == nullptr && AfxGetApp())
        parent = AfxGetApp()->m_pMainWnd;
    ProgramPathDialog dialog(AfxGetWidget(parent));
    dialog.setAcceptMode(m_bOpenFileDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(m_bOpenFileDialog ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !m_bVistaStyle);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (m_ofn.Flags & OFN_OVERWRITEPROMPT) == 0);
    dialog.setNameFilters(NameFiltersOf(m_ofn.lpstrFilter));
    if (m_ofn.lpstrTitle)
        dialog.setWindowTitle(QString::fromUtf8(m_ofn.lpstrTitle));
    if (m_ofn.lpstrDefExt)
        dialog.setDefaultSuffix(QString::fromUtf8(m_ofn.lpstrDefExt));
    if (m_ofn.lpstrInitialDir)
        if (const auto directory = AfxHostPath(m_ofn.lpstrInitialDir))
            dialog.setDirectory(QString::fromStdString(*directory));
    if (!m_strPathName.empty())
        if (const auto file = AfxHostPath(m_strPathName))
            dialog.selectFile(QString::fromStdString(*file));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return IDCANCEL;
    const std::string chosen = dialog.selectedFiles().constFirst().toStdString();
    const auto path = AfxSystemPath(chosen);
    if (!path) {
        AfxMessageBox(AfxBackslashNameMessage(chosen).c_str(), MB_ICONERROR);
        return IDCANCEL;
    }
    m_strPathName = *path;
    return IDOK;
}
