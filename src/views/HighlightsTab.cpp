#include "views/HighlightsTab.h"

#include "capture/NotebookHighlights.h"
#include "capture/gui/HighlightCommentDlg.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"
#include "views/NoteFeed.h"

#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <mutex>

namespace {

QString Text(unsigned nID) { return CurrentLanguage().String(nID); }


// One line of a comment or a long text, for a row.
QString OneLine(const std::string& strUtf8) {
    return QString::fromStdString(strUtf8).simplified();
}

QString ShownDate(const std::string& strIso) {
    const QDateTime at = QDateTime::fromString(QString::fromStdString(strIso), Qt::ISODate);
    return at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString::fromStdString(strIso);
}

constexpr int kIdRole = Qt::UserRole;
constexpr int kRowRole = Qt::UserRole + 1;

}  // namespace

// Where the worker's answers go: nowhere once the tab is gone.
struct CHighlightsTab::CReply {
    std::mutex m_mutex;
    CHighlightsTab* m_pTab = nullptr;
    void Send(std::function<void(CHighlightsTab&)> fn) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (CHighlightsTab* pTab = m_pTab)
            QMetaObject::invokeMethod(pTab, [pTab, fn = std::move(fn)] { fn(*pTab); }, Qt::QueuedConnection);
    }
};

// One reading of the notebook.
struct CHighlightsTab::CRun {
    explicit CRun(unsigned nGeneration) : m_nGeneration(nGeneration) {}
    unsigned m_nGeneration;
    std::atomic<bool> m_bCancel{false};
    std::vector<CHighlightNote> m_pages;  // the window thread's
    std::vector<CFound> m_found;  // the worker's
};

CHighlightsTab::CHighlightsTab(CClipVaultDoc& doc, OpenFn fnOpen, QWidget* pParent)
    : QWidget(pParent),
      m_doc(doc),
      m_fnOpen(std::move(fnOpen)),
      m_pNotes(std::make_unique<CNoteList>(doc)),
      m_pReply(std::make_shared<CReply>()),
      m_pThread(std::make_unique<CWorkThread>()) {
    m_pReply->m_pTab = this;
    setObjectName(QStringLiteral("highlights"));
    setAccessibleName(Text(ids::IDS_TAB_HIGHLIGHTS));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(2, 2, 2, 2);
    auto* pRow = new QHBoxLayout;
    auto* pLabel = new QLabel(Text(ids::IDS_HL_FILTER_LABEL));
    m_pFilter = new QLineEdit;
    m_pFilter->setObjectName(QStringLiteral("filter"));
    m_pFilter->setPlaceholderText(Text(ids::IDS_HL_FILTER_HINT));
    m_pFilter->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_FILTER_LABEL)));
    m_pFilter->setAccessibleDescription(Text(ids::IDS_HL_FILTER_HINT));
    m_pFilter->setClearButtonEnabled(true);
    pLabel->setBuddy(m_pFilter);
    pRow->addWidget(pLabel);
    pRow->addWidget(m_pFilter, 1);
    pLayout->addLayout(pRow);
    m_pList = new QTreeWidget;
    m_pList->setObjectName(QStringLiteral("highlightList"));
    m_pList->setAccessibleName(Text(ids::IDS_HL_LIST_NAME));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setHeaderLabels({Text(ids::IDS_HL_COL_TEXT), Text(ids::IDS_HL_COL_COMMENT), Text(ids::IDS_HL_COL_NOTE),
                              Text(ids::IDS_HL_COL_DATE)});
    m_pList->header()->setStretchLastSection(false);
    m_pList->setColumnWidth(kColText, 180);
    pLayout->addWidget(m_pList, 1);
    m_pCount = new QLabel;
    m_pCount->setObjectName(QStringLiteral("highlightCount"));
    pLayout->addWidget(m_pCount);
    connect(m_pFilter, &QLineEdit::textChanged, this, &CHighlightsTab::ApplyFilter);
    // A double click, or Enter on the row.
    connect(m_pList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* pItem) { OpenRow(pItem); });
    connect(&m_watch, &QTimer::timeout, this, &CHighlightsTab::Watch);
    m_watch.start(kWatchMs);
}

CHighlightsTab::~CHighlightsTab() {
    {
        std::lock_guard<std::mutex> lock(m_pReply->m_mutex);
        m_pReply->m_pTab = nullptr;
    }
    if (m_pRun) m_pRun->m_bCancel = true;
    m_pFeed.reset();
    m_pThread.reset();
}

void CHighlightsTab::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Watch();
}

void CHighlightsTab::Watch() {
    // Only while it is seen: a hidden tab reads when it is shown again.
    if (!isVisible() || m_bReading || m_doc.ChangeCount() == m_nListedChange) return;
    Refresh();
}

