#include "views/QueryForm.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "views/NoteFeed.h"
#include "views/SearchWorker.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace {
constexpr int kNoteRole = Qt::UserRole;

CNote* ItemNote(const QTreeWidgetItem* pItem) {
    return pItem ? reinterpret_cast<CNote*>(pItem->data(0, kNoteRole).value<quintptr>()) : nullptr;
}
}  // namespace

CQueryForm::CQueryForm(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_frame(frame), m_doc(doc) {
    // A page of the window, not a dialog of its own.
    setWindowFlags(Qt::Widget);
    SetHelpContext(kHelpContext);
    m_pList = Control<QTreeWidget>(kResults);
    m_pCombo = Control<QComboBox>(kSearchText);
    m_pCount = Control<QLabel>(kCount);
    if (QWidget* pForm = Item(IDD)) pForm->installEventFilter(this);
    if (auto* pButton = Control<QAbstractButton>(kSearchButton))
        connect(pButton, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { OnSearch(); }); });
    if (auto* pButton = Control<QAbstractButton>(kOpenButton))
        connect(pButton, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { OnOpenSelected(); }); });
    if (m_pCombo) {
        // The drop-down list grows only by the search's own rule.
        m_pCombo->setInsertPolicy(QComboBox::NoInsert);
        // Completion offers an entry only in the case it was typed in:
        // Enter on a completion the box matched in another case would
        // select that entry and put its spelling over what the user typed.
        if (QCompleter* pCompleter = m_pCombo->completer()) pCompleter->setCaseSensitivity(Qt::CaseSensitive);
        if (QLineEdit* pEdit = m_pCombo->lineEdit())
            connect(pEdit, &QLineEdit::returnPressed, this, [this] { RunGuarded([this] { OnSearch(); }); });
    }
    if (m_pList) {
        m_pList->setColumnCount(1);
        m_pList->setSortingEnabled(false);
        m_pList->header()->setSectionsClickable(true);
        m_pList->header()->setStretchLastSection(true);
        // The header reports clicks of the left button only.
        connect(m_pList->header(), &QHeaderView::sectionClicked, this,
                [this](int nSection) { RunGuarded([&] { OnSort(nSection); }); });
        connect(m_pList, &QTreeWidget::itemDoubleClicked, this,
                [this](QTreeWidgetItem*, int) { RunGuarded([this] { OnOpenSelected(); }); });
        m_pList->viewport()->installEventFilter(this);
    }
    m_pWorker = new CSearchWorker(
        doc, [this](std::vector<CNote*> found) { RunGuarded([&] { ShowFound(std::move(found)); }); },
        [this](size_t nDone, size_t nTotal) { ShowProgress(nDone, nTotal); }, this);
    if (QWidget* pForm = Item(IDD)) {
        m_pCancel = new QPushButton(CurrentLanguage().String(ids::IDS_SEARCH_CANCEL), pForm);
        m_pCancel->setAccessibleName(CurrentLanguage().String(ids::IDS_SEARCH_CANCEL_NAME));
        m_pCancel->setObjectName(QStringLiteral("searchCancel"));
        if (QWidget* pOpen = Item(kOpenButton)) m_pCancel->setGeometry(pOpen->geometry());
        m_pCancel->hide();
        connect(m_pCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnCancelSearch(); }); });
    }
}

// The worker goes first: it reads nothing of the form, but answers into it.
CQueryForm::~CQueryForm() {
    delete m_pWorker;
    m_pWorker = nullptr;
}

void CQueryForm::SetIndexer(CNoteIndexer* pIndexer) { m_pWorker->SetIndexer(pIndexer); }

bool CQueryForm::IsSearching() const { return m_pWorker && m_pWorker->IsRunning(); }

void CQueryForm::OnCancel() {
    if (IsSearching()) OnCancelSearch();
}

void CQueryForm::OnCancelSearch() {
    if (!IsSearching()) return;
    m_pWorker->Cancel();
    m_pRunningQuery.reset();
    if (m_pCount) m_pCount->setText(m_strCountBefore);
    ShowSearching(false);
}

void CQueryForm::ShowSearching(bool bSearching) {
    QWidget* pOpen = Item(kOpenButton);
    if (m_pCancel) {
        if (pOpen) m_pCancel->setGeometry(pOpen->geometry());
        m_pCancel->setVisible(bSearching);
        if (bSearching) m_pCancel->raise();
    }
    if (pOpen) pOpen->setVisible(!bSearching);
}

