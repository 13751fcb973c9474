// The editor's link question (template 184): an address typed, built from a
// scheme of the list, a file chosen on disk, or a note of the notebook picked
// from its tree (template 185).
#pragma once

#include "platform/gui/TemplateDialog.h"

#include <QIcon>
#include <QList>
#include <functional>

class CClipVaultDoc;
class CNote;
class QTreeWidgetItem;

class CHyperlinkDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 184, IDC_URL = 1076, IDC_BROWSE_FILE = 1078, IDC_PICK_NOTE = 1005 };
    // `pDoc` may be null: there is then no note to link to.
    CHyperlinkDlg(QWidget* pParent, CClipVaultDoc* pDoc);

    // The address; the editor presets it and reads it back on OK.
    QString m_strUrl;

    // Asks for an existing file; its path, or empty when the user cancels.
    // Tests answer in its place.
    static std::function<QString(QWidget* pParent)> s_fnChooseFile;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    void OnBrowseFile();
    void OnPickNote();
    void ShowUrl(const QString& strUrl);

    CClipVaultDoc* m_pDoc;
};

// The note to link to, from the notebook's categories. Each category's
// contents are read when it is first opened; only a note can be chosen.
class CPickNoteDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 185, IDC_TREE = 1077 };
    // Pictures of the tree, as in the notebook's category tree.
    enum : int { kImageRoot = 0, kImageCata = 1, kImageCataOpen = 2, kImageNote = 3, kImageNoteHeld = 4 };

    CPickNoteDlg(QWidget* pParent, CClipVaultDoc& doc);

    // The chosen note; null until a note is selected.
    CNote* m_pNote = nullptr;

    // The picture of image number `nImage` (null when the strip has none).
    QIcon Icon(int nImage) const { return nImage >= 0 && nImage < m_icons.size() ? m_icons[nImage] : QIcon(); }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    class CItem;
    void OnExpanded(QTreeWidgetItem* pItem);
    void OnSelectionChanged();

    CClipVaultDoc& m_doc;
    QList<QIcon> m_icons;
};
