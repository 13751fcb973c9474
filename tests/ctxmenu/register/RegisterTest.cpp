// clipvault-register run as a user would run it, against temporary home and
// XDG folders and a program folder of stand-ins: the written entries are read
// back the way the file managers and browsers read them, and their commands
// are run.
#include <gtest/gtest.h>

#include <glib.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kEnglish[] = "en_US.UTF-8";
const char kChinese[] = "zh_CN.UTF-8";
const char kHostName[] = "org.clipvault.test_host";

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct CRun {
    int m_nExit = -1;
    std::string m_strOut;
    std::string m_strErr;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// A Desktop Entry Exec value split as file managers read it, with %F
// standing for the files and "%%" for "%".
std::vector<std::string> DesktopExecArgv(const std::string& exec, const std::vector<std::string>& files) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < exec.size()) {
        if (exec[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        bool quoted = false;
        if (exec[i] == '"') {
            quoted = true;
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size() && std::strchr("\"`$\\", exec[i + 1])) ++i;
                word += exec[i];
            }
            EXPECT_LT(i, exec.size()) << "unclosed quote in " << exec;
            ++i;
        } else {
            while (i < exec.size() && exec[i] != ' ') word += exec[i++];
        }
        if (!quoted && word == "%F") {
            words.insert(words.end(), files.begin(), files.end());
            continue;
        }
        std::string plain;
        for (size_t k = 0; k < word.size(); ++k) {
            if (word[k] == '%') {
                EXPECT_TRUE(k + 1 < word.size() && word[k + 1] == '%') << "field code inside " << word;
                ++k;
            }
            plain += word[k];
        }
        words.push_back(plain);
    }
    return words;
}

// A Thunar command with its files put in as Thunar does (each shell-quoted,
// "%%" for "%"), for /bin/sh -c.
std::string ThunarCommandLine(const std::string& command, const std::vector<std::string>& files) {
    std::string out;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '%' && i + 1 < command.size()) {
            const char code = command[++i];
            if (code == '%') {
                out += '%';
            } else if (code == 'F') {
                for (size_t k = 0; k < files.size(); ++k) {
                    gchar* q = g_shell_quote(files[k].c_str());
                    out += (k ? " " : "") + std::string(q);
                    g_free(q);
                }
            } else {
                ADD_FAILURE() << "unexpected field code %" << code;
            }
        } else {
            out += command[i];
        }
    }
    return out;
}

// The actions of a uca.xml as Thunar's reader sees them: each a map from
// child element to its text ("name" only without xml:lang).
struct CActions {
    std::vector<std::map<std::string, std::string>> m_items;
    std::string m_strError;
    int m_nDepth = 0;
    std::string m_strChild;
};

void ActStart(GMarkupParseContext*, const gchar* name, const gchar** attrs, const gchar**, gpointer data, GError**) {
    auto* a = static_cast<CActions*>(data);
    if (a->m_nDepth == 1 && std::strcmp(name, "action") == 0) a->m_items.emplace_back();
    if (a->m_nDepth == 2) {
        a->m_strChild = name;
        for (const gchar** p = attrs; *p; ++p)
            if (std::strcmp(*p, "xml:lang") == 0) a->m_strChild += "@lang";
        a->m_items.back()[a->m_strChild];
    }
    ++a->m_nDepth;
}

void ActEnd(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    auto* a = static_cast<CActions*>(data);
    --a->m_nDepth;
    a->m_strChild.clear();
}

void ActText(GMarkupParseContext*, const gchar* text, gsize len, gpointer data, GError**) {
    auto* a = static_cast<CActions*>(data);
    if (a->m_nDepth == 3 && !a->m_strChild.empty()) a->m_items.back()[a->m_strChild].append(text, len);
}

