// A tabbed dialog of pages with OK, Cancel and Apply, as the options are
// edited: each page fills itself when first shown and writes back only when
// the user confirms.
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <vector>

class QDialogButtonBox;
class QTabWidget;

class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit CPropertyPage(const QString& strTitle, QWidget* pParent = nullptr);
    const QString& Title() const { return m_strTitle; }

    // The page becomes the visible one (the first time: fill the controls).
    virtual void OnSetActive() {}
    // The page is left or the sheet confirmed: false keeps it (a value was
    // refused and the page has said why).
    virtual bool OnKillActive() { return true; }
    // Confirmed (OK or Apply): write the page's values back.
    virtual void OnOK() {}
    virtual void OnCancel() {}

    // A control changed: Apply becomes available.
    void SetModified(bool bModified = true);
    bool IsModified() const { return m_bModified; }

signals:
    void modifiedChanged();

protected:
    // Pages whose title comes from their template learn it after the base.
    void SetTitle(const QString& strTitle);

private:
    QString m_strTitle;
    bool m_bModified = false;
};

class CPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CPropertySheet(const QString& strCaption, QWidget* pParent = nullptr);

    // The sheet owns its pages; they show in the order they were added.
    void AddPage(CPropertyPage* pPage);
    int PageCount() const;
    CPropertyPage* Page(int nIndex) const;
    CPropertyPage* ActivePage() const;
    bool SetActivePage(int nIndex);

    // Modal; every page and the Apply button see the outcome.
    int DoModal();

    QDialogButtonBox* Buttons() const { return m_pButtons; }

private:
    bool Apply();
    void OnCurrentChanged(int nIndex);

    QTabWidget* m_pTabs;
    QDialogButtonBox* m_pButtons;
    std::vector<CPropertyPage*> m_pages;
    std::vector<bool> m_activated;
    int m_nCurrent = -1;
    bool m_bSwitching = false;
};
