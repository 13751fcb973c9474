#include "views/OptionsPages.h"

#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"
#include "platform/gui/VirtualKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr int kOptionsHelpContext = 4011;
constexpr unsigned kIdsInvalidHotKey = 33030;
constexpr uint32_t kMsPerMinute = 60000;
// A capture budget the page offers: up to a terabyte.
constexpr int kMaxCaptureBudgetMB = 1 << 20;

// A stored 0 reads as the default, which is what the page shows; a larger
// budget stored by other means stays unless the user changes the number.
int ShownBudget(const CDownloadOptions& d) {
    const uint32_t n = d.m_nCaptureBudgetMB ? d.m_nCaptureBudgetMB : CDownloadOptions().m_nCaptureBudgetMB;
    return static_cast<int>(std::min<uint32_t>(n, kMaxCaptureBudgetMB));
}

void Enable(CTemplatePage& page, unsigned nID, bool bEnable) {
    if (QWidget* p = page.Item(nID)) p->setEnabled(bEnable);
}

bool Checked(CTemplatePage& page, unsigned nID) {
    auto* box = page.Control<QAbstractButton>(nID);
    return box && box->isChecked();
}

}  // namespace

bool IsValidHotKey(const CHotKeyOptions& key) {
    return (key.m_nVirtualKey >= 48 && key.m_nVirtualKey <= 90) || (key.m_nVirtualKey >= 112 && key.m_nVirtualKey <= 123);
}

std::string HotKeyText(const CHotKeyOptions& key) {
    std::string text;
    if (key.m_bCtrl) text += "Ctrl";
    if (key.m_bShift) text += text.empty() ? "Shift" : "+Shift";
    if (key.m_bAlt) text += text.empty() ? "Alt" : "+Alt";
    const uint32_t code = key.m_nVirtualKey;
    if (code >= 48 && code <= 90) {
        if (!text.empty()) text += '+';
        text += static_cast<char>(code);
    } else if (code >= 112 && code <= 123) {
        if (!text.empty()) text += '+';
        text += "F" + std::to_string(code - 111);
    }
    return text;
}

// ---- the page around a template

CPageForm::CPageForm(unsigned nTemplateID, CTemplatePage& page) : CTemplateDialog(nTemplateID, &page), m_page(page) {
    setWindowFlags(Qt::Widget);
    SetHelpContext(kOptionsHelpContext);
}

void CPageForm::DoDataExchange(CDataExchange& dx) { m_page.DoDataExchange(dx); }

void CPageForm::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->ignore();
        return;
    default:
        CTemplateDialog::keyPressEvent(e);
    }
}

CTemplatePage::CTemplatePage(unsigned nTemplateID, QWidget* pParent)
    : CPropertyPage(QString(), pParent), m_pForm(new CPageForm(nTemplateID, *this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pForm);
    SetTitle(m_pForm->windowTitle());
}

void CTemplatePage::OnSetActive() {
    if (m_bFilled || !m_pForm->IsCreated()) return;
    m_bFilled = true;
    RunGuarded([this] {
        LoadFields();
        UpdateData(false);
        OnInitPage();
    });
    WatchChanges();
}

bool CTemplatePage::OnKillActive() {
    // A page the user never opened has nothing of the user's to check.
    if (!m_bFilled) return true;
    return UpdateData(true);
}

void CTemplatePage::WatchChanges() {
    for (QAbstractButton* b : m_pForm->findChildren<QAbstractButton*>())
        connect(b, &QAbstractButton::clicked, this, [this] { SetModified(); });
    for (QLineEdit* e : m_pForm->findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textEdited, this, [this] { SetModified(); });
}

// ---- general

