// The browser's highlights: the user selects text of a kept page and marks
// it (a colour, a comment); the marks go into the note's own page bytes in
// the notebook, and the view shows the page anew where it was scrolled.
#pragma once

#include "capture/PageHighlights.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class CCmdUI;
class CClipVaultDoc;
class CNote;
class CNoteBrowserView;
class QMenu;

class CPageHighlighter : public QObject {
    Q_OBJECT
public:
    // What the page says of the selection and the mark under it.
    struct CProbe {
        bool m_bQuote = false;
        CHighlightQuote m_quote;
        CHighlight m_mark;  // m_strId empty: no mark there
        double m_x = 0;     // the page's scroll position
        double m_y = 0;
    };

    CPageHighlighter(CNoteBrowserView& view, CClipVaultDoc& doc);

    // The commands kCmdHighlight to kCmdRemoveHighlight.
    void OnCommand(unsigned nID);
    void OnUpdate(CCmdUI* pUI) const;
    // Whether the view shows a note's own page, which can take highlights.
    bool CanHighlight() const;

    // Scrolls the page on show (once it has loaded) to the highlight and
    // makes it stand out for a moment.
    void Reveal(const std::string& strId);

    // The colour the Highlight command and the toolbar button use: the one
    // last chosen, yellow at first.
    static QString LastColor();

    // Writes the page `fn` makes of the note's page into the note, keeping
    // its attachments; a read-only notebook refuses (and says why). The
    // result of `fn`, or kNotFound when nothing was written.
    static HighlightResult ChangeNotePage(
        CClipVaultDoc& doc, CNote& note,
        const std::function<HighlightResult(const std::vector<uint8_t>&, std::vector<uint8_t>&)>& fn);

signals:
    // A highlight was added, changed or removed in the note's page.
    void PageChanged(CNote* pNote);
    // A command (or a context menu's entry) has run to its end, whatever
    // came of it.
    void CommandEnded();

private:
    void Probe(bool bAtPoint, QPoint at, std::function<void(const CProbe&)> fn);
    void RunOn(unsigned nID, const CProbe& probe);
    void Add(const CProbe& probe, const QString& strColor, const QString& strComment);
    void AskComment(const CProbe& probe);
    void Change(const CProbe& probe, const std::function<HighlightResult(const std::vector<uint8_t>&,
                                                                         std::vector<uint8_t>&)>& fn);
    void ShowContextMenu(const QPoint& at);
    void FillContextMenu(QMenu* pMenu, const CProbe& probe);
    void OnLoadFinished(bool bOk);
    void Report(HighlightResult result, const CNote& note) const;

    CNoteBrowserView& m_view;
    CClipVaultDoc& m_doc;
    // The note the command was given for: a probe that comes back after
    // the view moved on acts on nothing.
    CNote* m_pProbed = nullptr;
    // After the page is loaded anew: back to the old scroll position, or
    // to a highlight.
    bool m_bRestoreScroll = false;
    double m_x = 0;
    double m_y = 0;
    QString m_strReveal;
};