void CHighlightsTab::Refresh() {
    ++m_nGeneration;
    if (m_pRun) m_pRun->m_bCancel = true;
    m_pFeed.reset();
    m_pThread->DropPending();
    m_nListedChange = m_doc.ChangeCount();
    auto pRun = std::make_shared<CRun>(m_nGeneration);
    m_pRun = pRun;
    m_bReading = true;
    m_pCount->setText(Text(ids::IDS_HL_READING));
    m_pCount->setAccessibleName(m_pCount->text());
    // The pages and where they stand are taken here, on the thread that
    // changes the tree; their bytes are read from copies on the worker.
    pRun->m_pages = HighlightNotes(m_doc.m_rootCata);
    std::vector<CNote*> notes;
    notes.reserve(pRun->m_pages.size());
    for (const CHighlightNote& page : pRun->m_pages) notes.push_back(page.m_pNote);
    auto fnTake = [this, pRun](size_t nPos, const CNote*, uint64_t, std::unique_ptr<CNote> pCopy) {
        std::shared_ptr<CNote> copy(std::move(pCopy));
        if (!copy) return;
        m_pThread->Post([pRun, copy, nPos] {
            if (pRun->m_bCancel) return;
            for (CHighlight& hl : NoteHighlights(*copy)) pRun->m_found.push_back({nPos, std::move(hl)});
        });
    };
    auto fnDone = [this, pRun] {
        m_pThread->Post([pRun, pReply = m_pReply] {
            if (pRun->m_bCancel) return;
            pReply->Send([pRun](CHighlightsTab& tab) { tab.Deliver(pRun); });
        });
    };
    m_pFeed = std::make_unique<CNoteFeed>(*m_pNotes, std::move(notes), fnTake, [this] { return m_pThread->Pending(); },
                                          fnDone);
    m_pFeed->Start();
}

void CHighlightsTab::Deliver(const std::shared_ptr<CRun>& pRun) {
    if (pRun->m_nGeneration != m_nGeneration) return;
    m_bReading = false;
    m_rowNotes.clear();
    for (const CHighlightNote& page : pRun->m_pages) m_rowNotes.push_back(page.m_pNote);
    const std::vector<CFound>& found = pRun->m_found;
    m_pFeed.reset();
    m_pRun.reset();
    const auto& live = m_pNotes->Live();
    m_pList->clear();
    QList<QTreeWidgetItem*> items;
    for (const CFound& f : found) {
        CNote* pNote = f.m_nPos < m_rowNotes.size() ? m_rowNotes[f.m_nPos] : nullptr;
        if (!pNote || !live.count(pNote)) continue;
        auto* pItem = new QTreeWidgetItem;
        const QString color = QString::fromStdString(f.m_hl.m_strColor);
        pItem->setText(kColText, OneLine(f.m_hl.m_strText));
        pItem->setIcon(kColText, CHighlightCommentDlg::SwatchIcon(color));
        pItem->setToolTip(kColText, CHighlightCommentDlg::ColorName(color) + QStringLiteral(": ") +
                                        QString::fromStdString(f.m_hl.m_strText));
        pItem->setText(kColComment, OneLine(f.m_hl.m_strComment));
        pItem->setToolTip(kColComment, QString::fromStdString(f.m_hl.m_strComment));
        const CHighlightNote& page = pRun->m_pages[f.m_nPos];
        pItem->setText(kColNote, ToQ(pNote->m_strName));
        pItem->setToolTip(kColNote, ToQ(page.m_strCategoryPath.empty() ? pNote->m_strName
                                                                      : page.m_strCategoryPath + "/" + pNote->m_strName));
        pItem->setText(kColDate, ShownDate(f.m_hl.m_strDate));
        pItem->setData(kColText, kIdRole, QString::fromStdString(f.m_hl.m_strId));
        pItem->setData(kColText, kRowRole, static_cast<qulonglong>(f.m_nPos));
        items << pItem;
    }
    m_pList->addTopLevelItems(items);
    ApplyFilter();
    emit Listed();
    // What changed while it read is read next.
    Watch();
}

void CHighlightsTab::ApplyFilter() {
    const QString needle = m_pFilter->text().simplified();
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* pItem = m_pList->topLevelItem(i);
        const bool bShow = needle.isEmpty() || pItem->text(kColText).contains(needle, Qt::CaseInsensitive) ||
                           pItem->toolTip(kColComment).contains(needle, Qt::CaseInsensitive);
        pItem->setHidden(!bShow);
    }
    if (m_bReading) return;
    m_pCount->setText(FormatMessageText(Text(ids::IDS_HL_COUNT), {std::to_string(ShownCount())}));
    m_pCount->setAccessibleName(m_pCount->text());
}

int CHighlightsTab::ShownCount() const {
    int n = 0;
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
        if (!m_pList->topLevelItem(i)->isHidden()) ++n;
    return n;
}

void CHighlightsTab::OpenRow(QTreeWidgetItem* pItem) {
    if (!pItem || !m_fnOpen) return;
    const size_t nPos = pItem->data(kColText, kRowRole).toULongLong();
    CNote* pNote = nPos < m_rowNotes.size() ? m_rowNotes[nPos] : nullptr;
    // A note deleted since the list was read is not there to open.
    if (!pNote || !m_pNotes->Live().count(pNote)) return;
    m_fnOpen(pNote, pItem->data(kColText, kIdRole).toString().toStdString());
}