void CQueryForm::ShowProgress(size_t nDone, size_t nTotal) {
    if (m_pCount)
        m_pCount->setText(FormatMessageText(CurrentLanguage().String(ids::IDS_SEARCH_PROGRESS),
                                            {notefeed::GroupedNumber(nDone), notefeed::GroupedNumber(nTotal)}));
}

void CQueryForm::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, kSearchText, m_strSearch);
    DDX_Check(dx, kWithinResults, m_bWithinResults);
    DDX_Check(dx, kIgnoreCase, m_bIgnoreCase);
    DDX_Check(dx, kSearchNoteText, m_bSearchNoteText);
}

void CQueryForm::showEvent(QShowEvent* e) {
    CTemplateDialog::showEvent(e);
    if (!m_bInitialized) RunGuarded([this] { OnInitialUpdate(); });
}

void CQueryForm::OnInitialUpdate() {
    if (m_bInitialized || !IsCreated()) return;
    m_bInitialized = true;
    if (m_pList) {
        m_pList->setHeaderLabels({CurrentLanguage().String(ids::IDS_QUERY_COLUMN)});
        m_pList->setColumnWidth(0, m_pList->viewport()->width());
    }
    if (m_pCombo) {
        for (const std::string& strEntry : AppOptions().m_searchHistory)
            if (!strEntry.empty()) m_pCombo->addItem(ToQ(strEntry));
        m_pCombo->setCurrentIndex(-1);
        m_pCombo->setEditText(QString());
    }
    Layout();
}

bool CQueryForm::AddRow(CNote* pNote) {
    if (!m_pList || !pNote) return false;
    auto* pItem = new QTreeWidgetItem(m_pList);
    pItem->setText(0, ToQ(pNote->m_strName));
    pItem->setData(0, kNoteRole, QVariant::fromValue(reinterpret_cast<quintptr>(pNote)));
    return true;
}

void CQueryForm::ShowCount(int nCount) {
    if (m_pCount)
        m_pCount->setText(FormatMessageText(CurrentLanguage().String(ids::IDS_QUERY_COUNT), {std::to_string(nCount)}));
}

std::unordered_set<const CNote*> CQueryForm::LiveNotes() const { return notefeed::LiveNotes(m_doc.m_rootCata); }

void CQueryForm::OnSearch() {
    if (!m_pList || !m_pCombo) return;
    if (!UpdateData(true)) return;
    if (m_strSearch.empty()) {
        AfxMessageBox(ids::IDS_QUERY_EMPTY, host::MB_OK);
        return;
    }
    // Like the old combo's prefix search: an entry that begins with the
    // text, in any case, keeps it out of the list.
    const QString strText = ToQ(m_strSearch);
    bool bListed = false;
    for (int i = 0; i < m_pCombo->count() && !bListed; ++i)
        bListed = m_pCombo->itemText(i).startsWith(strText, Qt::CaseInsensitive);
    if (!bListed) m_pCombo->addItem(strText);
    m_pCombo->setEditText(strText);

    // The notes to look at, in the order their rows are to have: the rows
    // of now, or the whole notebook depth first.
    std::vector<CNote*> notes;
    if (m_bWithinResults) {
        const auto live = LiveNotes();
        for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
            CNote* pNote = ItemNote(m_pList->topLevelItem(i));
            if (pNote && live.count(pNote)) notes.push_back(pNote);
        }
    } else {
        notes = m_pWorker->List().Notes();
    }
    if (!IsSearching() && m_pCount) m_strCountBefore = m_pCount->text();
    m_pRunningQuery = std::make_unique<notetext::CNoteQuery>(m_strSearch, m_bIgnoreCase != 0, m_bSearchNoteText != 0);
    ShowSearching(true);
    m_pWorker->Start(*m_pRunningQuery, std::move(notes));
}

void CQueryForm::ShowFound(std::vector<CNote*> found) {
    ShowSearching(false);
    if (!m_pList) return;
    // The rows are made anew only once everything was found: a failure on
    // the way leaves the list as it was. A note deleted while the search
    // ran gets no row.
    const auto& live = m_pWorker->List().Live();
    m_pList->setUpdatesEnabled(false);
    m_pList->clear();
    int nCount = 0;
    for (CNote* pNote : found)
        if (live.count(pNote) && AddRow(pNote)) ++nCount;
    m_pList->setUpdatesEnabled(true);
    m_pLastQuery = std::move(m_pRunningQuery);
    ShowCount(nCount);
}

