#include "views/EditorDialogs.h"

#include "platform/Charset.h"
#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/QtText.h"

#include <QListWidget>
#include <QPushButton>

// ---------------------------------------------------------------- table

CInsertTableDlg::CInsertTableDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CInsertTableDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_ROWS, m_nRows);
    DDV_MinMaxInt(dx, m_nRows, 1, 99);
    DDX_Text(dx, IDC_COLUMNS, m_nColumns);
    DDV_MinMaxInt(dx, m_nColumns, 1, 99);
    DDX_Text(dx, IDC_TABLE_ATTRS, m_strTableAttrs);
    DDX_Text(dx, IDC_CELL_ATTRS, m_strCellAttrs);
    DDX_Text(dx, IDC_CAPTION, m_strCaption);
}

// ---------------------------------------------------------------- nudge, grid

CNudgeDlg::CNudgeDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CNudgeDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_X, m_nX);
    DDV_MinMaxInt(dx, m_nX, 0, 512);
    DDX_Text(dx, IDC_Y, m_nY);
    DDV_MinMaxInt(dx, m_nY, 0, 512);
}

CAlignGridDlg::CAlignGridDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CAlignGridDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_X, m_nX);
    DDV_MinMaxInt(dx, m_nX, 0, 1024);
    DDX_Text(dx, IDC_Y, m_nY);
    DDV_MinMaxInt(dx, m_nY, 0, 1024);
}

// ---------------------------------------------------------------- date and time

std::string CInsertDateTimeDlg::s_strLastFormat;
std::function<time_t()> CInsertDateTimeDlg::s_fnNow = [] { return time(nullptr); };

namespace {

// glibc spells "no leading zero" as "%-m" where the forms say "%#m". A "%%"
// is a literal percent sign and is passed over whole.
std::string NativeFormat(const std::string& strFormat) {
    std::string out;
    out.reserve(strFormat.size());
    for (size_t i = 0; i < strFormat.size(); ++i) {
        out += strFormat[i];
        if (strFormat[i] != '%' || i + 1 >= strFormat.size()) continue;
        const char next = strFormat[++i];
        out += next == '#' ? '-' : next;
    }
    return out;
}

// The longest start of `s` of at most `nMax` bytes that ends on a character
// boundary of the process code page: a cut inside a character does not
// survive the round trip through UTF-16.
std::string CutWhole(const std::string& s, size_t nMax) {
    if (s.size() <= nMax) return s;
    for (size_t n = nMax; n > 0; --n) {
        const std::string head = s.substr(0, n);
        if (charset::Utf16LeToAnsi(charset::AnsiToUtf16(head)) == head) return head;
    }
    return std::string();
}

bool LocalNow(struct tm& out) {
    const time_t now = CInsertDateTimeDlg::s_fnNow ? CInsertDateTimeDlg::s_fnNow() : time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

}  // namespace

const std::vector<std::string>& CInsertDateTimeDlg::Formats() {
    // The Chinese forms are written here in UTF-8 and turned into the code
    // page of the run once, on first use (after start-up chose it).
    static const std::vector<std::string> formats = [] {
        const char* const utf8[] = {
            "%Y年%#m月%#d日", "%Y年%#m月%#d日星期%w", "%Y年%#m月", "%#H时%#M分", "%#H时%#M分%#S秒",
            "%y/%m/%d", "%Y/%#m/%#d", "%#m/%#d/%Y", "%#m/%#d/%y", "%Y-%m-%d", "%#d-%m-%Y", "%#m.%#d.%Y",
            "%A, %B %d, %Y", "%B %d, %Y", "%b %#d, %y", "%#d %B, %Y", "%B, %y", "%b-%y",
            "%#m/%#d/%Y %I:%M %p", "%#m/%#d/%Y %I:%M:%S %p", "%I:%M %p", "%I:%M:%S %p", "%H:%M", "%H:%M:%S",
        };
        std::vector<std::string> out;
        for (const char* f : utf8) out.push_back(charset::Utf8ToAnsi(f));
        return out;
    }();
    return formats;
}

std::string CInsertDateTimeDlg::FormatTime(const std::string& strFormat, const struct tm& tmLocal) {
    if (strFormat.empty()) return std::string();
    const std::string native = NativeFormat(strFormat);
    // Room to spare, so that an overlong text is cut rather than lost.
    char buf[1024];
    const size_t n = std::strftime(buf, sizeof buf, native.c_str(), &tmLocal);
    return CutWhole(std::string(buf, n), kMaxTextBytes);
}

CInsertDateTimeDlg::CInsertDateTimeDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {
    if (auto* b = Control<QPushButton>(IDC_DEFAULT))
        connect(b, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnDefault(); }); });
}

bool CInsertDateTimeDlg::OnInitDialog() {
    if (!CTemplateDialog::OnInitDialog()) return false;
    auto* list = Control<QListWidget>(IDC_FORMATS);
    if (!list) return false;
    struct tm now = {};
    const bool bTime = LocalNow(now);
    const std::vector<std::string>& formats = Formats();
    const std::string last = LowerAscii(s_strLastFormat);
    int nSelect = 0;
    list->clear();
    for (size_t i = 0; i < formats.size(); ++i) {
        list->addItem(bTime ? ToQ(FormatTime(formats[i], now)) : QString());
        if (!last.empty() && nSelect == 0 && LowerAscii(formats[i]) == last) nSelect = static_cast<int>(i);
    }
    list->setCurrentRow(nSelect);
    return true;
}

int CInsertDateTimeDlg::SelectedRow() const {
    auto* list = Control<QListWidget>(IDC_FORMATS);
    if (!list) return -1;
    const int n = list->currentRow();
    if (n < 0 || n >= static_cast<int>(Formats().size()) || !list->item(n)->isSelected()) return -1;
    return n;
}

void CInsertDateTimeDlg::OnDefault() {
    const int n = SelectedRow();
    if (n >= 0) s_strLastFormat = Formats()[static_cast<size_t>(n)];
}

void CInsertDateTimeDlg::OnOK() {
    m_strText.clear();
    // The time is read again: the dialog may have been open a while.
    const int n = SelectedRow();
    struct tm now = {};
    if (n >= 0 && LocalNow(now)) m_strText = FormatTime(Formats()[static_cast<size_t>(n)], now);
    CTemplateDialog::OnOK();
}
