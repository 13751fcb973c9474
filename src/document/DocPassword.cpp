#include "document/DocPassword.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "document/Archive.h"
#include "document/DesCipher.h"
#include "platform/MessageHost.h"

namespace {

const CDesCipher& Cipher() {
    static const uint8_t kKey[CDesCipher::kBlockSize] = {'m', 'i', 's', 't', 'f', 'a', 'r', 'n'};
    static const CDesCipher cipher(kKey);
    return cipher;
}

// Room for n bytes and at least one terminating zero, in whole blocks.
uint64_t BufferSize(uint64_t n) { return (n / CDesCipher::kBlockSize + 1) * CDesCipher::kBlockSize; }

}  // namespace

void CDocPassword::SetPassword(const std::string& text) {
    const std::string clear = text.substr(0, text.find('\0'));
    if (clear.empty()) {
        m_strEnciphered.clear();
        m_nLength = 0;
        m_bLocked = false;
        return;
    }
    if (clear.size() > std::numeric_limits<uint32_t>::max())
        throw std::length_error("password longer than its stored length can say");
    std::vector<uint8_t> buf(static_cast<size_t>(BufferSize(clear.size())), 0);
    std::memcpy(buf.data(), clear.data(), clear.size());
    Cipher().EncipherEcb(buf.data(), buf.size());
    m_strEnciphered.assign(buf.begin(), buf.end());
    m_nLength = static_cast<uint32_t>(clear.size());
    m_bLocked = true;
}

bool CDocPassword::CheckPassword(const std::string& text) const {
    if (m_strEnciphered.empty()) return text.empty();
    // The stored length comes from the file and may be anything. A writer
    // always stores as many whole blocks as the length calls for, so a length
    // needing more blocks than the stored string fills cannot be genuine:
    // such a check fails at once instead of allocating for it. Blocks beyond
    // the length are ignored, and a stored string that ends inside the last
    // block is zero-filled, as the format has always read them.
    const uint64_t nStoredBlocks =
        (m_strEnciphered.size() + CDesCipher::kBlockSize - 1) / CDesCipher::kBlockSize;
    const uint64_t nSize = BufferSize(m_nLength);
    if (nSize > nStoredBlocks * CDesCipher::kBlockSize) return false;

    std::vector<uint8_t> buf(static_cast<size_t>(nSize), 0);
    std::memcpy(buf.data(), m_strEnciphered.data(), std::min<size_t>(buf.size(), m_strEnciphered.size()));
    Cipher().DecipherEcb(buf.data(), buf.size());
    size_t nClear = 0;
    while (nClear < buf.size() && buf[nClear] != 0) ++nClear;
    return text.size() == nClear && std::memcmp(text.data(), buf.data(), nClear) == 0;
}

void CDocPassword::Unlock(const std::string& text) { m_bLocked = HasPassword() && !CheckPassword(text); }

void CDocPassword::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_strEnciphered);
        ar.WriteU32(m_nLength);
    } else {
        // Both fields or neither: a file cut between them must not leave a
        // string paired with a stale length.
        std::string enciphered = ar.ReadString();
        const uint32_t nLength = ar.ReadU32();
        m_strEnciphered = std::move(enciphered);
        m_nLength = nLength;
        m_bLocked = !m_strEnciphered.empty();
    }
}

CUnlockPrompt::Outcome CUnlockPrompt::OnOk(const std::string& entry) {
    if (m_nFailures >= kMaxFailures) return giveUp;
    if (entry.empty()) {
        host::ShowMessage(ids::IDS_PASSWORD_EMPTY, host::MB_OK | host::MB_ICONEXCLAMATION);
        return keepOpen;
    }
    if (!m_password.CheckPassword(entry)) {
        host::ShowMessage(ids::IDS_PASSWORD_WRONG, host::MB_OK | host::MB_ICONEXCLAMATION);
        return ++m_nFailures >= kMaxFailures ? giveUp : keepOpen;
    }
    m_password.Unlock(entry);
    return unlocked;
}
