// The editor's small questions: the size and look of a new table, how far to
// nudge the selection, the alignment grid, and which date/time text to
// insert (templates 151, 145, 147 and 187).
#pragma once

#include "platform/gui/TemplateDialog.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

// Rows and columns of the table, attributes of the table and of its cells,
// and its caption. The editor presets every field.
class CInsertTableDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned {
        IDD = 151,
        IDC_ROWS = 1008,
        IDC_COLUMNS = 1003,
        IDC_TABLE_ATTRS = 1004,
        IDC_CELL_ATTRS = 1005,
        IDC_CAPTION = 1006
    };
    explicit CInsertTableDlg(QWidget* pParent);

    // The editor's presets.
    int m_nRows = 2;
    int m_nColumns = 2;
    QString m_strTableAttrs = QStringLiteral("BORDER=1 BGCOLOR=black");
    QString m_strCellAttrs = QStringLiteral("BGCOLOR=white");
    QString m_strCaption = QStringLiteral("Here's A Table");

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

// How many pixels to move the selected element by.
class CNudgeDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 145, IDC_X = 1011, IDC_Y = 1012 };
    explicit CNudgeDlg(QWidget* pParent);

    int m_nX = 0;
    int m_nY = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

// The spacing of the grid positioned elements snap to.
class CAlignGridDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 147, IDC_X = 1010, IDC_Y = 1003 };
    explicit CAlignGridDlg(QWidget* pParent);

    int m_nX = 0;
    int m_nY = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

// The current date and time in one of a fixed list of forms. The form last
// made the default stays preselected for the rest of the run.
class CInsertDateTimeDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 187, IDC_FORMATS = 1081, IDC_DEFAULT = 1005 };
    // The most bytes the text may have.
    static constexpr size_t kMaxTextBytes = 127;

    explicit CInsertDateTimeDlg(QWidget* pParent);

    // The text to insert, in the process code page; empty unless the dialog
    // ended with OK and a row was chosen.
    std::string m_strText;

    // The offered forms, strftime style in the process code page, in the
    // order of the list. "%#x" drops a number's leading zero.
    static const std::vector<std::string>& Formats();
    // The form made the default (empty at start).
    static const std::string& LastFormat() { return s_strLastFormat; }
    static void SetLastFormat(const std::string& strFormat) { s_strLastFormat = strFormat; }
    // `tmLocal` by `strFormat`, at most kMaxTextBytes bytes and never cut
    // inside a character; empty when the form gives nothing.
    static std::string FormatTime(const std::string& strFormat, const struct tm& tmLocal);
    // The clock the dialog reads; tests fix it.
    static std::function<time_t()> s_fnNow;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnDefault();
    int SelectedRow() const;

    static std::string s_strLastFormat;
};
