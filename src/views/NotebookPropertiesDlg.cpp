#include "views/NotebookPropertiesDlg.h"

#include "document/ClipVaultDoc.h"
#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <ctime>

namespace {

constexpr unsigned kIdsFileSize = 33046;      // %d: kilobytes
constexpr unsigned kIdsFileCreated = 33047;   // %s: the date
constexpr unsigned kIdsFileModified = 33048;  // %s: the date
constexpr unsigned kIdsNeverSaved = 33075;
constexpr unsigned kIdsDateFormat = 33084;    // strftime fields

std::string FormatDate(const QDateTime& when) {
    if (!when.isValid()) return std::string();
    const std::time_t t = static_cast<std::time_t>(when.toSecsSinceEpoch());
    std::tm local{};
    if (!localtime_r(&t, &local)) return std::string();
    const std::string format = FromQ(LoadQString(kIdsDateFormat));
    char buffer[128];
    const size_t n = format.empty() ? 0 : std::strftime(buffer, sizeof buffer, format.c_str(), &local);
    return std::string(buffer, n);
}

void SetLabel(CTemplateDialog& dlg, unsigned nID, const QString& text) {
    if (auto* l = dlg.Control<QLabel>(nID)) l->setText(text);
}

}  // namespace

CNotebookPropertiesDlg::CNotebookPropertiesDlg(CClipVaultDoc& doc, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_doc(doc) {
    m_strText1 = doc.m_strReserved1;
    m_strText2 = doc.m_strReserved2;
    SetHelpContext(kHelpContext);
}

void CNotebookPropertiesDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_TEXT1, m_strText1);
    DDX_Text(dx, IDC_TEXT2, m_strText2);
}

bool CNotebookPropertiesDlg::OnInitDialog() {
    if (!CTemplateDialog::OnInitDialog()) return false;
    // A read-only notebook's texts can be read and copied, not changed,
    // and the dialog says why rather than leaving the boxes dead.
    const bool bReadOnly = m_doc.IsReadOnly();
    for (unsigned nID : {unsigned(IDC_TEXT1), unsigned(IDC_TEXT2)})
        if (auto* e = Control<QLineEdit>(nID)) e->setReadOnly(bReadOnly);
    if (auto* l = Control<QLabel>(IDC_READ_ONLY)) {
        l->setText(bReadOnly ? LoadQString(m_doc.ReadOnlyMessage()) : QString());
        l->setVisible(bReadOnly);
    }
    ShowFileFacts();
    return true;
}

void CNotebookPropertiesDlg::ShowFileFacts() {
    const std::string& path = m_doc.GetPathName();
    if (path.empty()) {
        if (auto* w = Item(IDC_CREATED)) w->hide();
        if (auto* w = Item(IDC_SIZE)) w->hide();
        SetLabel(*this, IDC_MODIFIED, LoadQString(kIdsNeverSaved));
        return;
    }
    for (unsigned nID : {unsigned(IDC_SIZE), unsigned(IDC_CREATED), unsigned(IDC_MODIFIED)}) SetLabel(*this, nID, {});
    QFile file(ToQ(path));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QFileInfo info(file);
    // Not every file system keeps a birth time; the last change of the
    // file's entry is the nearest it has.
    QDateTime created = info.birthTime();
    if (!created.isValid()) created = info.metadataChangeTime();
    SetLabel(*this, IDC_SIZE, FormatMessageText(LoadQString(kIdsFileSize), {std::to_string(file.size() / 1000)}));
    SetLabel(*this, IDC_CREATED, FormatMessageText(LoadQString(kIdsFileCreated), {FormatDate(created)}));
    SetLabel(*this, IDC_MODIFIED, FormatMessageText(LoadQString(kIdsFileModified), {FormatDate(info.lastModified())}));
}

void CNotebookPropertiesDlg::OnOK() {
    RunGuarded([this] {
        if (!UpdateData(true)) return;
        // A locked or damaged notebook is read-only: its texts were shown,
        // not offered.
        if (!m_doc.IsReadOnly()) {
            m_doc.m_strReserved1 = m_strText1;
            m_doc.m_strReserved2 = m_strText2;
            m_doc.SetModifiedFlag(true);
        }
        EndDialog(host::IDOK);
    });
}

bool ShowNotebookProperties(CClipVaultDoc& doc, QWidget* pParent) {
    CNotebookPropertiesDlg dlg(doc, pParent);
    return dlg.DoModal() == host::IDOK;
}