CActions ReadActions(const std::string& text) {
    static const GMarkupParser kParser = {ActStart, ActEnd, ActText, nullptr, nullptr};
    CActions actions;
    GMarkupParseContext* ctx = g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &actions, nullptr);
    GError* error = nullptr;
    if (!g_markup_parse_context_parse(ctx, text.data(), static_cast<gssize>(text.size()), &error) ||
        !g_markup_parse_context_end_parse(ctx, &error))
        actions.m_strError = error ? error->message : "?";
    if (error) g_error_free(error);
    g_markup_parse_context_free(ctx);
    return actions;
}

size_t CountNamed(const CActions& actions, const std::string& name) {
    size_t n = 0;
    for (const auto& a : actions.m_items)
        if (a.count("name") && a.at("name") == name) ++n;
    return n;
}

const char kUserUca[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- my own actions -->\n"
    "<actions>\n"
    "<action>\n"
    "\t<icon>utilities-terminal</icon>\n"
    "\t<name>Open Terminal Here</name>\n"
    "\t<name xml:lang=\"de\">Terminal hier &#246;ffnen</name>\n"
    "\t<unique-id>1583165012345678-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
    "\t<description>Example &amp; more</description>\n"
    "\t<patterns>*</patterns>\n"
    "\t<startup-notify/>\n"
    "\t<directories/>\n"
    "</action>\n"
    "  <x-unknown flag=\"a>b\"><inner>kept</inner></x-unknown>\n"
    "<action><icon></icon><name>Zip it</name><command>zip -r %n.zip %N</command>"
    "<patterns>*</patterns><other-files/></action>\n"
    "<!-- trailing note -->\n"
    "</actions>\n";

class RegisterTest : public ::testing::Test {
protected:
    fs::path m_root, m_home, m_data, m_config, m_sysConfig, m_prog;

    void SetUp() override {
        const char* base = g_getenv("CLIPVAULT_TEST_TMP");
        fs::path parent = base && *base ? fs::path(base) : fs::temp_directory_path();
        fs::create_directories(parent);
        std::string tmpl = (parent / "registerXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_root = tmpl;
        m_home = m_root / "home";
        m_data = m_root / "data";
        m_config = m_root / "config";
        m_sysConfig = m_root / "xdg";
        // Blanks, both quotes, "$", "%" and a backslash: each a trap for one
        // of the quoting rules.
        m_prog = m_root / "my prog 'single' \"double\" $HOME %f \\x";
        for (const fs::path& p : {m_home, m_data, m_config, m_sysConfig}) fs::create_directories(p);
        MakeProgramFolder(m_prog);
    }

    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    static void MakeProgramFolder(const fs::path& folder) {
        fs::create_directories(folder);
        for (const char* name : {"clipvault-send-files", "clipvault-native-host"})
            fs::copy_file(fs::path(FAKE_DIR) / name, folder / name, fs::copy_options::overwrite_existing);
        WriteAll(folder / "libclipvault-nautilus.so", "not really a library\n");
    }

    CRun Run(std::vector<std::string> args, const std::string& lang = kEnglish,
             const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env = {"PATH=/usr/bin:/bin",
                                        "HOME=" + m_home.string(),
                                        "XDG_DATA_HOME=" + m_data.string(),
                                        "XDG_CONFIG_HOME=" + m_config.string(),
                                        "XDG_CONFIG_DIRS=" + m_sysConfig.string(),
                                        "LANG=" + lang};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        args.insert(args.begin(), CLIPVAULT_REGISTER);
        bool hasFolder = false;
        for (const std::string& a : args) hasFolder = hasFolder || a == "--program-folder";
        if (!hasFolder) {
            args.push_back("--program-folder");
            args.push_back(m_prog.string());
        }
        std::vector<char*> argv, envp;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        CRun run;
        gchar *out = nullptr, *err = nullptr;
        gint status = 0;
        GError* error = nullptr;
        if (!g_spawn_sync(m_root.c_str(), argv.data(), envp.data(), G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
                          &status, &error)) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return run;
        }
        run.m_strOut = out ? out : "";
        run.m_strErr = err ? err : "";
        g_free(out);
        g_free(err);
        run.m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    fs::path Uca() const { return m_config / "Thunar/uca.xml"; }
    fs::path Dolphin(const std::string& item) const {
        return m_data / "kio/servicemenus" / ("clipvault-" + item + ".desktop");
    }
    std::vector<fs::path> Manifests() const {
        const std::string file = std::string(kHostName) + ".json";
        return {m_config / "chromium/NativeMessagingHosts" / file,
                m_config / "google-chrome/NativeMessagingHosts" / file,
                m_home / ".mozilla/native-messaging-hosts" / file};
    }

    // Runs argv with RECORD set and returns what the stand-in sender recorded.
    std::vector<std::string> Recorded(const std::vector<std::string>& args) {
        const fs::path record = m_root / "argv.rec";
        fs::remove(record);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::string recordEnv = "RECORD=" + record.string();
        char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), recordEnv.data(), nullptr};
        gint status = 0;
        GError* error = nullptr;
        EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), envp, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                                 &status, &error))
            << (error ? error->message : "");
        if (error) g_error_free(error);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the command failed: " << args[0];
        const std::string text = ReadAll(record);
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\0') {
                out.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        return out;
    }
};

