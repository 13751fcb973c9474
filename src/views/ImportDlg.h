// Where incoming pages and files go (template 155): the rows to import,
// each checked with an editable title, and a tree of the open notebooks
// with their categories as the target. Opened on existing notes instead
// ("target-fixed"), it files those notes again where they are, with new
// titles and content choice.
#pragma once

#include "platform/gui/ImportItemsEvent.h"
#include "platform/gui/TemplateDialog.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CClipVaultDoc;
class CKeptPages;
class CNote;
class CNoteCata;
class QTreeWidget;
class QTreeWidgetItem;

// Makes a note from `pItem` (its target document set) and files it in
// `cata` under a unique name, shown in the notebook's tree. Null when the
// item yields no note (a local file that is gone).
CNote* FileImportItem(std::unique_ptr<CImportItem> pItem, CNoteCata& cata);

// The item a typed address gives: a "file:" URL (any case) or an absolute
// path names a local file (url::FileUrlToPath), anything else is a web page.
// Null for a "file:" URL that names no file of this computer.
std::unique_ptr<CImportItem> ImportItemForAddress(const std::string& strAddress);

// Why a typed address cannot be imported (the string to show with it), 0
// when it can: it names no file of this computer, or it is no web address.
unsigned ImportAddressRefusal(const std::string& strAddress);

// A "Name|pattern|Name|pattern||" filter in the file dialogs' own form.
QString FileDialogFilterFrom(const QString& strFilter);

class CImportDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned {
        IDD = 155,
        IDC_CHECK_ALL = 1005,
        IDC_TARGET_TREE = 1030,
        IDC_ITEM_LIST = 1031,
        IDC_UNCHECK_ALL = 1032,
        IDC_CONTENT_FIRST = 1051,
        IDC_ADD_FILES = 1054,
        IDC_ADD_ADDRESS = 1055,
        IDC_REMOVE = 1056,
        IDC_IMPORT_HELD = 1071,
        IDC_TARGET_LABEL = 1080,
        IDC_DIRECT_IMPORT = 1087,
    };
    enum { kHelpContext = 4003 };

    // `documents`: the open notebooks; those serving automation callers are
    // not offered.
    CImportDlg(std::vector<CClipVaultDoc*> documents, QWidget* pParent);
    ~CImportDlg() override;

    // Before opening: the items to offer (taken).
    void SetItems(CImportItemArray items);
    // Before opening: the notebook imports go to when no category is
    // preselected in it.
    void SetTargetDocument(CClipVaultDoc* pDoc) { m_pTargetDoc = pDoc; }
    // Before opening: the dialog files these notes of `doc` again.
    void SetFixedTarget(CClipVaultDoc& doc, std::vector<CNote*> notes);
    bool IsTargetFixed() const { return m_pFixedDoc != nullptr; }
    // While open: more items join as checked rows; the array is emptied.
    void AddItems(CImportItemArray& items);

    QTreeWidget* TargetTree() const;
    QTreeWidget* ItemList() const;
    // The rows' titles in their order, and whether each is checked.
    int RowCount() const;

    // The files "add files" offers; a file dialog unless replaced (tests).
    std::function<QStringList()> m_fnChooseFiles;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    void FillTree();
    void InsertCategories(QTreeWidgetItem* pParent, CNoteCata& cata);
    void AddRow(std::unique_ptr<CImportItem> pItem);
    void AddNoteRow(CNote* pNote);
    void SetAllChecked(bool bChecked);
    void OnAddFiles();
    void OnAddAddress();
    void OnRemove();
    void OnDirectImportToggled(bool bChecked);
    // The notebook the target tree points at (the preselected one before
    // a choice), and the pages it keeps, gathered once for the dialog.
    CClipVaultDoc* TargetTreeDocument() const;
    const CKeptPages& KeptPagesOf(CClipVaultDoc& doc);
    // Marks a row, or every row, whose page the target notebook keeps.
    void MarkKept(QTreeWidgetItem* row);
    void MarkKeptRows();
    void Import(bool bStartNow);
    void ImportFixed();
    int ContentType() const;

    std::vector<CClipVaultDoc*> m_documents;
    // Rows own their items here until they become notes.
    std::vector<std::unique_ptr<CImportItem>> m_items;
    CClipVaultDoc* m_pTargetDoc = nullptr;
    CClipVaultDoc* m_pFixedDoc = nullptr;
    std::vector<CNote*> m_fixedNotes;
    bool m_bInDirectToggle = false;
    std::map<const CClipVaultDoc*, std::unique_ptr<CKeptPages>> m_kept;
};
