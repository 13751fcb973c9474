// The reader view of the note browser: a kept page's article alone (title,
// byline, date, main text and its pictures), found by Readability in a copy
// of the page and shown in place of the page, in the program's own script
// world. The note's stored bytes are never changed; showing the note again
// brings the whole page back.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QObject>
#include <QPointF>
#include <QString>

class CNoteBrowserView;
class INoteFrame;

// The folder the reader's scripts are read from at run time: the program
// folder's js/ (Readability from node_modules, the program's own from src).
void SetReaderScriptFolder(const QString& strFolder);
QString ReaderScriptFolder();
// The scripts to run in a page's world, or an empty text when one of them
// cannot be read.
QString ReaderScripts();

class CReaderMode : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    enum State {
        kNoPage = 0,     // no kept page on show (or still loading): greyed
        kProbing = 1,    // the page is being read
        kNoArticle = 2,  // greyed, and the status bar says why
        kAvailable = 3,
        kOn = 4,
    };

    CReaderMode(CNoteBrowserView& view, INoteFrame& frame);

    // What the command may do for the note on show: a note the view was
    // asked to show since is not read yet.
    State GetState() const;
    // Why there is no article, as the status bar said it.
    const QString& NoArticleReason() const { return m_strReason; }
    // Shows the article in place of the page, or the page again.
    void Toggle();

signals:
    // The state changed (the page was read, the article shown).
    void StateChanged(int nState);

private:
    void RegisterCommands();
    void OnLoadStarted();
    void OnLoadFinished(bool bOk);
    void OnProbed(int nGeneration, const QVariant& result);
    void SetState(State state, const QString& strReason = QString());
    void SayWhyOnHover(State state);
    // At the top of the article, or where the reader was before a reload.
    void Show(QPointF at = QPointF());
    void ApplyStyle();
    void SetTheme(unsigned nTheme);
    void SetTextSize(int nSize);
    void SetLineWidth(unsigned nWidth);
    void DropDownStyleMenu(const QPoint& at);
    bool ShowsPageNote() const;
    QString StyleArguments() const;

    CNoteBrowserView& m_view;
    INoteFrame& m_frame;
    State m_state = kNoPage;
    // The note the state is about; compared, never used.
    const void* m_pStateNote = nullptr;
    QString m_strReason;
    // Loads counted, so that the answer of a page gone is not taken for
    // the page on show.
    int m_nGeneration = 0;
    // The note whose article the user asked for: the page loaded anew
    // (refreshed, or changed by a highlight) shows its article again.
    const void* m_pWantedNote = nullptr;
    QPointF m_keptScroll;
    // The status bar holds what this view said there.
    bool m_bSaidStatus = false;
};