int CQueryForm::RowCount() const { return m_pList ? m_pList->topLevelItemCount() : 0; }

CNote* CQueryForm::RowNote(int nRow) const {
    if (!m_pList) return nullptr;
    CNote* pNote = ItemNote(m_pList->topLevelItem(nRow));
    if (!pNote) return nullptr;
    return LiveNotes().count(pNote) ? pNote : nullptr;
}

void CQueryForm::OnOpenSelected() {
    if (!m_pList) return;
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    if (selected.size() != 1) return;
    CNote* pNote = RowNote(m_pList->indexOfTopLevelItem(selected.first()));
    if (pNote) m_frame.ShowNote(pNote, false, -1, false);
}

void CQueryForm::OnSort(int nColumn) {
    if (!m_pList) return;
    m_nSortColumn = nColumn;
    std::vector<QTreeWidgetItem*> rows;
    while (m_pList->topLevelItemCount() > 0) rows.push_back(m_pList->takeTopLevelItem(0));
    std::vector<std::pair<std::string, QTreeWidgetItem*>> keyed;
    keyed.reserve(rows.size());
    for (QTreeWidgetItem* pItem : rows) keyed.emplace_back(FromQ(pItem->text(nColumn)), pItem);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<QTreeWidgetItem*> sorted;
    for (auto& entry : keyed) sorted.push_back(entry.second);
    m_pList->addTopLevelItems(sorted);
}

QString CQueryForm::RowToolTip(int nRow) const {
    CNote* pNote = RowNote(nRow);
    if (!pNote) return QString();
    // Rich text, so that a long passage wraps and the match stands out;
    // everything of the note's own is escaped.
    auto html = [](const std::string& utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toHtmlEscaped();
    };
    if (m_pLastQuery && m_pLastQuery->SearchText()) {
        notetext::CPassageMatch match;
        const std::string passage =
            notetext::MatchPassage(notetext::NoteSearchText(*pNote), *m_pLastQuery, 80, &match);
        if (!passage.empty())
            return QStringLiteral("<p>%1<b>%2</b>%3</p>")
                .arg(html(passage.substr(0, match.m_nStart)), html(passage.substr(match.m_nStart, match.m_nLength)),
                     html(passage.substr(match.m_nStart + match.m_nLength)));
    }
    return QStringLiteral("<p>%1</p>").arg(ToQ(pNote->m_strName).toHtmlEscaped());
}

bool CQueryForm::eventFilter(QObject* pWatched, QEvent* e) {
    if (pWatched == Item(IDD) && e->type() == QEvent::Resize) {
        RunGuarded([this] { Layout(); });
    } else if (m_pList && pWatched == m_pList->viewport() && e->type() == QEvent::ToolTip) {
        auto* pHelp = static_cast<QHelpEvent*>(e);
        QTreeWidgetItem* pItem = m_pList->itemAt(pHelp->pos());
        QString strTip;
        if (pItem) RunGuarded([&] { strTip = RowToolTip(m_pList->indexOfTopLevelItem(pItem)); });
        if (strTip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(pHelp->globalPos(), strTip, m_pList->viewport(), m_pList->visualItemRect(pItem));
        }
        return true;
    }
    return CTemplateDialog::eventFilter(pWatched, e);
}

void CQueryForm::Layout() {
    QWidget* pForm = Item(IDD);
    QWidget* pLast = Item(kSearchNoteText);
    if (!pForm || !pLast) return;
    const int H = pForm->height();
    const int W = pForm->width();
    const int h = pLast->height();
    const int x = pLast->x();
    pLast->move(x, H - 20);
    int y = H - h - 30;
    if (y > 0)
        if (QWidget* p = Item(kIgnoreCase)) p->move(x, y);
    y = y - h - 10;
    if (y > 0)
        if (QWidget* p = Item(kWithinResults)) p->move(x, y);
    if (m_pList) {
        const int nWidth = W - x - 10;
        const int nHeight = y - m_pList->y() - 10;
        if (nWidth > 0 && nHeight > 0) m_pList->resize(nWidth, nHeight);
    }
    if (m_pCombo) {
        const int nWidth = W - m_pCombo->x() - 10;
        if (nWidth > 0) m_pCombo->resize(nWidth, m_pCombo->height());
    }
    pForm->update();
}
