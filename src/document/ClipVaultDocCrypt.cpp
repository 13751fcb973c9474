// Encrypted notebooks: the passphrase asked at open, the file decrypted into
// memory before it is read, and the passphrase put on or taken off.
#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <string>

#include "document/ClipVaultDoc.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

unsigned ReasonId(vault::Refusal r) {
    switch (r) {
    case vault::Refusal::wrongPassphrase: return ids::IDS_SEALED_WRONG_PASSPHRASE;
    case vault::Refusal::damagedHeader: return ids::IDS_SEALED_DAMAGED_HEADER;
    case vault::Refusal::unknownVersion: return ids::IDS_SEALED_NEWER_FORMAT;
    case vault::Refusal::foreignHeader: return ids::IDS_SEALED_FOREIGN_HEADER;
    case vault::Refusal::damagedChunk: return ids::IDS_SEALED_DAMAGED_PART;
    case vault::Refusal::cutShort: return ids::IDS_SEALED_CUT_SHORT;
    case vault::Refusal::trailingBytes: return ids::IDS_SEALED_TRAILING_BYTES;
    default: return ids::IDS_SEALED_NO_MEMORY;
    }
}

void ReportRefusal(const std::string& strPath, const vault::CDecryptResult& res) {
    if (res.refusal == vault::Refusal::readFault) {
        host::ShowMessage(ids::IDS_FAILED_TO_OPEN_DOC, host::MB_OK | host::MB_ICONEXCLAMATION,
                          {strPath, std::strerror(res.nErrno ? res.nErrno : EIO)});
        return;
    }
    std::string reason = host::LoadString(ReasonId(res.refusal));
    const size_t at = reason.find("%s");
    if (at != std::string::npos) reason.replace(at, 2, std::to_string(res.nChunk + 1));
    host::ShowMessage(ids::IDS_SEALED_NOT_OPENED, host::MB_OK | host::MB_ICONEXCLAMATION, {strPath, reason});
}

}  // namespace

bool CClipVaultDoc::OpenSealed(int& fd, const std::string& strPath, std::shared_ptr<vault::CVaultKey>& key) {
    vault::CHeader header;
    vault::CDecryptResult res;
    res.refusal = vault::ReadHeader(fd, header);
    if (res.refusal == vault::Refusal::notEncrypted) return true;
    m_lastRefusal = res.refusal;
    if (res.refusal != vault::Refusal::none) {
        res.nErrno = errno;
        ReportRefusal(strPath, res);
        ::close(fd);
        return false;
    }
    if (!m_pPassphraseAsker) {
        host::ShowMessage(ids::IDS_SEALED_NEEDS_PASSPHRASE, host::MB_OK | host::MB_ICONEXCLAMATION, {strPath});
        ::close(fd);
        return false;
    }
    std::string pass;
    bool bGaveUp = false;
    for (int attempt = 1; attempt <= kPassphraseTries; ++attempt) {
        if (!m_pPassphraseAsker->AskPassphrase(strPath, attempt, pass)) {
            bGaveUp = true;
            break;
        }
        std::shared_ptr<vault::CVaultKey> tried = vault::CVaultKey::Derive(pass, header.salt, header.limits);
        vault::WipeSecret(pass);
        res = tried ? vault::Decrypt(fd, *tried) : vault::CDecryptResult{vault::Refusal::noMemory};
        if (res.refusal == vault::Refusal::wrongPassphrase) continue;
        m_lastRefusal = res.refusal;
        ::close(fd);
        if (res.refusal != vault::Refusal::none) {
            ReportRefusal(strPath, res);
            return false;
        }
        fd = res.nMemFd;
        key = std::move(tried);
        return true;
    }
    // The tries ran out: that is said. A user who cancelled knows what
    // happened, after a wrong try too.
    ::close(fd);
    if (res.refusal == vault::Refusal::wrongPassphrase) {
        m_lastRefusal = res.refusal;
        if (!bGaveUp) ReportRefusal(strPath, res);
    }
    return false;
}

bool CClipVaultDoc::Encrypt(const std::string& strPassphrase, vault::KdfLimits limits) {
    if (strPassphrase.empty()) return false;
    std::shared_ptr<vault::CVaultKey> key = vault::CVaultKey::Create(strPassphrase, limits);
    if (!key) {
        host::ShowMessage(ids::IDS_SEALED_NO_KEY, host::MB_OK | host::MB_ICONEXCLAMATION);
        return false;
    }
    return PutUnderKey(std::move(key));
}

bool CClipVaultDoc::RemoveEncryption() { return PutUnderKey(nullptr); }

bool CClipVaultDoc::PutUnderKey(std::shared_ptr<vault::CVaultKey> key) {
    std::shared_ptr<vault::CVaultKey> old = std::move(m_pVaultKey);
    m_pVaultKey = std::move(key);
    // The file on disk changes at once: leaving it plain (or under the old
    // passphrase) until some later save would leave the user believing
    // otherwise. Without a file of its own (new, or damaged) the next save
    // asks where.
    if (m_strPathName.empty() || IsDamaged()) {
        MarkModified(true);
        return true;
    }
    if (OnSaveDocument(m_strPathName)) return true;
    m_pVaultKey = std::move(old);
    return false;
}

bool CClipVaultDoc::IsPassphrase(const std::string& strPassphrase) const {
    if (!m_pVaultKey) return false;
    const std::unique_ptr<vault::CVaultKey> tried =
        vault::CVaultKey::Derive(strPassphrase, m_pVaultKey->Salt(), m_pVaultKey->Limits());
    return tried && sodium_memcmp(tried->Bytes(), m_pVaultKey->Bytes(), vault::kKeyBytes) == 0;
}
