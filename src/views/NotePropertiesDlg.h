// What a note is, in four read-only lines: its name, its source, its date
// and whether the notebook keeps its content or only a link (template 171).
#pragma once

#include "platform/gui/TemplateDialog.h"

#include <cstdint>
#include <string>

class CNote;

class CNotePropertiesDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 171, IDC_NAME = 1060, IDC_SOURCE = 1061, IDC_DATE = 1039, IDC_CONTENT = 1062 };
    // `pNote` may be null: the lines stay empty.
    CNotePropertiesDlg(CNote* pNote, QWidget* pParent);

    QString m_strName;
    QString m_strSource;
    QString m_strDate;
    QString m_strContent;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    CNote* m_pNote;
};

// A note's date (seconds since 1970) in local time by the language
// module's date format (string 33084); empty when it cannot be shown.
std::string FormatNoteDate(int64_t tmDate);

// The properties of `pNote`, shown modally over `pParent`; the dialog
// changes nothing. IDOK or IDCANCEL.
int ShowNoteProperties(CNote* pNote, QWidget* pParent);
