// The file managers' "Add to Clipvault" entry. The adapters (the Nautilus
// extension, the sender that Dolphin and Thunar run) hand the selection to
// an ExtMenu, let it fill their menu and call it when the user picks the
// entry; ExtMenu then gives the files to the program over the session bus.
//
// The results keep the values that shell extensions return elsewhere, so that
// callers may test them as they are used to.
#pragma once

#include "ExtMenuStrings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace extmenu {

using HResult = std::int32_t;
constexpr HResult S_OK = 0;
constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);

// QueryContextMenu: a menu built only to find the default verb.
constexpr unsigned CMF_NORMAL = 0x0;
constexpr unsigned CMF_DEFAULTONLY = 0x1;
// GetCommandString: what is asked for, and whether as wide text.
constexpr unsigned GCS_VERBA = 0x0;
constexpr unsigned GCS_HELPTEXTA = 0x1;
constexpr unsigned GCS_VALIDATEA = 0x2;
constexpr unsigned GCS_UNICODE = 0x4;
constexpr unsigned GCS_HELPTEXTW = GCS_HELPTEXTA | GCS_UNICODE;

// A path keeps at most this many bytes, as the program stores it.
constexpr std::size_t kMaxPathBytes = 259;

// The bus side of the program.
constexpr const char* kBusName = "org.clipvault.Clipvault";
constexpr const char* kObjectPath = "/org/clipvault/Clipvault";
constexpr const char* kInterface = "org.clipvault.Automation";
constexpr const char* kMethodAddFiles = "AddNotesFromFiles";
// Long enough for the bus to start the program and for it to take the call.
constexpr int kCallTimeoutMs = 25000;

// The files a file manager has selected, in selection order. An entry may
// have no local path (a remote location, a name that is not UTF-8).
class EXTMENU_API ISelection {
public:
    virtual ~ISelection();
    virtual unsigned Count() const = 0;
    // False when entry `nIndex` cannot be read as a local path.
    virtual bool PathAt(unsigned nIndex, std::string& strPath) const = 0;
};

// A selection given as a list; an empty optional is an unreadable entry.
class EXTMENU_API PathSelection : public ISelection {
public:
    PathSelection() = default;
    explicit PathSelection(std::vector<std::optional<std::string>> entries);
    PathSelection(const std::vector<std::string>& paths);
    unsigned Count() const override;
    bool PathAt(unsigned nIndex, std::string& strPath) const override;

private:
    std::vector<std::optional<std::string>> m_arrEntries;
};

// The menu an adapter builds.
class EXTMENU_API IMenu {
public:
    virtual ~IMenu();
    // Inserts a text item at position `nIndex` whose command id is `nId`;
    // false when the menu refused it.
    virtual bool InsertItem(unsigned nIndex, unsigned nId, const std::string& strText) = 0;
};

// What the user chose: either a verb given as text, which this entry does not
// answer, or the offset of the command among the ids the entry took.
struct InvokeInfo {
    const char* pszVerb = nullptr;
    unsigned nOffset = 0;
};

class EXTMENU_API ExtMenu {
public:
    ExtMenu();
    ~ExtMenu();
    ExtMenu(const ExtMenu&) = delete;
    ExtMenu& operator=(const ExtMenu&) = delete;

    // Takes the selected paths in order, each cut to kMaxPathBytes on a
    // character boundary; replaces any earlier list. E_INVALIDARG for an
    // empty selection or when an entry could not be read (the readable ones
    // are still taken).
    HResult Initialize(const ISelection& selection);

    // Inserts the entry at `nIndex` with id `nIdFirst`; the number of ids
    // used (0 or 1).
    HResult QueryContextMenu(IMenu& menu, unsigned nIndex, unsigned nIdFirst, unsigned nIdLast, unsigned nFlags);

    // The help text of command 0, truncated to `nSize` units with its end
    // mark. With GCS_UNICODE `pBuffer` holds `nSize` char32_t, else `nSize`
    // bytes of UTF-8 (never cut inside a character).
    HResult GetCommandString(unsigned nOffset, unsigned nFlags, void* pBuffer, unsigned nSize);

    // Hands the files to the program (started by the bus when it is not
    // running). S_OK without files; E_FAIL when the program cannot be
    // reached or refuses the call.
    HResult InvokeCommand(const InvokeInfo& info);

    // The paths as taken by the last Initialize.
    const std::vector<std::string>& Files() const { return m_arrFiles; }
    // Why the last InvokeCommand failed, for a caller that has a place to
    // say so; the file manager's users are not shown it.
    const std::string& LastError() const { return m_strLastError; }

private:
    std::vector<std::string> m_arrFiles;
    std::string m_strLastError;
};

// The language the menu texts are chosen by, read from the locale when the
// library is loaded and when it is unloaded.
EXTMENU_API std::string ModuleLanguageId();
// Reads it again (after the locale's environment changed).
EXTMENU_API void ReloadModuleLanguageId();

// `strPath` cut to at most `nMax` bytes without splitting a UTF-8 sequence.
EXTMENU_API std::string CutUtf8(const std::string& strPath, std::size_t nMax);

}  // namespace extmenu
