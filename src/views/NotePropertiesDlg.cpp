#include "views/NotePropertiesDlg.h"

#include "document/Records.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <ctime>

namespace {
constexpr unsigned kIdsNameLine = 33078;
constexpr unsigned kIdsSourceLine = 33079;
constexpr unsigned kIdsDateLine = 33080;
constexpr unsigned kIdsContentHeld = 33081;
constexpr unsigned kIdsContentLinked = 33082;
constexpr unsigned kIdsDateFormat = 33084;

QString Line(unsigned nID, const std::string& value) {
    return FormatMessageText(CurrentLanguage().String(nID), {value});
}
}  // namespace

std::string FormatNoteDate(int64_t tmDate) {
    const std::string format = FromQ(CurrentLanguage().String(kIdsDateFormat));
    if (format.empty()) return std::string();
    const time_t tt = static_cast<time_t>(tmDate);
    struct tm tmLocal;
    if (!localtime_r(&tt, &tmLocal)) return std::string();
    char buf[256];
    const size_t n = std::strftime(buf, sizeof buf, format.c_str(), &tmLocal);
    return std::string(buf, n);
}

CNotePropertiesDlg::CNotePropertiesDlg(CNote* pNote, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_pNote(pNote) {}

void CNotePropertiesDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_NAME, m_strName);
    DDX_Text(dx, IDC_SOURCE, m_strSource);
    DDX_Text(dx, IDC_DATE, m_strDate);
    DDX_Text(dx, IDC_CONTENT, m_strContent);
}

bool CNotePropertiesDlg::OnInitDialog() {
    if (m_pNote) {
        m_strName = Line(kIdsNameLine, m_pNote->m_strName);
        m_strSource = Line(kIdsSourceLine, m_pNote->m_strSource);
        m_strDate = Line(kIdsDateLine, FormatNoteDate(m_pNote->m_tmDate));
        m_strContent = CurrentLanguage().String(m_pNote->m_nContentType == kContentHeld ? kIdsContentHeld
                                                                                       : kIdsContentLinked);
    }
    return CTemplateDialog::OnInitDialog();
}

int ShowNoteProperties(CNote* pNote, QWidget* pParent) {
    CNotePropertiesDlg dlg(pNote, pParent);
    return dlg.DoModal();
}
