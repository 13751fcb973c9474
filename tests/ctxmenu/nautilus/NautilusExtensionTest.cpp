// The Nautilus extension as Nautilus uses it: loaded from its file, given a
// type module, asked for the items of a selection of file infos, and its
// item activated; the files must reach the recording stand-in of the program.
#include "RecordingService.h"

#include <gio/gio.h>
extern "C" {
#include <nautilus-extension.h>
}
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ctxmenu_test::RecordingService;

namespace {

// --- A file info with just what Nautilus's own answers about a file ---------

struct TestFileInfo {
    GObject parent;
    char* pszUri;
    gboolean bDirectory;
};
struct TestFileInfoClass {
    GObjectClass parent;
};

GType TestFileInfoType();
TestFileInfo* AsInfo(NautilusFileInfo* p) {
    return G_TYPE_CHECK_INSTANCE_CAST(p, TestFileInfoType(), TestFileInfo);
}

GObjectClass* g_pInfoParentClass = nullptr;

void FinalizeInfo(GObject* pObject) {
    g_free(reinterpret_cast<TestFileInfo*>(pObject)->pszUri);
    g_pInfoParentClass->finalize(pObject);
}

void InitInfoClass(gpointer pClass, gpointer) {
    g_pInfoParentClass = G_OBJECT_CLASS(g_type_class_peek_parent(pClass));
    G_OBJECT_CLASS(pClass)->finalize = FinalizeInfo;
}

void InitFileInfoInterface(gpointer pInterface, gpointer) {
    auto* iface = static_cast<NautilusFileInfoInterface*>(pInterface);
    iface->is_gone = [](NautilusFileInfo*) -> gboolean { return FALSE; };
    iface->get_uri = [](NautilusFileInfo* p) -> char* { return g_strdup(AsInfo(p)->pszUri); };
    iface->get_activation_uri = [](NautilusFileInfo* p) -> char* { return g_strdup(AsInfo(p)->pszUri); };
    iface->get_uri_scheme = [](NautilusFileInfo* p) -> char* { return g_uri_parse_scheme(AsInfo(p)->pszUri); };
    iface->get_location = [](NautilusFileInfo* p) -> GFile* { return g_file_new_for_uri(AsInfo(p)->pszUri); };
    iface->get_name = [](NautilusFileInfo* p) -> char* {
        GFile* pFile = g_file_new_for_uri(AsInfo(p)->pszUri);
        char* pszName = g_file_get_basename(pFile);
        g_object_unref(pFile);
        return pszName;
    };
    iface->is_directory = [](NautilusFileInfo* p) -> gboolean { return AsInfo(p)->bDirectory; };
    iface->get_file_type = [](NautilusFileInfo* p) -> GFileType {
        return AsInfo(p)->bDirectory ? G_FILE_TYPE_DIRECTORY : G_FILE_TYPE_REGULAR;
    };
    iface->get_mime_type = [](NautilusFileInfo* p) -> char* {
        return g_strdup(AsInfo(p)->bDirectory ? "inode/directory" : "application/octet-stream");
    };
}

GType TestFileInfoType() {
    static GType type = 0;
    if (!type) {
        type = g_type_register_static_simple(G_TYPE_OBJECT, "TestFileInfo", sizeof(TestFileInfoClass), InitInfoClass,
                                             sizeof(TestFileInfo), nullptr, static_cast<GTypeFlags>(0));
        static const GInterfaceInfo kInterface = {InitFileInfoInterface, nullptr, nullptr};
        g_type_add_interface_static(type, NAUTILUS_TYPE_FILE_INFO, &kInterface);
    }
    return type;
}

GObject* NewInfo(const std::string& strUri, bool bDirectory = false) {
    auto* p = static_cast<TestFileInfo*>(g_object_new(TestFileInfoType(), nullptr));
    p->pszUri = g_strdup(strUri.c_str());
    p->bDirectory = bDirectory;
    return G_OBJECT(p);
}

std::string UriOfPath(const std::string& strPath) {
    char* psz = g_filename_to_uri(strPath.c_str(), nullptr, nullptr);
    std::string str = psz;
    g_free(psz);
    return str;
}

// --- The extension, loaded as Nautilus loads it --------------------------------

using InitializeFn = void (*)(GTypeModule*);
using ShutdownFn = void (*)();
using ListTypesFn = void (*)(const GType**, int*);

InitializeFn g_pfnInitialize = nullptr;
ShutdownFn g_pfnShutdown = nullptr;
ListTypesFn g_pfnListTypes = nullptr;

struct TestModule {
    GTypeModule parent;
};
struct TestModuleClass {
    GTypeModuleClass parent;
};

void InitModuleClass(gpointer pClass, gpointer) {
    auto* pModuleClass = G_TYPE_MODULE_CLASS(pClass);
    pModuleClass->load = [](GTypeModule* pModule) -> gboolean {
        g_pfnInitialize(pModule);
        return TRUE;
    };
    pModuleClass->unload = [](GTypeModule*) { g_pfnShutdown(); };
}

GType TestModuleType() {
    static GType type = g_type_register_static_simple(G_TYPE_TYPE_MODULE, "TestNautilusModule",
                                                      sizeof(TestModuleClass), InitModuleClass, sizeof(TestModule),
                                                      nullptr, static_cast<GTypeFlags>(0));
    return type;
}

class NautilusExtensionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pLibrary = dlopen(CLIPVAULT_NAUTILUS_EXTENSION, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(s_pLibrary, nullptr) << dlerror();
        g_pfnInitialize = reinterpret_cast<InitializeFn>(dlsym(s_pLibrary, "nautilus_module_initialize"));
        g_pfnShutdown = reinterpret_cast<ShutdownFn>(dlsym(s_pLibrary, "nautilus_module_shutdown"));
        g_pfnListTypes = reinterpret_cast<ListTypesFn>(dlsym(s_pLibrary, "nautilus_module_list_types"));
        ASSERT_TRUE(g_pfnInitialize && g_pfnShutdown && g_pfnListTypes);
        s_pModule = G_TYPE_MODULE(g_object_new(TestModuleType(), nullptr));
        ASSERT_TRUE(g_type_module_use(s_pModule));
        const GType* pTypes = nullptr;
        int nTypes = 0;
        g_pfnListTypes(&pTypes, &nTypes);
        ASSERT_EQ(nTypes, 1);
        s_providerType = pTypes[0];
    }

