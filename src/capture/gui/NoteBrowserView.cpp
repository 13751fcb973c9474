#include "capture/gui/NoteBrowserView.h"

#include "document/Records.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"

#include <QFileInfo>
#include <QUrl>

CNoteBrowserView::CNoteBrowserView(INoteFrame& frame, QWidget* pParent) : QWebEngineView(pParent), m_frame(frame) {
    ShowNothing();
}

void CNoteBrowserView::Navigate(const QUrl& url) {
    m_shownUrl = url;
    setUrl(url);
}

void CNoteBrowserView::ShowNothing() {
    m_pNote = nullptr;
    Navigate(QUrl(QStringLiteral("about:blank")));
}

void CNoteBrowserView::ShowNote(CNote* pNote) {
    m_pNote = pNote;
    if (!pNote) {
        ShowNothing();
        return;
    }
    const int status = pNote->m_nStatus.load();
    if (status != kStatusDone) {
        // The download's own page comes with the download commands; until
        // then nothing half-fetched is shown.
        m_pNote = pNote;
        Navigate(QUrl(QStringLiteral("about:blank")));
        return;
    }
    if (pNote->m_nContentType == kContentHeld) {
        const std::string path = pNote->GetWorkPath();
        if (path.empty() || !pNote->WriteWorkingCopy()) {
            Navigate(QUrl(QStringLiteral("about:blank")));
            return;
        }
        Navigate(QUrl::fromLocalFile(ToQ(path)));
        return;
    }
    ShowSource(pNote);
    m_pNote = pNote;
}

void CNoteBrowserView::ShowSource(CNote* pNote) {
    m_pNote = pNote;
    const QString source = ToQ(pNote->m_strSource);
    QUrl url = QUrl::fromUserInput(source);
    if (QFileInfo(source).isAbsolute()) url = QUrl::fromLocalFile(source);
    Navigate(url.isValid() ? url : QUrl(QStringLiteral("about:blank")));
}
