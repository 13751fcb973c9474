// The notebook window's side of the password: the title and the pictures
// that show the lock, and the commands that set, change and open it.
#include "frame/ChildFrame.h"

#include "document/ClipVaultDoc.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/QtText.h"
#include "views/NoteIndexer.h"
#include "views/PasswordDlgs.h"

void CChildFrame::TitleChanged() {
    // Every change to the notebook marks it modified, and so comes here.
    if (m_pIndexer) m_pIndexer->NotebookChanged();
    ShowTitle();
}

void CChildFrame::ShowTitle() {
    const CLanguageModule& lang = CurrentLanguage();
    QString title = ToQ(m_doc.GetTitle());
    // Why nothing can be changed here must show wherever the notebook's
    // name does: the window, its tab, the main window's title, the tree.
    if (m_doc.IsDamaged()) title += QLatin1Char(' ') + lang.String(ids::IDS_TITLE_DAMAGED);
    if (m_doc.IsLocked()) title += QLatin1Char(' ') + lang.String(ids::IDS_TITLE_LOCKED);
    // Encryption too: the user sees which notebooks the passphrase guards.
    if (m_doc.IsEncrypted()) title += QLatin1Char(' ') + lang.String(ids::IDS_TITLE_ENCRYPTED);
    setWindowTitle(title);
    if (m_doc.IsLocked() != m_bShowsLock) {
        m_bShowsLock = m_doc.IsLocked();
        const QIcon icon = lang.Icon(233);
        setWindowIcon(m_bShowsLock ? LockedIcon(icon) : icon);
    }
    if (m_pTree) m_pTree->UpdateRootTitle();
    m_frame.UpdateFrameTitle();
}

void CChildFrame::OnChangePassword() {
    SaveCurrentNote();
    if (!ChangeNotebookPassword(m_doc, this)) return;
    // A new password locks the notebook at once, and a locked notebook
    // ignores the ordinary modified mark; the password itself must still
    // reach the file, or it would be gone with the next open. The mark
    // shows the lock as well.
    m_doc.MarkModified();
    if (m_doc.IsLocked()) {
        // What the pane shows goes read-only (the editor gives way).
        if (CNote* pNote = m_pCurrentNote) {
            m_pCurrentNote = nullptr;
            ShowNote(pNote);
        }
        if (m_doc.IsModified()) m_doc.SaveModified();
    }
}

void CChildFrame::OnUnlock() {
    UnlockNotebook(m_doc, this);
    ShowTitle();
    // Unlocked in this session: its text may go into its index now.
    if (m_pIndexer && !m_doc.IsLocked()) m_pIndexer->Start();
    if (CNote* pNote = m_pCurrentNote) {
        m_pCurrentNote = nullptr;
        ShowNote(pNote);
    }
}
