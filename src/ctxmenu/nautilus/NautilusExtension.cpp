// The "Add to Clipvault" entry of Nautilus's file menu. Nautilus makes one
// provider and asks it for items each time a menu opens; the ExtMenu object
// decides the item and, when it is chosen, hands the files to the program.
#include "ExtMenu.h"

#include <gio/gio.h>
// The header declares the module's entry points without C linkage; GLib's
// own headers, which hold C++ parts, are in already.
extern "C" {
#include <nautilus-extension.h>
}

#include <memory>
#include <optional>
#include <string>
#include <vector>

#define CLIPVAULT_NAUTILUS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

GType g_providerType = 0;

const char kItemName[] = "Clipvault::AddFiles";
const char kFilesKey[] = "clipvault-files";

// Receives the item ExtMenu inserts; Nautilus has no positions, so the item
// is simply the one it returns.
class CItemMenu : public extmenu::IMenu {
public:
    bool InsertItem(unsigned, unsigned, const std::string& strText) override {
        m_strLabel = strText;
        m_bInserted = true;
        return true;
    }
    std::string m_strLabel;
    bool m_bInserted = false;
};

// The selection as ExtMenu reads it: a file without a local path (a remote
// location) or a folder cannot be added as a note's file.
class CFileInfoSelection : public extmenu::ISelection {
public:
    explicit CFileInfoSelection(GList* pFiles) {
        for (GList* p = pFiles; p; p = p->next) {
            if (!NAUTILUS_IS_FILE_INFO(p->data)) {
                m_arrPaths.emplace_back();
                continue;
            }
            NautilusFileInfo* pInfo = NAUTILUS_FILE_INFO(p->data);
            std::optional<std::string> path;
            if (!nautilus_file_info_is_directory(pInfo)) {
                GFile* pLocation = nautilus_file_info_get_location(pInfo);
                if (pLocation) {
                    if (char* pszPath = g_file_get_path(pLocation)) {
                        path = pszPath;
                        g_free(pszPath);
                    }
                    g_object_unref(pLocation);
                }
            }
            m_arrPaths.push_back(std::move(path));
        }
    }
    unsigned Count() const override { return static_cast<unsigned>(m_arrPaths.size()); }
    bool PathAt(unsigned nIndex, std::string& strPath) const override {
        if (nIndex >= m_arrPaths.size() || !m_arrPaths[nIndex]) return false;
        strPath = *m_arrPaths[nIndex];
        return true;
    }

private:
    std::vector<std::optional<std::string>> m_arrPaths;
};

void FreeFiles(gpointer p) { delete static_cast<std::vector<std::string>*>(p); }

// The call may wait for the bus to start the program; Nautilus's window
// must not freeze meanwhile, so it runs on a thread of its own.
gpointer SendFiles(gpointer p) {
    std::unique_ptr<std::vector<std::string>> files(static_cast<std::vector<std::string>*>(p));
    extmenu::ExtMenu menu;
    menu.Initialize(extmenu::PathSelection(*files));
    if (menu.InvokeCommand(extmenu::InvokeInfo()) != extmenu::S_OK)
        g_debug("Clipvault: the files were not handed over: %s", menu.LastError().c_str());
    return nullptr;
}

void OnActivate(NautilusMenuItem* pItem, gpointer) {
    auto* pFiles = static_cast<std::vector<std::string>*>(g_object_get_data(G_OBJECT(pItem), kFilesKey));
    if (!pFiles || pFiles->empty()) return;
    GThread* pThread = g_thread_try_new("clipvault-send", SendFiles, new std::vector<std::string>(*pFiles), nullptr);
    if (pThread) g_thread_unref(pThread);
}

GList* GetFileItems(NautilusMenuProvider*, GList* pFiles) {
    try {
        extmenu::ExtMenu menu;
        menu.Initialize(CFileInfoSelection(pFiles));
        if (menu.Files().empty()) return nullptr;
        CItemMenu items;
        if (menu.QueryContextMenu(items, 0, 0, 0, extmenu::CMF_NORMAL) != 1 || !items.m_bInserted) return nullptr;
        char szTip[512] = "";
        menu.GetCommandString(0, extmenu::GCS_HELPTEXTA, szTip, sizeof szTip);
        NautilusMenuItem* pItem = nautilus_menu_item_new(kItemName, items.m_strLabel.c_str(), szTip, nullptr);
        g_object_set_data_full(G_OBJECT(pItem), kFilesKey, new std::vector<std::string>(menu.Files()), FreeFiles);
        g_signal_connect(pItem, "activate", G_CALLBACK(OnActivate), nullptr);
        return g_list_append(nullptr, pItem);
    } catch (...) {
        return nullptr;
    }
}

void InitMenuProvider(gpointer pInterface, gpointer) {
    static_cast<NautilusMenuProviderInterface*>(pInterface)->get_file_items = GetFileItems;
}

}  // namespace

CLIPVAULT_NAUTILUS_EXPORT void nautilus_module_initialize(GTypeModule* pModule) {
    static const GTypeInfo kInfo = {
        sizeof(GObjectClass), nullptr, nullptr, nullptr, nullptr, nullptr, sizeof(GObject), 0, nullptr, nullptr,
    };
    g_providerType = g_type_module_register_type(pModule, G_TYPE_OBJECT, "ClipvaultMenuProvider", &kInfo,
                                                 static_cast<GTypeFlags>(0));
    static const GInterfaceInfo kMenuProvider = {InitMenuProvider, nullptr, nullptr};
    g_type_module_add_interface(pModule, g_providerType, NAUTILUS_TYPE_MENU_PROVIDER, &kMenuProvider);
}

CLIPVAULT_NAUTILUS_EXPORT void nautilus_module_shutdown(void) {}

CLIPVAULT_NAUTILUS_EXPORT void nautilus_module_list_types(const GType** ppTypes, int* pnTypes) {
    static GType types[1];
    types[0] = g_providerType;
    *ppTypes = types;
    *pnTypes = 1;
}
