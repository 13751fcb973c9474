// The search page of the notebook window: finds notes by name (and, when
// asked, by the text in them) and opens a found note as the tree would.
#pragma once

#include "capture/NoteText.h"
#include "platform/gui/TemplateDialog.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteIndexer;
class CSearchWorker;
class INoteFrame;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CQueryForm : public CTemplateDialog {
    Q_OBJECT
public:
    enum { IDD = 101 };
    enum ControlID : unsigned {
        kSearchButton = 1005,
        kSearchText = 1008,
        kOpenButton = 1009,
        kResults = 1010,
        kWithinResults = 1011,
        kIgnoreCase = 1012,
        kSearchNoteText = 1013,
        kCount = 1014,
    };
    static constexpr int kHelpContext = 4010;

    CQueryForm(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    ~CQueryForm() override;

    // The first update of the view: the column, the search history and the
    // layout. Runs once, on the first showing unless called before.
    void OnInitialUpdate();

    // Starts the search on a worker; the rows change when it has found
    // everything. A search under way is replaced.
    void OnSearch();
    // Stops the search under way: the rows stay as they were.
    void OnCancelSearch();
    bool IsSearching() const;
    // The notebook's search index, once the window has one.
    void SetIndexer(CNoteIndexer* pIndexer);
    CSearchWorker& Worker() const { return *m_pWorker; }
    QPushButton* CancelButton() const { return m_pCancel; }
    void OnOpenSelected();
    // Sorts the rows by the text of `nColumn`, in byte order, keeping rows
    // of equal text in the order they had.
    void OnSort(int nColumn);
    // Places the controls for the form's size.
    void Layout();

    // The note of a results row, when it is still in the notebook.
    CNote* RowNote(int nRow) const;
    int RowCount() const;
    // What the row's tool tip shows (rich text): the passage of the note's
    // text that matched the last search, the match in bold, else the
    // note's name.
    QString RowToolTip(int nRow) const;

    QTreeWidget* Results() const { return m_pList; }
    QComboBox* SearchBox() const { return m_pCombo; }
    int SortColumn() const { return m_nSortColumn; }

    // The fields, in the controls' order.
    std::string m_strSearch;
    int m_bWithinResults = 0;
    int m_bIgnoreCase = 0;
    int m_bSearchNoteText = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;
    // A form has no OK or Cancel: Enter searches from the text box and
    // Escape stops a search under way, else leaves the page as it is.
    void OnOK() override {}
    void OnCancel() override;

private:
    // Every note of the notebook now: rows point at notes the list does
    // not own, which may have been deleted since the search.
    std::unordered_set<const CNote*> LiveNotes() const;
    bool AddRow(CNote* pNote);
    void ShowCount(int nCount);
    // The worker's answers.
    void ShowFound(std::vector<CNote*> found);
    void ShowProgress(size_t nDone, size_t nTotal);
    // Cancel stands where Open is while a search runs.
    void ShowSearching(bool bSearching);

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    QTreeWidget* m_pList = nullptr;
    QComboBox* m_pCombo = nullptr;
    QLabel* m_pCount = nullptr;
    QPushButton* m_pCancel = nullptr;
    int m_nSortColumn = 0;
    bool m_bInitialized = false;
    CSearchWorker* m_pWorker = nullptr;
    // The search under way, and the last one shown (for the rows' tool tips).
    std::unique_ptr<notetext::CNoteQuery> m_pRunningQuery;
    std::unique_ptr<notetext::CNoteQuery> m_pLastQuery;
    // What the count said before the search under way showed its progress.
    QString m_strCountBefore;
};
