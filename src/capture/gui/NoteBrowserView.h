// The right pane's browser: shows a note's working copy from the notebook's
// working folder.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QWebEngineView>

class INoteFrame;
class CNote;

class CNoteBrowserView : public QWebEngineView, public CCmdTarget {
    Q_OBJECT
public:
    CNoteBrowserView(INoteFrame& frame, QWidget* pParent);

    // Writes the note's working copy when the notebook holds its content
    // and shows it; a note that is still being fetched shows nothing yet.
    void ShowNote(CNote* pNote);
    // The note's source (its web address or file) instead of its content.
    void ShowSource(CNote* pNote);
    void ShowNothing();
    CNote* ShownNote() const { return m_pNote; }
    QUrl ShownUrl() const { return m_shownUrl; }

private:
    void Navigate(const QUrl& url);

    INoteFrame& m_frame;
    CNote* m_pNote = nullptr;
    QUrl m_shownUrl;
};
