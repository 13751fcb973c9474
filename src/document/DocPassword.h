// The notebook password and the rules of the prompt that unlocks a notebook.
//
// The password only keeps a notebook read-only until somebody types it; the
// cipher key is fixed and public, so it is no protection against anyone who
// can read the file.
#pragma once

#include <cstdint>
#include <string>

class CArchive;

// String ids of the unlock prompt (beside those of platform/StringIds.h).
namespace ids {
constexpr unsigned IDS_PASSWORD_WRONG = 33027;  // the password entered does not match
constexpr unsigned IDS_PASSWORD_EMPTY = 33028;  // OK pressed with no password entered
}  // namespace ids

class CDocPassword {
public:
    // An empty text removes the password and unlocks. Otherwise the notebook
    // is locked under the new password. The stored form ends at a zero byte,
    // so a text is taken only up to its first zero byte: otherwise a password
    // could be set that no text would ever match.
    void SetPassword(const std::string& text);
    // Without a password only the empty text matches.
    bool CheckPassword(const std::string& text) const;
    // Locked = the text does not match; a notebook without a password is
    // never locked.
    void Unlock(const std::string& text);

    bool IsLocked() const { return m_bLocked; }
    bool HasPassword() const { return !m_strEnciphered.empty(); }

    const std::string& GetEnciphered() const { return m_strEnciphered; }
    uint32_t GetStoredLength() const { return m_nLength; }

    // Stored inline, without a class record: the enciphered string, then the
    // length of the clear password.
    void Serialize(CArchive& ar);

private:
    std::string m_strEnciphered;  // raw bytes; empty = no password
    uint32_t m_nLength = 0;
    bool m_bLocked = false;
};

// What the unlock dialog does when OK is pressed, without the dialog.
class CUnlockPrompt {
public:
    enum Outcome {
        keepOpen,  // ask again
        unlocked,  // the notebook is unlocked; close
        giveUp,    // too many wrong entries; close, the notebook stays locked
    };
    static constexpr int kMaxFailures = 3;

    explicit CUnlockPrompt(CDocPassword& password) : m_password(password) {}

    Outcome OnOk(const std::string& entry);
    int Failures() const { return m_nFailures; }

private:
    CDocPassword& m_password;
    int m_nFailures = 0;
};