    void SetUp() override {
        ASSERT_NE(s_providerType, G_TYPE_INVALID);
        m_pProvider = G_OBJECT(g_object_new(s_providerType, nullptr));
        ASSERT_TRUE(NAUTILUS_IS_MENU_PROVIDER(m_pProvider));
    }
    void TearDown() override {
        g_list_free_full(m_pFiles, g_object_unref);
        if (m_pProvider) g_object_unref(m_pProvider);
    }

    void Select(GObject* pInfo) { m_pFiles = g_list_append(m_pFiles, pInfo); }
    GList* Items() { return nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(m_pProvider), m_pFiles); }

    static inline void* s_pLibrary = nullptr;
    static inline GTypeModule* s_pModule = nullptr;
    static inline GType s_providerType = G_TYPE_INVALID;
    GObject* m_pProvider = nullptr;
    GList* m_pFiles = nullptr;
};

std::string StringProperty(gpointer pObject, const char* pszName) {
    char* psz = nullptr;
    g_object_get(pObject, pszName, &psz, nullptr);
    std::string str = psz ? psz : "";
    g_free(psz);
    return str;
}

}  // namespace

TEST_F(NautilusExtensionTest, LocalFilesGetOneItemThatSendsThemInSelectionOrder) {
    EXPECT_STREQ(g_type_name(s_providerType), "ClipvaultMenuProvider");
    RecordingService service;
    ASSERT_TRUE(service.Started());
    const std::vector<std::string> paths = {"/tmp/z last.txt", "/tmp/中文 文件.pdf", "/home/u/a.htm"};
    for (const std::string& p : paths) Select(NewInfo(UriOfPath(p)));

    GList* pItems = Items();
    ASSERT_EQ(g_list_length(pItems), 1u);
    gpointer pItem = pItems->data;
    ASSERT_TRUE(NAUTILUS_IS_MENU_ITEM(pItem));
    // The test runs in Chinese (China): the language was read at load time.
    EXPECT_EQ(StringProperty(pItem, "label"), "添加到 Clipvault");
    EXPECT_EQ(StringProperty(pItem, "tip"), "将选中的文件添加到 Clipvault");

    g_signal_emit_by_name(pItem, "activate");
    ASSERT_TRUE(service.WaitForCalls(1, 10000));
    const auto calls = service.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].strSignature, "(v)");
    EXPECT_EQ(calls[0].strInnerType, "av");
    EXPECT_EQ(calls[0].paths, paths);
    nautilus_menu_item_list_free(pItems);
}

TEST_F(NautilusExtensionTest, NoItemWithoutALocalFile) {
    EXPECT_EQ(Items(), nullptr);  // nothing selected
    Select(NewInfo("sftp://host/home/u/remote.txt"));
    Select(NewInfo(UriOfPath("/tmp"), true));
    EXPECT_EQ(Items(), nullptr);
}

TEST_F(NautilusExtensionTest, OnlyTheLocalFilesOfAMixedSelectionAreSent) {
    RecordingService service;
    ASSERT_TRUE(service.Started());
    Select(NewInfo("sftp://host/home/u/remote.txt"));
    Select(NewInfo(UriOfPath("/srv/local b.txt")));
    Select(NewInfo(UriOfPath("/srv"), true));
    Select(NewInfo(UriOfPath("/srv/local a.txt")));
    GList* pItems = Items();
    ASSERT_EQ(g_list_length(pItems), 1u);
    g_signal_emit_by_name(pItems->data, "activate");
    ASSERT_TRUE(service.WaitForCalls(1, 10000));
    EXPECT_EQ(service.Calls()[0].paths, (std::vector<std::string>{"/srv/local b.txt", "/srv/local a.txt"}));
    nautilus_menu_item_list_free(pItems);
}
