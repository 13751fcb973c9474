// The Highlights tab beside Contents and Search: every highlight of the
// notebook (its text, comment, note and date, its colour as a swatch), a
// filter on text and comment, and each one opens its note scrolled to it.
// The pages are read on a worker from copies the window's thread hands it,
// again whenever the notebook changed while the tab is on show.
#pragma once

#include "capture/PageHighlights.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteFeed;
class CNoteList;
class CWorkThread;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

class CHighlightsTab : public QWidget {
    Q_OBJECT
public:
    // Opens a note in the browser at a highlight of its page.
    using OpenFn = std::function<void(CNote* pNote, const std::string& strId)>;
    enum Column { kColText, kColComment, kColNote, kColDate };
    // How often the tab looks whether the notebook changed while it shows.
    static constexpr int kWatchMs = 500;

    CHighlightsTab(CClipVaultDoc& doc, OpenFn fnOpen, QWidget* pParent = nullptr);
    // Stops the reading and waits for its worker.
    ~CHighlightsTab() override;

    // Reads the notebook's highlights again now.
    void Refresh();
    bool IsReading() const { return m_bReading; }
    QLineEdit* FilterBox() const { return m_pFilter; }
    QTreeWidget* List() const { return m_pList; }
    // The rows the filter lets through.
    int ShownCount() const;
    // Opens the note of a row at its highlight.
    void OpenRow(QTreeWidgetItem* pItem);

signals:
    // A reading ended and the list shows what it found.
    void Listed();

protected:
    void showEvent(QShowEvent* e) override;

private:
    struct CFound {
        size_t m_nPos;  // in the list of notes the reading was given
        CHighlight m_hl;
    };
    struct CReply;
    struct CRun;

    void Watch();
    void Deliver(const std::shared_ptr<CRun>& pRun);
    void ApplyFilter();

    CClipVaultDoc& m_doc;
    OpenFn m_fnOpen;
    QLineEdit* m_pFilter = nullptr;
    QTreeWidget* m_pList = nullptr;
    QLabel* m_pCount = nullptr;
    QTimer m_watch;
    std::unique_ptr<CNoteList> m_pNotes;
    std::shared_ptr<CReply> m_pReply;
    std::shared_ptr<CRun> m_pRun;
    std::unique_ptr<CNoteFeed> m_pFeed;
    // Each row's note, by its place in the list.
    std::vector<CNote*> m_rowNotes;
    unsigned m_nGeneration = 0;
    uint64_t m_nListedChange = ~uint64_t(0);
    bool m_bReading = false;
    // Declared last: it goes first, while everything its work uses is there.
    std::unique_ptr<CWorkThread> m_pThread;
};
