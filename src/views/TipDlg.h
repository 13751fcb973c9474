// The tip of the day (template 105): one line of the tips file at a time.
// Where the last showing stopped is kept in the profile, so that every
// showing, in this run or the next, goes on with the following tip; a
// replaced file starts again from its first tip.
#pragma once

#include "platform/gui/TemplateDialog.h"

#include <QString>
#include <cstdio>
#include <string>

class QSettings;

class CTipDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 105, IDC_HEADER = 1000, IDC_STARTUP = 1001, IDC_NEXTTIP = 1002, IDC_TIPSTRING = 1004 };
    // Profile section and values.
    static const char* const kFilePos;    // byte offset at which the next tip is looked for
    static const char* const kTimeStamp;  // the file's modification time as ctime() writes it
    static const char* const kStartUp;    // 1 = the tips are not shown at start-up

    // Opens the tips file and reads the tip to show first; the profile must
    // outlive the dialog, which writes its position there when it goes.
    CTipDlg(QSettings& profile, const QString& strTipsPath, QWidget* pParent);
    ~CTipDlg() override;

    bool m_bStartup = true;  // check box 1001
    std::string m_strTip;    // control 1004, bytes in the process code page

    bool HasTipsFile() const { return m_pStream != nullptr; }
    // Button 1002.
    void OnNextTip();

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void PrepareFirstTip(const QString& strTipsPath);
    // The next line that is a tip, from where the file stands, going round
    // to the start at its end. False when none was found (a failed seek
    // leaves the tip as it was; a file without any tip shows string 109).
    bool GetNextTipString();
    // Moves to the first place at or after `pos` where reading a line
    // starts; false when the file cannot be read.
    bool GoToReadStart(long pos);
    void PaintHeader(QWidget* pHeader);

    QSettings& m_profile;
    std::FILE* m_pStream = nullptr;
};