TEST_F(RegisterTest, ThunarKeepsTheUsersOwnActionsAndDoesNotDuplicate) {
    WriteAll(Uca(), kUserUca);
    chmod(Uca().c_str(), 0600);
    CRun run = Run({"--register"});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    const std::string once = ReadAll(Uca());
    CActions actions = ReadActions(once);
    ASSERT_EQ(actions.m_strError, "");
    ASSERT_EQ(actions.m_items.size(), 3u);
    EXPECT_EQ(actions.m_items[0]["name"], "Open Terminal Here");
    EXPECT_EQ(actions.m_items[1]["name"], "Zip it");
    EXPECT_EQ(actions.m_items[2]["name"], "Add to Clipvault");
    // Everything of the user's stands in the new file as it stood, in order.
    const std::string userPart = std::string(kUserUca).substr(0, std::string(kUserUca).find("</actions>"));
    EXPECT_EQ(once.compare(0, userPart.size(), userPart), 0) << once;
    EXPECT_EQ(fs::status(Uca()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    run = Run({"--register"});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_EQ(ReadAll(Uca()), once);

    run = Run({"--unregister"});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_EQ(ReadAll(Uca()), kUserUca);
}

TEST_F(RegisterTest, ThunarFileKeptInADotfilesFolderStaysALink) {
    const fs::path real = m_root / "dotfiles/uca.xml";
    WriteAll(real, kUserUca);
    fs::create_directories(Uca().parent_path());
    fs::create_symlink(real, Uca());
    ASSERT_EQ(Run({"--register"}).m_nExit, 0);
    EXPECT_TRUE(fs::is_symlink(Uca()));
    EXPECT_EQ(CountNamed(ReadActions(ReadAll(real)), "Add to Clipvault"), 1u);
    ASSERT_EQ(Run({"--unregister"}).m_nExit, 0);
    EXPECT_TRUE(fs::is_symlink(Uca()));
    EXPECT_EQ(ReadAll(real), kUserUca);
}

TEST_F(RegisterTest, ThunarFileIsMadeWhenMissingFromTheSystemsActions) {
    ASSERT_EQ(Run({"--register"}).m_nExit, 0);
    CActions actions = ReadActions(ReadAll(Uca()));
    ASSERT_EQ(actions.m_strError, "");
    ASSERT_EQ(actions.m_items.size(), 1u);
    EXPECT_EQ(actions.m_items[0]["name"], "Add to Clipvault");
    ASSERT_EQ(Run({"--unregister"}).m_nExit, 0);
    EXPECT_EQ(ReadActions(ReadAll(Uca())).m_items.size(), 0u);

    // Thunar shows the system's actions while the user has no file of their
    // own; a new user file must keep showing them.
    fs::remove(Uca());
    WriteAll(m_sysConfig / "Thunar/uca.xml", kUserUca);
    ASSERT_EQ(Run({"--register"}).m_nExit, 0);
    actions = ReadActions(ReadAll(Uca()));
    ASSERT_EQ(actions.m_items.size(), 3u);
    EXPECT_EQ(actions.m_items[0]["name"], "Open Terminal Here");
    EXPECT_EQ(ReadAll(m_sysConfig / "Thunar/uca.xml"), kUserUca);
}

TEST_F(RegisterTest, MalformedThunarFileIsRefusedAndLeftAlone) {
    const std::vector<std::string> bad = {
        "<actions><action><name>x</name></actions>\n",
        "<?xml version=\"1.0\"?>\n<actions>\n<action>\n",
        "<menu><action/></menu>\n",
        "<actions><action><name>\xff\xfe</name></action></actions>\n",
        "<actions/>\n<actions/>\n",
        "<actions>&unknown;</actions>\n",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<actions></actions>\n",
    };
    for (const std::string& text : bad) {
        SCOPED_TRACE(text);
        WriteAll(Uca(), text);
        for (const char* mode : {"--register", "--unregister"}) {
            CRun run = Run({mode});
            EXPECT_EQ(run.m_nExit, 1);
            const std::vector<std::string> errors = Lines(run.m_strErr);
            ASSERT_EQ(errors.size(), 1u) << run.m_strErr;
            EXPECT_NE(errors[0].find("Thunar"), std::string::npos);
            EXPECT_NE(errors[0].find("uca.xml is left as it is"), std::string::npos);
            EXPECT_EQ(ReadAll(Uca()), text);
        }
        // The other parts were done all the same.
        EXPECT_FALSE(fs::exists(Dolphin("Add_to_Clipvault")));
        ASSERT_EQ(Run({"--register"}).m_nExit, 1);
        EXPECT_TRUE(fs::exists(Dolphin("Add_to_Clipvault")));
        EXPECT_TRUE(fs::exists(Manifests()[2]));
        ASSERT_EQ(Run({"--unregister"}).m_nExit, 1);
    }
    for (const fs::path& entry : fs::directory_iterator(Uca().parent_path()))
        EXPECT_EQ(entry.filename(), "uca.xml") << "a temporary file was left";
}

TEST_F(RegisterTest, DolphinAndThunarEntriesRunTheSenderWithTheFiles) {
    ASSERT_EQ(Run({"--register"}).m_nExit, 0);
    const std::vector<std::string> files = {(m_root / "a file 'with' \"quotes\" $x.txt").string(),
                                            (m_root / "second.txt").string()};
    const std::string sender = (m_prog / "clipvault-send-files").string();

    const fs::path desktop = Dolphin("Add_to_Clipvault");
    EXPECT_NE(fs::status(desktop).permissions() & fs::perms::owner_exec, fs::perms::none);
    GKeyFile* kf = g_key_file_new();
    GError* error = nullptr;
    ASSERT_TRUE(g_key_file_load_from_file(kf, desktop.c_str(), G_KEY_FILE_NONE, &error)) << error->message;
    auto get = [&](const char* group, const char* key) {
        gchar* v = g_key_file_get_string(kf, group, key, nullptr);
        std::string s = v ? v : "";
        g_free(v);
        return s;
    };
    EXPECT_EQ(get("Desktop Entry", "Type"), "Service");
    EXPECT_EQ(get("Desktop Entry", "X-KDE-ServiceTypes"), "KonqPopupMenu/Plugin");
    EXPECT_EQ(get("Desktop Entry", "MimeType"), "all/allfiles;");
    gchar** actions = g_key_file_get_string_list(kf, "Desktop Entry", "Actions", nullptr, nullptr);
    ASSERT_TRUE(actions && actions[0] && !actions[1]);
    const std::string group = std::string("Desktop Action ") + actions[0];
    g_strfreev(actions);
    EXPECT_EQ(get(group.c_str(), "Name"), "Add to Clipvault");
    EXPECT_FALSE(get(group.c_str(), "Icon").empty());
    std::vector<std::string> argv = DesktopExecArgv(get(group.c_str(), "Exec"), files);
    g_key_file_free(kf);
    ASSERT_EQ(argv.size(), 3u);
    EXPECT_EQ(argv[0], sender);
    EXPECT_EQ(Recorded(argv), files);

    CActions uca = ReadActions(ReadAll(Uca()));
    ASSERT_EQ(uca.m_items.size(), 1u);
    auto& ours = uca.m_items[0];
    EXPECT_EQ(ours["name"], "Add to Clipvault");
    EXPECT_EQ(ours["description"], "Add selected files to Clipvault");
    EXPECT_EQ(ours["patterns"], "*");
    EXPECT_FALSE(ours["unique-id"].empty());
    for (const char* kind : {"audio-files", "image-files", "other-files", "text-files", "video-files"})
        EXPECT_TRUE(ours.count(kind)) << kind;
    EXPECT_FALSE(ours.count("directories"));
    EXPECT_EQ(Recorded({"/bin/sh", "-c", ThunarCommandLine(ours["command"], files)}), files);
}

TEST_F(RegisterTest, HostManifestsForTheThreeBrowsers) {
    CRun run = Run({"--register"});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    const std::vector<fs::path> manifests = Manifests();
    for (size_t i = 0; i < manifests.size(); ++i) {
        SCOPED_TRACE(manifests[i].string());
        const auto m = nlohmann::json::parse(ReadAll(manifests[i]), nullptr, false);
        ASSERT_TRUE(m.is_object());
        EXPECT_EQ(m["name"], kHostName);
        EXPECT_EQ(m["path"], (m_prog / "clipvault-native-host").string());
        EXPECT_EQ(m["type"], "stdio");
        EXPECT_EQ(m["description"], "test host");
        if (i < 2)
            EXPECT_EQ(m["allowed_origins"][0], "chrome-extension://abcdefghijklmnopabcdefghijklmnop/");
        else
            EXPECT_EQ(m["allowed_extensions"][0], "clipvault@example.org");
    }
    EXPECT_NE(run.m_strOut.find("chrome://extensions"), std::string::npos);
    EXPECT_NE(run.m_strOut.find((m_prog / "browser/extension").string()), std::string::npos);
    EXPECT_NE(run.m_strOut.find("about:debugging"), std::string::npos);

    // The host may be gone by the time the package is removed: manifests
    // that point at it are still found.
    fs::remove(m_prog / "clipvault-native-host");
    run = Run({"--unregister"});
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    for (const fs::path& m : manifests) EXPECT_FALSE(fs::exists(m)) << m;
}

TEST_F(RegisterTest, HostNameThatIsNoSafeFileNameIsRefused) {
    for (const char* name : {"../../evil", "Org.Clipvault", "org..clipvault", "org/clipvault", ""}) {
        SCOPED_TRACE(name);
        CRun run = Run({"--register"}, kEnglish, {std::string("FAKE_HOST_NAME=") + name});
        EXPECT_EQ(run.m_nExit, 1);
        EXPECT_EQ(Lines(run.m_strErr).size(), 3u) << run.m_strErr;
        EXPECT_FALSE(fs::exists(m_config / "chromium")) << run.m_strOut;
        EXPECT_FALSE(fs::exists(m_home / ".mozilla"));
        EXPECT_FALSE(fs::exists(m_root / "evil.json"));
        EXPECT_TRUE(fs::exists(Dolphin("Add_to_Clipvault")));
    }
}

TEST_F(RegisterTest, OneFailingPartStillLetsTheOthersBeDone) {
    WriteAll(m_home / ".mozilla", "a file where a folder should be\n");
    CRun run = Run({"--register"});
    EXPECT_EQ(run.m_nExit, 1);
    std::vector<std::string> errors = Lines(run.m_strErr);
    ASSERT_EQ(errors.size(), 1u) << run.m_strErr;
    EXPECT_EQ(errors[0].rfind("clipvault-register: Firefox: ", 0), 0u) << errors[0];
    EXPECT_TRUE(fs::exists(Dolphin("Add_to_Clipvault")));
    EXPECT_EQ(CountNamed(ReadActions(ReadAll(Uca())), "Add to Clipvault"), 1u);
    EXPECT_TRUE(fs::exists(Manifests()[0]));
    EXPECT_TRUE(fs::exists(Manifests()[1]));

    // A failing host: every browser fails, the file managers are done.
    fs::remove(m_home / ".mozilla");
    run = Run({"--register"}, kEnglish, {"FAKE_HOST_FAIL=1"});
    EXPECT_EQ(run.m_nExit, 1);
    errors = Lines(run.m_strErr);
    ASSERT_EQ(errors.size(), 3u) << run.m_strErr;
    EXPECT_NE(errors[2].find("asked to fail"), std::string::npos) << errors[2];

    // No sender: the file managers' entries are not made, the rest is.
    fs::remove_all(m_data);
    fs::remove(m_prog / "clipvault-send-files");
    run = Run({"--register"});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_EQ(Lines(run.m_strErr).size(), 1u) << run.m_strErr;
    EXPECT_FALSE(fs::exists(Dolphin("Add_to_Clipvault")));
    EXPECT_TRUE(fs::exists(Manifests()[2]));
}

TEST_F(RegisterTest, SystemInstallLaysEverythingUnderDestDir) {
    const fs::path stage = m_root / "stage";
    const fs::path folder = stage / "usr/lib/clipvault";
    MakeProgramFolder(folder);
    const std::vector<std::string> env = {"DESTDIR=" + stage.string()};
    CRun run = Run({"--register", "--system", "--prefix", "/usr", "--program-folder", folder.string()}, kEnglish, env);
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;

    const fs::path desktop = stage / "usr/share/kio/servicemenus/clipvault-Add_to_Clipvault.desktop";
    EXPECT_NE(ReadAll(desktop).find("Exec=\"/usr/lib/clipvault/clipvault-send-files\" %F"), std::string::npos);
    // Only a user's own service menu has to be executable for KIO; the
    // system folder holds plain files.
    EXPECT_EQ(fs::status(desktop).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    const std::string file = std::string(kHostName) + ".json";
    for (const fs::path& m : {stage / "etc/chromium/native-messaging-hosts" / file,
                              stage / "etc/opt/chrome/native-messaging-hosts" / file,
                              stage / "usr/lib/mozilla/native-messaging-hosts" / file}) {
        const auto j = nlohmann::json::parse(ReadAll(m), nullptr, false);
        EXPECT_EQ(j["path"], "/usr/lib/clipvault/clipvault-native-host") << m;
    }
    std::string lib = "usr/lib/";
    if (*CLIPVAULT_MULTIARCH) lib += std::string(CLIPVAULT_MULTIARCH) + "/";
    const fs::path module = stage / lib / "nautilus/extensions-4/libclipvault-nautilus.so";
    EXPECT_EQ(ReadAll(module), "not really a library\n");
    // Nothing of the user's.
    EXPECT_TRUE(fs::is_empty(m_home));
    EXPECT_TRUE(fs::is_empty(m_config));
    EXPECT_TRUE(fs::is_empty(m_data));

    run = Run({"--unregister", "--system", "--prefix", "/usr", "--program-folder", folder.string()}, kEnglish, env);
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    for (const auto& entry : fs::recursive_directory_iterator(stage)) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(entry.path().parent_path(), folder) << entry.path();
        }
    }
}

// An install into a folder of its own keeps the browsers' manifests there
// too: it must never write into the running system's /etc.
TEST_F(RegisterTest, OtherPrefixKeepsTheManifestsUnderIt) {
    const fs::path stage = m_root / "stage";
    const fs::path folder = stage / "opt/cv/lib/clipvault";
    MakeProgramFolder(folder);
    const std::vector<std::string> env = {"DESTDIR=" + stage.string()};
    CRun run = Run({"--register", "--system", "--prefix", "/opt/cv", "--program-folder", folder.string()}, kEnglish, env);
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    const std::string file = std::string(kHostName) + ".json";
    EXPECT_TRUE(fs::exists(stage / "opt/cv/etc/chromium/native-messaging-hosts" / file));
    EXPECT_TRUE(fs::exists(stage / "opt/cv/etc/opt/chrome/native-messaging-hosts" / file));
    EXPECT_FALSE(fs::exists(stage / "etc"));
    EXPECT_NE(run.m_strOut.find("not seen"), std::string::npos) << run.m_strOut;
}

TEST_F(RegisterTest, EachLanguageRemovesOnlyItsOwnEntries) {
    const std::string english = "Add to Clipvault", chinese = "添加到 Clipvault";
    ASSERT_EQ(Run({"--register"}, kEnglish).m_nExit, 0);
    ASSERT_EQ(Run({"--unregister"}, kChinese).m_nExit, 0);
    EXPECT_TRUE(fs::exists(Dolphin("Add_to_Clipvault")));
    EXPECT_EQ(CountNamed(ReadActions(ReadAll(Uca())), english), 1u);
    for (const fs::path& m : Manifests()) EXPECT_FALSE(fs::exists(m)) << "not bound to a language: " << m;

    CRun run = Run({"--register"}, kChinese);
    ASSERT_EQ(run.m_nExit, 0) << run.m_strErr;
    const fs::path chineseMenu = Dolphin("添加到_Clipvault");
    GKeyFile* kf = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_file(kf, chineseMenu.c_str(), G_KEY_FILE_NONE, nullptr));
    gchar* name = g_key_file_get_string(kf, "Desktop Action addToClipvault", "Name", nullptr);
    EXPECT_STREQ(name, chinese.c_str());
    g_free(name);
    g_key_file_free(kf);
    CActions actions = ReadActions(ReadAll(Uca()));
    ASSERT_EQ(actions.m_items.size(), 2u);
    EXPECT_EQ(actions.m_items[1]["name"], chinese);
    EXPECT_EQ(actions.m_items[1]["description"], "将选中的文件添加到 Clipvault");

    ASSERT_EQ(Run({"--unregister"}, kEnglish).m_nExit, 0);
    EXPECT_FALSE(fs::exists(Dolphin("Add_to_Clipvault")));
    EXPECT_TRUE(fs::exists(chineseMenu));
    actions = ReadActions(ReadAll(Uca()));
    ASSERT_EQ(actions.m_items.size(), 1u);
    EXPECT_EQ(actions.m_items[0]["name"], chinese);

    ASSERT_EQ(Run({"--unregister"}, kChinese).m_nExit, 0);
    EXPECT_FALSE(fs::exists(chineseMenu));
    EXPECT_EQ(ReadActions(ReadAll(Uca())).m_items.size(), 0u);
}

TEST_F(RegisterTest, CommandLineMistakesAreRefused) {
    EXPECT_EQ(Run({"--help"}).m_nExit, 0);
    EXPECT_EQ(Run({}).m_nExit, 2);
    EXPECT_EQ(Run({"--register", "--unregister"}).m_nExit, 2);
    EXPECT_EQ(Run({"--register", "--prefix", "/usr"}).m_nExit, 2);
    EXPECT_EQ(Run({"--register", "--system", "--prefix", "relative"}).m_nExit, 2);
    EXPECT_EQ(Run({"--register", "--frobnicate"}).m_nExit, 2);
    EXPECT_TRUE(fs::is_empty(m_config));
}

}  // namespace
