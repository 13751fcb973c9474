// Dialogs whose texts and layout come from the language module: one Qt
// Designer form per template id, each control named by its numeric id. The
// code finds controls by id and moves values between them and its fields in
// both directions, with the integer checks every dialog shares.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class CTemplateDialog;
class QKeyEvent;
class QWidget;

// Framework strings the checks show (in the language module's table).
constexpr unsigned kIdsParseInt = 61712;       // not an integer
constexpr unsigned kIdsParseIntRange = 61714;  // %1..%2: the bounds
constexpr unsigned kIdsParseStringSize = 61716;  // %1: the most characters

// Where templates come from: the bytes of template `nID`, empty when the
// module has none.
using TemplateSource = std::function<QByteArray(unsigned nID)>;
void SetTemplateSource(TemplateSource source);
QByteArray LoadTemplate(unsigned nID);

// One exchange between a dialog's controls and its fields. Loading
// (`m_bSaveAndValidate` false) fills the controls; saving reads and checks
// them. The first check that fails tells the user, selects the control and
// stops the exchange.
class CDataExchange {
public:
    CDataExchange(CTemplateDialog& dlg, bool bSaveAndValidate) : m_dlg(dlg), m_bSaveAndValidate(bSaveAndValidate) {}

    CTemplateDialog& m_dlg;
    const bool m_bSaveAndValidate;
    bool m_bFailed = false;
    // The control the last exchange was about; a failing check selects it.
    QWidget* m_pLastControl = nullptr;

    // Marks the exchange failed after message `nStringID` with its
    // arguments; the last control gets the focus and its text is selected.
    void Fail(unsigned nStringID, const std::vector<std::string>& args = {});
    // The control of id `nID` becomes the last control; null when the
    // template has none (the exchange then fails: a form and its code
    // disagree, which the user cannot mend).
    QWidget* PrepareControl(unsigned nID);
};

// Edits, labels, combo boxes (their edit text) and buttons (their text).
void DDX_Text(CDataExchange& dx, unsigned nID, QString& value);
// Text in the process code page.
void DDX_Text(CDataExchange& dx, unsigned nID, std::string& value);
// An integer typed into an edit; anything else is refused with 61712.
void DDX_Text(CDataExchange& dx, unsigned nID, int& value);
// Check boxes: 0, 1, or 2 (indeterminate, for three-state boxes).
void DDX_Check(CDataExchange& dx, unsigned nID, int& value);
// A group of radio buttons from the one of id `nFirstID` on, in the order of
// their ids (the next ids that are radio buttons of the same parent):
// the index of the chosen one, -1 for none.
void DDX_Radio(CDataExchange& dx, unsigned nFirstID, int& value);
// The chosen entry of a combo box or list: its index, -1 for none.
void DDX_CBIndex(CDataExchange& dx, unsigned nID, int& value);
void DDX_LBIndex(CDataExchange& dx, unsigned nID, int& value);
// Checks that go after the DDX_ call of their control.
void DDV_MinMaxInt(CDataExchange& dx, int value, int nMin, int nMax);
// Loading limits the edit to `nChars` characters; saving refuses longer text.
void DDV_MaxChars(CDataExchange& dx, const QString& value, int nChars);
void DDV_MaxChars(CDataExchange& dx, const std::string& value, int nChars);

// Tests answer dialogs without showing them: the hook gets the dialog after
// its controls were filled, may change them and press its buttons
// (`Control<QPushButton>(IDOK)->click()`); DoModal then answers with how the
// dialog ended (IDCANCEL when it is still open).
using DialogHook = std::function<void(CTemplateDialog& dlg)>;
DialogHook SetDialogHook(DialogHook hook);

// Where F1 in a dialog leads: the application's help at a context number.
// Dialogs live below the application, so it hands the way in at start-up.
using HelpHandler = std::function<void(int nContext)>;
HelpHandler SetHelpHandler(HelpHandler handler);
// Opens the application's help at a context number, as F1 in a dialog does;
// windows that are not dialogs (the category tree) lead there too. False
// when no help was handed in.
bool OpenHelpAt(int nContext);

class CTemplateDialog : public QDialog {
    Q_OBJECT
public:
    CTemplateDialog(unsigned nTemplateID, QWidget* pParent);

    unsigned TemplateID() const { return m_nTemplateID; }
    // False when the template is missing or cannot be read; such a dialog
    // shows nothing and DoModal answers IDCANCEL.
    bool IsCreated() const { return m_pForm != nullptr; }

    // The control of id `nID` (null when the template has none or it is
    // of another type).
    QWidget* Item(unsigned nID) const;
    template <class T>
    T* Control(unsigned nID) const {
        return qobject_cast<T*>(Item(nID));
    }

    // Loading fills the controls from the fields; saving reads and checks the
    // controls into the fields, stopping at the first check that fails (the
    // fields then count only once the dialog ends with IDOK).
    bool UpdateData(bool bSaveAndValidate = true);

    // Shows the dialog modally: IDOK (1) or IDCANCEL (2). The docked main
    // window stays in place while it is up.
    int DoModal();
    // How the dialog ended: IDOK, IDCANCEL, or -1 while it is open.
    int Result() const { return m_nResult; }

    // F1 opens the help at this context; 0 (the default) leaves F1 alone.
    void SetHelpContext(int nContext) { m_nHelpContext = nContext; }
    int HelpContext() const { return m_nHelpContext; }

protected:
    virtual void DoDataExchange(CDataExchange& dx) { (void)dx; }
    // Before the dialog shows: the fields go into the controls.
    virtual bool OnInitDialog();
    // Button 1: the controls are checked and read; the dialog stays open
    // when a check fails.
    virtual void OnOK();
    // Button 2, Escape and the close box.
    virtual void OnCancel();
    void reject() override { OnCancel(); }
    void keyPressEvent(QKeyEvent* e) override;
    void EndDialog(int nResult);

private:
    unsigned m_nTemplateID;
    int m_nHelpContext = 0;
    QWidget* m_pForm = nullptr;
    int m_nResult = -1;
};
