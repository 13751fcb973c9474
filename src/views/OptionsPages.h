// The options sheet's three pages: general (autosave, docking, hot key),
// editing and downloading. Each copies its options in when first shown and
// writes them back only when the user confirms.
#pragma once

#include "app/AppOptions.h"
#include "platform/gui/PropertySheet.h"
#include "platform/gui/TemplateDialog.h"

#include <string>

class QKeyEvent;

// What the general page asks of the main window when its options change.
class IOptionsFrame {
public:
    virtual ~IOptionsFrame() = default;
    // Timer 2 again, with the autosave options as they are now.
    virtual void RestartAutosaveTimer() = 0;
    virtual void SetAutoHideDocking(bool bOn) = 0;
    virtual void UnregisterHotKey() = 0;
    // Grabs the hot key of the options; false when it cannot be had (the
    // caller says so).
    virtual bool RegisterHotKey() = 0;
};

// A letter, a digit (or a code between them) or F1 to F12.
bool IsValidHotKey(const CHotKeyOptions& key);
// "Ctrl+Shift+F11", "Alt+A", "Shift+9"; empty for a key without a text.
std::string HotKeyText(const CHotKeyOptions& key);

class CTemplatePage;

// The page's controls, from the language module's template; the page
// itself is the property page around them.
class CPageForm : public CTemplateDialog {
    Q_OBJECT
public:
    CPageForm(unsigned nTemplateID, CTemplatePage& page);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Return and Escape belong to the sheet's buttons, not to the page.
    void keyPressEvent(QKeyEvent* e) override;

private:
    CTemplatePage& m_page;
};

class CTemplatePage : public CPropertyPage {
    Q_OBJECT
public:
    CTemplatePage(unsigned nTemplateID, QWidget* pParent = nullptr);

    CPageForm& Form() { return *m_pForm; }
    QWidget* Item(unsigned nID) const { return m_pForm->Item(nID); }
    template <class T>
    T* Control(unsigned nID) const {
        return m_pForm->Control<T>(nID);
    }
    bool UpdateData(bool bSaveAndValidate = true) { return m_pForm->UpdateData(bSaveAndValidate); }

    // The first showing fills the controls; leaving the page (or confirming
    // the sheet) reads and checks them.
    void OnSetActive() override;
    bool OnKillActive() override;
    virtual void DoDataExchange(CDataExchange& dx) = 0;

protected:
    // The options go into the page's fields (once, before the first fill).
    virtual void LoadFields() = 0;
    // After the controls were filled: the dependants' enabled state.
    virtual void OnInitPage() {}
    // Every change of a control marks the page modified.
    void WatchChanges();

private:
    CPageForm* m_pForm;
    bool m_bFilled = false;
};

class CPgeOptGenral : public CTemplatePage {
    Q_OBJECT
public:
    enum { IDD = 144 };
    enum : unsigned {
        IDC_AUTOSAVE = 1041,
        IDC_INTERVAL = 1043,
        IDC_DOCKING = 1042,
        IDC_SNAP = 1053,
        IDC_HOTKEY_ON = 1045,
        IDC_HOTKEY = 1044,
    };
    CPgeOptGenral(IOptionsFrame& frame, QWidget* pParent = nullptr);

    int m_bAutoSave = 0;
    int m_nInterval = 0;  // minutes
    int m_bDocking = 0;
    int m_bSnapToCorner = 0;
    int m_bHotKeyOn = 0;
    CHotKeyOptions m_hotKey;  // the working copy, shown in 1044
    bool m_bHotKeyChanged = false;

    void DoDataExchange(CDataExchange& dx) override;
    bool OnKillActive() override;
    void OnOK() override;

protected:
    void LoadFields() override;
    void OnInitPage() override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    void UpdateDependants();
    void OnDockingClicked();
    // A key pressed in 1044: taken when valid; the box never sees it.
    void CaptureKey(const QKeyEvent& e);

    IOptionsFrame& m_frame;
};

class COptEditPage : public CTemplatePage {
    Q_OBJECT
public:
    enum { IDD = 170 };
    enum : unsigned { IDC_SHOW_BORDERS = 1015, IDC_SHOW_DETAILS = 1013, IDC_VIEW_FIRST = 1064 };
    explicit COptEditPage(QWidget* pParent = nullptr);

    int m_bShowBorders = 0;
    int m_bShowDetails = 0;
    int m_nDefaultView = 0;

    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

protected:
    void LoadFields() override;
};

class CPgeOptDwn : public CTemplatePage {
    Q_OBJECT
public:
    enum { IDD = 180 };
    enum : unsigned {
        IDC_FETCH_RESOURCES = 1010,
        IDC_MODERN_CAPTURE = 1092,
        IDC_MAX_FILE_BYTES = 1093,
        IDC_CAPTURE_BUDGET = 1094,
        IDC_MAX_WORKERS = 1069,
        IDC_RETRIES = 1067,
        IDC_RETRY_NO_LIMIT = 1068,
        IDC_PROXY_LOGON = 1072,
        IDC_PROXY_USER = 1074,
        IDC_PROXY_PASSWORD = 1075,
    };
    explicit CPgeOptDwn(QWidget* pParent = nullptr);

    int m_bFetchResources = 0;
    int m_bModernCapture = 0;
    int m_nMaxFileBytes = 0;  // files this large or larger are not imported
    int m_nCaptureBudgetMB = 0;  // what one capture may hold
    int m_nMaxWorkers = 0;
    int m_nRetries = 0;
    int m_bRetryNoLimit = 0;
    int m_bProxyLogon = 0;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    // The connection settings without a control go back as they came.
    uint32_t m_nConnectionKind = 0;
    std::string m_strConnectionText1;
    std::string m_strConnectionText2;

    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

protected:
    void LoadFields() override;
    void OnInitPage() override;

private:
    void UpdateDependants();
};
