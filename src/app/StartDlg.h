// The dialog at a plain start: a new notebook, a recent one, a sample, or
// another file.
#pragma once

#include <QDialog>
#include <QStringList>

class CClipVaultApp;
class QButtonGroup;
class QDialogButtonBox;
class QListWidget;

class CStartDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { kModeNew = 0, kModeRecent = 1, kModeSample = 2, kModeOther = 3 };

    CStartDlg(CClipVaultApp& app, QWidget* pParent);

    int CurrentMode() const { return m_nMode; }
    void SetMode(int nMode);
    QStringList Entries() const;
    int SelectedRow() const;
    void SelectRow(int nRow);
    bool IsListEnabled() const;
    bool IsOkEnabled() const;

    // The sample notebooks beside the program, and the recent ones.
    static QStringList SampleNotebooks(const QString& strProgramFolder);
    QStringList RecentNotebooks() const;

    // Carries out the choice, then clears the first-run mark.
    void accept() override;

    // Mode 3's file dialog; tests replace it.
    std::function<QString()> m_fnChooseFile;

private:
    void Refill();
    void UpdateControls();

    CClipVaultApp& m_app;
    int m_nMode = kModeNew;
    QButtonGroup* m_pModes = nullptr;
    QListWidget* m_pList = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
