#include "ExtMenu.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstring>

namespace extmenu {

namespace {

// Four hex digits and the end mark; a plain array, because it is written
// again while the library is unloaded, when C++ objects may be gone.
char g_szLanguageId[5] = "0409";

void ReadLanguageId() noexcept {
    try {
        const std::string id = SystemLanguageId();
        std::strncpy(g_szLanguageId, id.c_str(), sizeof g_szLanguageId - 1);
        g_szLanguageId[sizeof g_szLanguageId - 1] = '\0';
    } catch (...) {
        // Keeps the language it had.
    }
}

__attribute__((constructor)) void OnLibraryLoad() { ReadLanguageId(); }
__attribute__((destructor)) void OnLibraryUnload() { ReadLanguageId(); }

// Frees GLib objects on every way out of InvokeCommand.
struct BusCall {
    GDBusConnection* pBus = nullptr;
    GVariant* pReply = nullptr;
    GError* pError = nullptr;
    ~BusCall() {
        if (pReply) g_variant_unref(pReply);
        if (pBus) g_object_unref(pBus);
        if (pError) g_error_free(pError);
    }
};

}  // namespace

std::string ModuleLanguageId() { return g_szLanguageId; }
void ReloadModuleLanguageId() { ReadLanguageId(); }

std::string CutUtf8(const std::string& strPath, std::size_t nMax) {
    if (strPath.size() <= nMax) return strPath;
    std::size_t n = nMax;
    // Back off continuation bytes so the cut falls before a lead byte.
    while (n > 0 && (static_cast<unsigned char>(strPath[n]) & 0xC0) == 0x80) --n;
    return strPath.substr(0, n);
}

ISelection::~ISelection() = default;
IMenu::~IMenu() = default;

PathSelection::PathSelection(std::vector<std::optional<std::string>> entries) : m_arrEntries(std::move(entries)) {}

PathSelection::PathSelection(const std::vector<std::string>& paths) : m_arrEntries(paths.begin(), paths.end()) {}

unsigned PathSelection::Count() const { return static_cast<unsigned>(m_arrEntries.size()); }

bool PathSelection::PathAt(unsigned nIndex, std::string& strPath) const {
    if (nIndex >= m_arrEntries.size() || !m_arrEntries[nIndex]) return false;
    strPath = *m_arrEntries[nIndex];
    return true;
}

ExtMenu::ExtMenu() = default;
ExtMenu::~ExtMenu() = default;

HResult ExtMenu::Initialize(const ISelection& selection) {
    try {
        // A selection that brings nothing must not leave the files of an
        // earlier one to be sent.
        m_arrFiles.clear();
        const unsigned nCount = selection.Count();
        if (nCount == 0) return E_INVALIDARG;
        HResult hr = S_OK;
        std::vector<std::string> files;
        files.reserve(nCount);
        for (unsigned i = 0; i < nCount; ++i) {
            std::string strPath;
            // The bus carries text only: a name that is not UTF-8 cannot be
            // handed over and counts as unreadable.
            if (!selection.PathAt(i, strPath) || strPath.empty() ||
                !g_utf8_validate(strPath.data(), static_cast<gssize>(strPath.size()), nullptr)) {
                g_debug("ExtMenu: selected entry %u has no usable local path", i);
                hr = E_INVALIDARG;
                continue;
            }
            files.push_back(CutUtf8(strPath, kMaxPathBytes));
        }
        m_arrFiles.swap(files);
        return hr;
    } catch (...) {
        return E_FAIL;
    }
}

HResult ExtMenu::QueryContextMenu(IMenu& menu, unsigned nIndex, unsigned nIdFirst, unsigned nIdLast,
                                  unsigned nFlags) {
    try {
        if (nFlags & CMF_DEFAULTONLY) return 0;
        if (nIdFirst > nIdLast) return 0;  // no id left for the entry
        const char* pszText = TextFor(Text::Item, ModuleLanguageId());
        // Report no id used when the menu would not take the item.
        return menu.InsertItem(nIndex, nIdFirst, pszText) ? 1 : 0;
    } catch (...) {
        return E_FAIL;
    }
}

HResult ExtMenu::GetCommandString(unsigned nOffset, unsigned nFlags, void* pBuffer, unsigned nSize) {
    try {
        if (nOffset != 0 || !(nFlags & GCS_HELPTEXTA)) return E_INVALIDARG;
        if (nSize == 0) return S_OK;
        if (!pBuffer) return E_INVALIDARG;
        const char* pszHelp = TextFor(Text::Help, ModuleLanguageId());
        if (nFlags & GCS_UNICODE) {
            glong nChars = 0;
            gunichar* pWide = g_utf8_to_ucs4_fast(pszHelp, -1, &nChars);
            const std::size_t nCopy = std::min<std::size_t>(static_cast<std::size_t>(nChars), nSize - 1);
            char32_t* pOut = static_cast<char32_t*>(pBuffer);
            for (std::size_t i = 0; i < nCopy; ++i) pOut[i] = static_cast<char32_t>(pWide[i]);
            pOut[nCopy] = U'\0';
            g_free(pWide);
        } else {
            const std::string strCut = CutUtf8(pszHelp, nSize - 1);
            std::memcpy(pBuffer, strCut.c_str(), strCut.size() + 1);
        }
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HResult ExtMenu::InvokeCommand(const InvokeInfo& info) {
    try {
        m_strLastError.clear();
        if (info.pszVerb != nullptr || info.nOffset != 0) return E_INVALIDARG;
        if (m_arrFiles.empty()) return S_OK;

        BusCall call;
        call.pBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &call.pError);
        if (!call.pBus) {
            m_strLastError = std::string("no session bus: ") + (call.pError ? call.pError->message : "unknown error");
            g_debug("ExtMenu: %s", m_strLastError.c_str());
            return E_FAIL;
        }
        GVariantBuilder files;
        g_variant_builder_init(&files, G_VARIANT_TYPE("av"));
        for (const std::string& strPath : m_arrFiles)
            g_variant_builder_add(&files, "v", g_variant_new_string(strPath.c_str()));
        GVariant* pArgs = g_variant_new("(v)", g_variant_builder_end(&files));
        // Without NO_AUTO_START: the bus starts the program when it is not
        // running.
        call.pReply = g_dbus_connection_call_sync(call.pBus, kBusName, kObjectPath, kInterface, kMethodAddFiles, pArgs,
                                                  nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr,
                                                  &call.pError);
        if (!call.pReply) {
            m_strLastError = call.pError ? call.pError->message : "the call failed";
            g_debug("ExtMenu: %s failed: %s", kMethodAddFiles, m_strLastError.c_str());
            return E_FAIL;
        }
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace extmenu