CPgeOptGenral::CPgeOptGenral(IOptionsFrame& frame, QWidget* pParent) : CTemplatePage(IDD, pParent), m_frame(frame) {
    if (auto* box = Control<QLineEdit>(IDC_HOTKEY)) {
        // The box shows the key; typing never edits it.
        box->setReadOnly(true);
        box->installEventFilter(this);
    }
    for (unsigned nID : {IDC_AUTOSAVE, IDC_HOTKEY_ON})
        if (auto* b = Control<QAbstractButton>(nID)) connect(b, &QAbstractButton::clicked, this, [this, nID] {
            if (nID == IDC_HOTKEY_ON) m_bHotKeyChanged = true;
            UpdateDependants();
        });
    if (auto* b = Control<QAbstractButton>(IDC_DOCKING))
        connect(b, &QAbstractButton::clicked, this, [this] { OnDockingClicked(); });
}

void CPgeOptGenral::LoadFields() {
    const CAppOptions& opt = AppOptions();
    m_bAutoSave = opt.m_bAutoSaveEnabled;
    m_nInterval = static_cast<int>(opt.m_nAutoSavePeriod / kMsPerMinute);
    m_bDocking = opt.m_bDockEnabled;
    m_bSnapToCorner = opt.m_bSnapToCorner;
    m_bHotKeyOn = opt.m_hotKey.m_bEnabled;
    m_hotKey = opt.m_hotKey;
    m_bHotKeyChanged = false;
}

void CPgeOptGenral::DoDataExchange(CDataExchange& dx) {
    DDX_Check(dx, IDC_AUTOSAVE, m_bAutoSave);
    DDX_Text(dx, IDC_INTERVAL, m_nInterval);
    DDV_MinMaxInt(dx, m_nInterval, 0, 600);
    DDX_Check(dx, IDC_DOCKING, m_bDocking);
    DDX_Check(dx, IDC_SNAP, m_bSnapToCorner);
    DDX_Check(dx, IDC_HOTKEY_ON, m_bHotKeyOn);
}

void CPgeOptGenral::OnInitPage() {
    UpdateDependants();
    if (auto* box = Control<QLineEdit>(IDC_HOTKEY)) box->setText(ToQ(HotKeyText(m_hotKey)));
}

void CPgeOptGenral::UpdateDependants() {
    Enable(*this, IDC_INTERVAL, Checked(*this, IDC_AUTOSAVE));
    Enable(*this, IDC_HOTKEY, Checked(*this, IDC_HOTKEY_ON));
    Enable(*this, IDC_SNAP, Checked(*this, IDC_DOCKING));
}

void CPgeOptGenral::OnDockingClicked() {
    // Snapping is a way of docking: without docking it goes too.
    if (!Checked(*this, IDC_DOCKING)) {
        m_bSnapToCorner = 0;
        if (auto* snap = Control<QAbstractButton>(IDC_SNAP)) snap->setChecked(false);
    }
    UpdateDependants();
}

bool CPgeOptGenral::eventFilter(QObject* pWatched, QEvent* e) {
    if (pWatched == Item(IDC_HOTKEY) && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        // Keys with Alt work the dialog's mnemonics; Tab, Escape and Return
        // move on, leave or confirm, so the keyboard is never stuck here.
        if (key->modifiers() & Qt::AltModifier) return false;
        switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return false;
        default:
            break;
        }
        CaptureKey(*key);
        return true;
    }
    return CTemplatePage::eventFilter(pWatched, e);
}

void CPgeOptGenral::CaptureKey(const QKeyEvent& e) {
    CHotKeyOptions key = m_hotKey;
    key.m_bCtrl = (e.modifiers() & Qt::ControlModifier) != 0;
    key.m_bShift = (e.modifiers() & Qt::ShiftModifier) != 0;
    key.m_bAlt = false;
    key.m_nVirtualKey = vk::FromKeyEvent(e);
    if (IsValidHotKey(key)) {
        m_hotKey = key;
        m_bHotKeyChanged = true;
        if (auto* box = Control<QLineEdit>(IDC_HOTKEY)) box->setText(ToQ(HotKeyText(m_hotKey)));
    }
    SetModified();
}

