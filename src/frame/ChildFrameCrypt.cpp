// The notebook window's encryption commands: a plain notebook put under a
// passphrase, the passphrase changed, the encryption taken off; and the
// plain copies an encrypted notebook must not leave behind.
#include "frame/ChildFrame.h"

#include "capture/LinkHelpers.h"
#include "capture/gui/NoteBrowserView.h"
#include "frame/FrameHost.h"
#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "views/NoteIndexer.h"
#include "views/PassphraseDlgs.h"

#include <QApplication>

#include <string>

namespace {

// Held for as long as the key is derived and the file written.
struct CBusyCursor {
    CBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CBusyCursor() { QApplication::restoreOverrideCursor(); }
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;
};

}  // namespace

void CChildFrame::RegisterCryptCommands() {
    using namespace cmd;
    // A locked or damaged notebook takes no change, and this is one.
    OnCommand(kCmdEncryptNotebook, [this] { OnEncrypt(false); });
    OnUpdate(kCmdEncryptNotebook, [this](CCmdUI* pUI) { pUI->Enable(!m_doc.IsEncrypted() && !m_doc.IsReadOnly()); });
    OnCommand(kCmdChangePassphrase, [this] { OnEncrypt(true); });
    OnUpdate(kCmdChangePassphrase, [this](CCmdUI* pUI) { pUI->Enable(m_doc.IsEncrypted() && !m_doc.IsReadOnly()); });
    OnCommand(kCmdRemoveEncryption, [this] { OnRemoveEncryption(); });
    OnUpdate(kCmdRemoveEncryption, [this](CCmdUI* pUI) { pUI->Enable(m_doc.IsEncrypted() && !m_doc.IsReadOnly()); });
}

void CChildFrame::OnEncrypt(bool bChange) {
    if (m_doc.IsReadOnly() || m_doc.IsEncrypted() != bChange) return;
    // The edits on show go into the notebook before it is written.
    SaveCurrentNote();
    IPassphraseQuestions& questions = m_frame.Host().PassphraseQuestions();
    std::string passphrase;
    if (!questions.AskNewPassphrase(this, bChange, passphrase)) return;
    bool bOk = false;
    {
        CBusyCursor busy;
        bOk = m_doc.Encrypt(passphrase, questions.NewKeyLimits());
    }
    vault::WipeSecret(passphrase);
    // The notebook said why (no memory for the key, the save failed) and
    // is as it was.
    if (!bOk) return;
    if (bChange) return;
    ForgetPlainCopies();
    if (!m_doc.GetPathName().empty())
        AfxMessageBox(ids::IDS_CRYPT_DONE, host::MB_OK | host::MB_ICONINFORMATION, {m_doc.GetPathName()});
}

void CChildFrame::OnRemoveEncryption() {
    if (m_doc.IsReadOnly() || !m_doc.IsEncrypted()) return;
    SaveCurrentNote();
    IPassphraseQuestions& questions = m_frame.Host().PassphraseQuestions();
    if (!questions.ConfirmRemoval(this, [this](const std::string& s) { return m_doc.IsPassphrase(s); })) return;
    bool bOk = false;
    {
        CBusyCursor busy;
        bOk = m_doc.RemoveEncryption();
    }
    if (bOk && !m_doc.GetPathName().empty())
        AfxMessageBox(ids::IDS_CRYPT_REMOVED, host::MB_OK | host::MB_ICONINFORMATION, {m_doc.GetPathName()});
}

void CChildFrame::ForgetPlainCopies() {
    // The working copies written while the notebook was plain go; what is
    // on show comes back from memory.
    CNote* pNote = m_pCurrentNote;
    const bool bSource = m_bShowingSource;
    const int nMode = m_pEditor ? 1 : 0;
    if (pNote) m_pCurrentNote = nullptr;
    RemoveWorkFolder();
    if (pNote) ShowNote(pNote, false, nMode, bSource);
    // The index of the plain file went with the save (the indexer drops it
    // for an encrypted notebook); one never saved had none.
    if (m_pIndexer) m_pIndexer->Drop();
}

void CChildFrame::RemoveWorkFolder() {
    const std::string folder = m_doc.GetWorkFolder(true);
    if (!folder.empty()) DeleteWorkFolder(folder);
}