bool CPgeOptGenral::OnKillActive() {
    if (!CTemplatePage::OnKillActive()) return false;
    if (m_bHotKeyOn && !IsValidHotKey(m_hotKey)) {
        AfxMessageBox(kIdsInvalidHotKey, host::MB_OK | host::MB_ICONEXCLAMATION);
        if (QWidget* box = Item(IDC_HOTKEY)) box->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

void CPgeOptGenral::OnOK() {
    RunGuarded([this] {
        CAppOptions& opt = AppOptions();
        const uint32_t nPeriod = static_cast<uint32_t>(m_nInterval) * kMsPerMinute;
        if (opt.m_bAutoSaveEnabled != (m_bAutoSave != 0) || opt.m_nAutoSavePeriod != nPeriod) {
            opt.m_bAutoSaveEnabled = m_bAutoSave != 0;
            opt.m_nAutoSavePeriod = nPeriod;
            m_frame.RestartAutosaveTimer();
        }
        if (opt.m_bDockEnabled != (m_bDocking != 0)) {
            opt.m_bDockEnabled = m_bDocking != 0;
            m_frame.SetAutoHideDocking(opt.m_bDockEnabled);
        }
        opt.m_bSnapToCorner = m_bSnapToCorner != 0;
        if (m_bHotKeyChanged) {
            m_bHotKeyChanged = false;
            m_frame.UnregisterHotKey();
            opt.m_hotKey = m_hotKey;
            opt.m_hotKey.m_bEnabled = m_bHotKeyOn != 0;
            // A key another program holds stays chosen; the user hears why
            // it does nothing.
            if (opt.m_hotKey.m_bEnabled && !m_frame.RegisterHotKey())
                AfxMessageBox(ids::IDS_HOTKEY_NOT_REGISTERED, host::MB_OK | host::MB_ICONEXCLAMATION);
        }
    });
}

// ---- editing

COptEditPage::COptEditPage(QWidget* pParent) : CTemplatePage(IDD, pParent) {}

void COptEditPage::LoadFields() {
    const CAppOptions& opt = AppOptions();
    m_bShowBorders = opt.m_bShowBorders;
    m_bShowDetails = opt.m_bShowDetails;
    m_nDefaultView = static_cast<int>(opt.m_nDefaultView);
}

void COptEditPage::DoDataExchange(CDataExchange& dx) {
    DDX_Check(dx, IDC_SHOW_BORDERS, m_bShowBorders);
    DDX_Check(dx, IDC_SHOW_DETAILS, m_bShowDetails);
    DDX_Radio(dx, IDC_VIEW_FIRST, m_nDefaultView);
}

void COptEditPage::OnOK() {
    CAppOptions& opt = AppOptions();
    opt.m_bShowBorders = m_bShowBorders != 0;
    opt.m_bShowDetails = m_bShowDetails != 0;
    // A stored view the two buttons do not name stays as it was unless the
    // user picks one.
    if (m_nDefaultView >= 0) opt.m_nDefaultView = static_cast<uint32_t>(m_nDefaultView);
}

// ---- downloading

CPgeOptDwn::CPgeOptDwn(QWidget* pParent) : CTemplatePage(IDD, pParent) {
    if (auto* b = Control<QAbstractButton>(IDC_PROXY_LOGON))
        connect(b, &QAbstractButton::clicked, this, [this] { UpdateDependants(); });
}

void CPgeOptDwn::LoadFields() {
    const CAppOptions& opt = AppOptions();
    const CDownloadOptions& d = opt.m_download;
    m_bFetchResources = d.m_bFetchResources;
    m_bModernCapture = d.m_bModernCapture;
    m_nMaxFileBytes = static_cast<int>(std::min<uint32_t>(d.m_nMaxFileBytes, INT32_MAX));
    m_nCaptureBudgetMB = ShownBudget(d);
    m_nMaxWorkers = static_cast<int>(std::min<uint32_t>(opt.m_nMaxDownloadWorkers, INT32_MAX));
    m_nRetries = static_cast<int>(std::min<uint32_t>(d.m_nRetries, INT32_MAX));
    m_bRetryNoLimit = d.m_bRetryNoLimit;
    m_bProxyLogon = d.m_bProxyLogon;
    m_strProxyUser = d.m_strProxyUser;
    m_strProxyPassword = d.m_strProxyPassword;
    m_nConnectionKind = d.m_nConnectionKind;
    m_strConnectionText1 = d.m_strConnectionText1;
    m_strConnectionText2 = d.m_strConnectionText2;
}

void CPgeOptDwn::DoDataExchange(CDataExchange& dx) {
    DDX_Check(dx, IDC_FETCH_RESOURCES, m_bFetchResources);
    DDX_Check(dx, IDC_MODERN_CAPTURE, m_bModernCapture);
    DDX_Text(dx, IDC_MAX_FILE_BYTES, m_nMaxFileBytes);
    DDV_MinMaxInt(dx, m_nMaxFileBytes, 1, INT32_MAX);
    DDX_Text(dx, IDC_CAPTURE_BUDGET, m_nCaptureBudgetMB);
    DDV_MinMaxInt(dx, m_nCaptureBudgetMB, 1, kMaxCaptureBudgetMB);
    DDX_Text(dx, IDC_MAX_WORKERS, m_nMaxWorkers);
    DDV_MinMaxInt(dx, m_nMaxWorkers, 1, 100000);
    DDX_Text(dx, IDC_RETRIES, m_nRetries);
    DDV_MinMaxInt(dx, m_nRetries, 1, 100000);
    DDX_Check(dx, IDC_RETRY_NO_LIMIT, m_bRetryNoLimit);
    DDX_Check(dx, IDC_PROXY_LOGON, m_bProxyLogon);
    DDX_Text(dx, IDC_PROXY_USER, m_strProxyUser);
    DDX_Text(dx, IDC_PROXY_PASSWORD, m_strProxyPassword);
}

void CPgeOptDwn::OnInitPage() { UpdateDependants(); }

void CPgeOptDwn::UpdateDependants() {
    const bool bLogon = Checked(*this, IDC_PROXY_LOGON);
    Enable(*this, IDC_PROXY_USER, bLogon);
    Enable(*this, IDC_PROXY_PASSWORD, bLogon);
}

void CPgeOptDwn::OnOK() {
    CAppOptions& opt = AppOptions();
    CDownloadOptions& d = opt.m_download;
    d.m_bFetchResources = m_bFetchResources != 0;
    d.m_bModernCapture = m_bModernCapture != 0;
    // A larger value stored by other means than this page stays unless the
    // user changes the number.
    if (static_cast<uint32_t>(m_nMaxFileBytes) != std::min<uint32_t>(d.m_nMaxFileBytes, INT32_MAX))
        d.m_nMaxFileBytes = static_cast<uint32_t>(m_nMaxFileBytes);
    if (m_nCaptureBudgetMB != ShownBudget(d)) d.m_nCaptureBudgetMB = static_cast<uint32_t>(m_nCaptureBudgetMB);
    opt.m_nMaxDownloadWorkers = static_cast<uint32_t>(m_nMaxWorkers);
    d.m_nRetries = static_cast<uint32_t>(m_nRetries);
    d.m_bRetryNoLimit = m_bRetryNoLimit != 0;
    d.m_bProxyLogon = m_bProxyLogon != 0;
    d.m_strProxyUser = m_strProxyUser;
    d.m_strProxyPassword = m_strProxyPassword;
    d.m_nConnectionKind = m_nConnectionKind;
    d.m_strConnectionText1 = m_strConnectionText1;
    d.m_strConnectionText2 = m_strConnectionText2;
}
