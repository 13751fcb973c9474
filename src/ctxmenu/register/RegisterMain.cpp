// clipvault-register: puts the "Add to Clipvault" entries into the file
// managers and the native-messaging host manifests into the browsers, per
// user or for the whole system, and takes them out again.
//
// The file managers' entries are named by the language in force at
// registration, and unregistering takes only the entries of the language
// then in force: entries made under another language stay. The host
// manifests and the Nautilus extension belong to no language.
#include "ExtMenuStrings.h"
#include "UcaActions.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifndef CLIPVAULT_MULTIARCH
#define CLIPVAULT_MULTIARCH ""
#endif

namespace {

const char kSender[] = "clipvault-send-files";
const char kHost[] = "clipvault-native-host";
const char kNautilusModule[] = "libclipvault-nautilus.so";
const char kIcon[] = "clipvault.png";

struct COptions {
    bool m_bRegister = false;
    bool m_bUnregister = false;
    bool m_bSystem = false;
    std::string m_strPrefix = "/usr";
    std::string m_strProgramFolder;
};

// Where things are read from (m_strSourceFolder: the folder as it lies now,
// under DESTDIR for a staged install) and what the written entries name
// (m_strFolder: where the program runs from once installed).
struct CContext {
    COptions m_opts;
    std::string m_strDestDir;
    std::string m_strSourceFolder;
    std::string m_strFolder;
    std::string m_strLanguage;
    int m_nFailures = 0;
};

void Fail(CContext& ctx, const std::string& strPart, const std::string& strWhat) {
    std::fprintf(stderr, "clipvault-register: %s: %s\n", strPart.c_str(), strWhat.c_str());
    ++ctx.m_nFailures;
}

void Say(const std::string& strPart, const std::string& strWhat) {
    std::printf("%s: %s\n", strPart.c_str(), strWhat.c_str());
}

std::string Join(const std::string& a, const std::string& b) {
    gchar* p = g_build_filename(a.c_str(), b.c_str(), nullptr);
    std::string out(p);
    g_free(p);
    return out;
}

std::string Dirname(const std::string& path) {
    gchar* p = g_path_get_dirname(path.c_str());
    std::string out(p);
    g_free(p);
    return out;
}

std::string Absolute(const std::string& path) {
    gchar* p = g_canonicalize_filename(path.c_str(), nullptr);
    std::string out(p);
    g_free(p);
    return out;
}

std::string ErrnoText(int err) { return g_strerror(err); }

bool ReadFile(const std::string& path, std::string& out, std::string& strError) {
    gchar* data = nullptr;
    gsize len = 0;
    GError* error = nullptr;
    if (!g_file_get_contents(path.c_str(), &data, &len, &error)) {
        strError = error->message;
        g_error_free(error);
        return false;
    }
    out.assign(data, len);
    g_free(data);
    return true;
}

bool MakeFolder(const std::string& path, std::string& strError) {
    if (g_mkdir_with_parents(path.c_str(), 0755) != 0) {
        strError = "cannot make the folder " + path + ": " + ErrnoText(errno);
        return false;
    }
    return true;
}

// Writes a temporary file beside the target and renames it over the target,
// so a reader never sees half a file and a failed write leaves the old one.
// A symbolic link (a user's dotfiles) is written through, not replaced.
bool WriteAtomically(const std::string& path, const std::string& content, mode_t mode, std::string& strError) {
    std::string target = path;
    if (g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK)) {
        char resolved[PATH_MAX];
        if (!realpath(path.c_str(), resolved)) {
            strError = "cannot follow the link " + path + ": " + ErrnoText(errno);
            return false;
        }
        target = resolved;
    }
    if (!MakeFolder(Dirname(target), strError)) return false;
    std::string temp = Join(Dirname(target), ".clipvault-register.XXXXXX");
    std::vector<char> buf(temp.begin(), temp.end());
    buf.push_back('\0');
    const int fd = g_mkstemp_full(buf.data(), O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        strError = "cannot write in " + Dirname(target) + ": " + ErrnoText(errno);
        return false;
    }
    temp = buf.data();
    size_t done = 0;
    int err = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!err && fchmod(fd, mode) != 0) err = errno;
    if (!err && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    if (!err && rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err) {
        g_unlink(temp.c_str());
        strError = "cannot write " + target + ": " + ErrnoText(err);
        return false;
    }
    return true;
}

// Removes a file; one that is not there is already as wanted.
bool RemoveFile(const std::string& path, std::string& strError, bool& bRemoved) {
    bRemoved = false;
    if (g_unlink(path.c_str()) == 0) {
        bRemoved = true;
        return true;
    }
    if (errno == ENOENT) return true;
    strError = "cannot remove " + path + ": " + ErrnoText(errno);
    return false;
}

bool IsExecutable(const std::string& path) {
    return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) && access(path.c_str(), X_OK) == 0;
}

// The sender as a Desktop Entry Exec argument: double-quoted with the
// characters that Desktop Entry files reserve inside quotes escaped, and "%" as
// "%%" so that no field code is read out of the path.
std::string DesktopExecQuoted(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

// Thunar replaces its field codes and runs the command with /bin/sh -c: the
// sender single-quoted for the shell, "%" doubled for Thunar.
std::string ThunarQuoted(const std::string& path) {
    gchar* quoted = g_shell_quote(path.c_str());
    std::string out;
    for (const char* p = quoted; *p; ++p) {
        if (*p == '%') out += '%';
        out += *p;
    }
    g_free(quoted);
    return out;
}

// The item text as part of a file name: blanks and the characters a file
// name or a shell would trip over become "_", other text stays readable.
std::string FileNamePart(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x80 || g_ascii_isalnum(c) || c == '-' || c == '.')
            out += static_cast<char>(c);
        else
            out += '_';
    }
    return out;
}

std::string IconFor(const CContext& ctx) {
    return g_file_test(Join(ctx.m_strSourceFolder, kIcon).c_str(), G_FILE_TEST_IS_REGULAR)
               ? Join(ctx.m_strFolder, kIcon)
               : std::string("clipvault");
}

std::string UnderDestDir(const CContext& ctx, const std::string& path) {
    return ctx.m_strDestDir.empty() ? path : ctx.m_strDestDir + path;
}

// ---- Dolphin -------------------------------------------------------------

std::string DolphinFolder(const CContext& ctx) {
    if (ctx.m_opts.m_bSystem) return UnderDestDir(ctx, Join(ctx.m_opts.m_strPrefix, "share/kio/servicemenus"));
    return Join(g_get_user_data_dir(), "kio/servicemenus");
}

std::string DolphinFile(const CContext& ctx) {
    const char* item = extmenu::TextFor(extmenu::Text::Item, ctx.m_strLanguage);
    return Join(DolphinFolder(ctx), "clipvault-" + FileNamePart(item) + ".desktop");
}

void RegisterDolphin(CContext& ctx) {
    const std::string sender = Join(ctx.m_strFolder, kSender);
    const char* item = extmenu::TextFor(extmenu::Text::Item, ctx.m_strLanguage);
    GKeyFile* kf = g_key_file_new();
    const char* main = "Desktop Entry";
    g_key_file_set_string(kf, main, "Type", "Service");
    g_key_file_set_string(kf, main, "Name", item);
    g_key_file_set_string(kf, main, "X-KDE-ServiceTypes", "KonqPopupMenu/Plugin");
    g_key_file_set_string(kf, main, "MimeType", "all/allfiles;");
    g_key_file_set_string(kf, main, "Actions", "addToClipvault;");
    const char* action = "Desktop Action addToClipvault";
    g_key_file_set_string(kf, action, "Name", item);
    g_key_file_set_string(kf, action, "Icon", IconFor(ctx).c_str());
    g_key_file_set_string(kf, action, "Exec", (DesktopExecQuoted(sender) + " %F").c_str());
    gsize len = 0;
    gchar* data = g_key_file_to_data(kf, &len, nullptr);
    const std::string content(data, len);
    g_free(data);
    g_key_file_free(kf);
    // KIO takes a service menu outside the system folders only when it is
    // executable; in the system folder it is plain data like its neighbours.
    std::string error;
    const std::string path = DolphinFile(ctx);
    if (!WriteAtomically(path, content, ctx.m_opts.m_bSystem ? 0644 : 0755, error)) return Fail(ctx, "Dolphin", error);
    Say("Dolphin", "service menu " + path);
}

void UnregisterDolphin(CContext& ctx) {
    std::string error;
    bool removed = false;
    const std::string path = DolphinFile(ctx);
    if (!RemoveFile(path, error, removed)) return Fail(ctx, "Dolphin", error);
    Say("Dolphin", removed ? "removed " + path : "no service menu of this language to remove");
}

// ---- Thunar --------------------------------------------------------------

std::string ThunarFile() { return Join(g_get_user_config_dir(), "Thunar/uca.xml"); }

ucaxml::COurAction ThunarOurs(const CContext& ctx) {
    return ucaxml::COurAction{extmenu::TextFor(extmenu::Text::Item, ctx.m_strLanguage),
                              "clipvault-" + ctx.m_strLanguage, kSender};
}

// Thunar reads the first uca.xml it finds, the user's before the system's;
// a new user file starts from the system's actions so that none of those the
// user sees today disappears.
std::string ThunarStart() {
    for (const gchar* const* dir = g_get_system_config_dirs(); dir && *dir; ++dir) {
        std::string text, error;
        if (ReadFile(Join(*dir, "Thunar/uca.xml"), text, error) && ucaxml::Parse(text).m_strError.empty())
            return text;
    }
    return ucaxml::EmptyFile();
}

bool IsBlank(const std::string& text) {
    for (char c : text)
        if (!g_ascii_isspace(c)) return false;
    return true;
}

std::string Refused(const std::string& path, const std::string& why) {
    return path + " is left as it is, being no well-formed actions file: " + why;
}

void RegisterThunar(CContext& ctx) {
    if (ctx.m_opts.m_bSystem) {
        Say("Thunar", "custom actions are each user's own; run clipvault-register --register as the user");
        return;
    }
    const std::string path = ThunarFile();
    std::string text, error;
    mode_t mode = 0644;
    GStatBuf st;
    if (g_stat(path.c_str(), &st) == 0) {
        if (!ReadFile(path, text, error)) return Fail(ctx, "Thunar", error);
        mode = st.st_mode & 07777;
        if (IsBlank(text)) text = ucaxml::EmptyFile();
    } else if (errno == ENOENT) {
        text = ThunarStart();
    } else {
        return Fail(ctx, "Thunar", "cannot read " + path + ": " + ErrnoText(errno));
    }
    ucaxml::CActionFields fields;
    fields.m_strIcon = IconFor(ctx);
    fields.m_strName = extmenu::TextFor(extmenu::Text::Item, ctx.m_strLanguage);
    fields.m_strUniqueId = ThunarOurs(ctx).m_strUniqueId;
    fields.m_strCommand = ThunarQuoted(Join(ctx.m_strFolder, kSender)) + " %F";
    fields.m_strDescription = extmenu::TextFor(extmenu::Text::Help, ctx.m_strLanguage);
    fields.m_strPatterns = "*";
    const std::string out = ucaxml::WithAction(text, ThunarOurs(ctx), fields, error);
    if (!error.empty()) return Fail(ctx, "Thunar", Refused(path, error));
    if (!WriteAtomically(path, out, mode, error)) return Fail(ctx, "Thunar", error);
    Say("Thunar", "custom action in " + path);
}

void UnregisterThunar(CContext& ctx) {
    if (ctx.m_opts.m_bSystem) return;
    const std::string path = ThunarFile();
    std::string text, error;
    GStatBuf st;
    if (g_stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return Say("Thunar", "no custom actions file");
        return Fail(ctx, "Thunar", "cannot read " + path + ": " + ErrnoText(errno));
    }
    if (!ReadFile(path, text, error)) return Fail(ctx, "Thunar", error);
    if (IsBlank(text)) return Say("Thunar", "no custom action of this language to remove");
    bool removed = false;
    const std::string out = ucaxml::WithoutAction(text, ThunarOurs(ctx), removed, error);
    if (!error.empty()) return Fail(ctx, "Thunar", Refused(path, error));
    if (!removed) return Say("Thunar", "no custom action of this language to remove");
    if (!WriteAtomically(path, out, st.st_mode & 07777, error)) return Fail(ctx, "Thunar", error);
    Say("Thunar", "removed the custom action from " + path);
}

// ---- Browsers' host manifests --------------------------------------------

struct CBrowser {
    const char* m_pszId;    // the host's --manifest argument
    const char* m_pszLabel;
};
const CBrowser kBrowsers[] = {{"chromium", "Chromium"}, {"chrome", "Google Chrome"}, {"firefox", "Firefox"}};

// The system's configuration folder for the prefix, as installs place it:
// /etc for /usr, P/etc for any other prefix, so that an install into a
// folder of its own never writes into the running system's /etc.
std::string ConfigFolder(const CContext& ctx) {
    const std::string prefix = Absolute(ctx.m_opts.m_strPrefix);
    return prefix == "/usr" || prefix == "/" ? std::string("/etc") : Join(prefix, "etc");
}

std::string ManifestFolder(const CContext& ctx, const std::string& browser) {
    if (ctx.m_opts.m_bSystem) {
        if (browser == "chromium") return UnderDestDir(ctx, Join(ConfigFolder(ctx), "chromium/native-messaging-hosts"));
        if (browser == "chrome") return UnderDestDir(ctx, Join(ConfigFolder(ctx), "opt/chrome/native-messaging-hosts"));
        return UnderDestDir(ctx, Join(ctx.m_opts.m_strPrefix, "lib/mozilla/native-messaging-hosts"));
    }
    if (browser == "chromium") return Join(g_get_user_config_dir(), "chromium/NativeMessagingHosts");
    if (browser == "chrome") return Join(g_get_user_config_dir(), "google-chrome/NativeMessagingHosts");
    return Join(g_get_home_dir(), ".mozilla/native-messaging-hosts");
}

// The browsers' own rule for a host name: lower-case letters, digits and
// "_" in parts joined by single dots. It becomes a file name, so nothing
// else may pass.
bool IsValidHostName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '.') {
            if (name[i + 1] == '.') return false;
        } else if (!(g_ascii_islower(c) || g_ascii_isdigit(c) || c == '_')) {
            return false;
        }
    }
    return true;
}

// Runs the host with --manifest, bounded in time and in output.
bool RunHost(const std::string& host, const std::string& browser, std::string& out, std::string& strError) {
    if (!IsExecutable(host)) {
        strError = host + " is missing or not executable";
        return false;
    }
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        strError = "cannot run " + host + ": " + ErrnoText(errno);
        return false;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        strError = "cannot run " + host + ": " + ErrnoText(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        execl(host.c_str(), host.c_str(), "--manifest", browser.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        strError = "cannot run " + host + ": " + ErrnoText(errno);
        return false;
    }
    std::string err;
    const size_t kLimit = 1 << 20;
    const int kSeconds = 10;
    const time_t deadline = time(nullptr) + kSeconds;
    bool timedOut = false, tooMuch = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int openPipes = 2;
    while (openPipes > 0) {
        const long left = static_cast<long>(deadline - time(nullptr));
        if (left <= 0) {
            timedOut = true;
            break;
        }
        const int r = poll(fds, 2, static_cast<int>(left * 1000));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            timedOut = r == 0;
            break;
        }
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t n = read(fds[k].fd, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                close(fds[k].fd);
                fds[k].fd = -1;
                --openPipes;
                continue;
            }
            std::string& target = k == 0 ? out : err;
            target.append(buf, static_cast<size_t>(n));
            if (target.size() > kLimit) tooMuch = true;
        }
        if (tooMuch) break;
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) close(f.fd);
    if (timedOut || tooMuch) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        strError = host + " --manifest " + browser + " gave no answer within " + std::to_string(kSeconds) + " s";
        return false;
    }
    if (tooMuch) {
        strError = host + " --manifest " + browser + " wrote more than a manifest";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string first = err.substr(0, err.find('\n'));
        strError = host + " --manifest " + browser + " failed" + (first.empty() ? std::string() : ": " + first);
        return false;
    }
    return true;
}

// The manifest the host prints, checked, with its path set to where the host
// runs from once installed (a staged install runs it from under DESTDIR).
bool HostManifest(const CContext& ctx, const std::string& browser, nlohmann::ordered_json& manifest,
                  std::string& strError) {
    std::string text;
    if (!RunHost(Join(ctx.m_strSourceFolder, kHost), browser, text, strError)) return false;
    manifest = nlohmann::ordered_json::parse(text, nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object()) {
        strError = "the host's manifest for " + browser + " is not a JSON object";
        return false;
    }
    const auto name = manifest.find("name");
    if (name == manifest.end() || !name->is_string() || !IsValidHostName(name->get<std::string>())) {
        strError = "the host's manifest for " + browser +
                   " has no valid \"name\" (lower-case letters, digits, \"_\" and single dots)";
        return false;
    }
    manifest["path"] = Join(ctx.m_strFolder, kHost);
    return true;
}

void RegisterManifests(CContext& ctx) {
    for (const CBrowser& b : kBrowsers) {
        nlohmann::ordered_json manifest;
        std::string error;
        if (!HostManifest(ctx, b.m_pszId, manifest, error)) {
            Fail(ctx, b.m_pszLabel, error);
            continue;
        }
        const std::string path =
            Join(ManifestFolder(ctx, b.m_pszId), manifest["name"].get<std::string>() + ".json");
        if (!WriteAtomically(path, manifest.dump(2) + "\n", 0644, error)) {
            Fail(ctx, b.m_pszLabel, error);
            continue;
        }
        Say(b.m_pszLabel, "native-messaging host manifest " + path);
    }
}

// A manifest is ours when the host names it, or when it points at our host
// (the host may be gone already when the package is being removed).
void UnregisterManifests(CContext& ctx) {
    const std::string hostPath = Join(ctx.m_strFolder, kHost);
    for (const CBrowser& b : kBrowsers) {
        const std::string folder = ManifestFolder(ctx, b.m_pszId);
        std::vector<std::string> files;
        nlohmann::ordered_json manifest;
        std::string error;
        if (IsExecutable(Join(ctx.m_strSourceFolder, kHost)) && HostManifest(ctx, b.m_pszId, manifest, error))
            files.push_back(Join(folder, manifest["name"].get<std::string>() + ".json"));
        if (GDir* dir = g_dir_open(folder.c_str(), 0, nullptr)) {
            while (const gchar* entry = g_dir_read_name(dir)) {
                if (!g_str_has_suffix(entry, ".json")) continue;
                const std::string path = Join(folder, entry);
                std::string text, readError;
                if (!ReadFile(path, text, readError)) continue;
                const nlohmann::ordered_json other = nlohmann::ordered_json::parse(text, nullptr, false);
                if (other.is_object() && other.contains("path") && other["path"].is_string() &&
                    other["path"].get<std::string>() == hostPath &&
                    std::find(files.begin(), files.end(), path) == files.end())
                    files.push_back(path);
            }
            g_dir_close(dir);
        }
        bool any = false, failed = false;
        for (const std::string& path : files) {
            bool removed = false;
            if (!RemoveFile(path, error, removed)) {
                Fail(ctx, b.m_pszLabel, error);
                failed = true;
            } else if (removed) {
                Say(b.m_pszLabel, "removed " + path);
                any = true;
            }
        }
        if (!any && !failed) Say(b.m_pszLabel, "no host manifest to remove");
    }
}

void PrintExtensionSteps(const CContext& ctx) {
    const std::string unpacked = Join(ctx.m_strFolder, "browser/extension");
    const std::string xpi = Join(ctx.m_strFolder, "browser/clipvault-extension.xpi");
    std::printf(
        "\nTo add the browser menu entries, load the extension once in each browser:\n"
        "  Chromium / Google Chrome: open chrome://extensions, switch on \"Developer mode\", press\n"
        "    \"Load unpacked\" and choose the folder %s\n"
        "  Firefox: open about:addons, choose \"Install Add-on From File...\" in the gear menu and pick\n"
        "    %s\n"
        "    (an unsigned add-on stays installed only where xpinstall.signatures.required is off, as in\n"
        "    Firefox ESR, Developer Edition and Nightly); or open about:debugging, \"This Firefox\",\n"
        "    \"Load Temporary Add-on...\" and pick the same file, which lasts until Firefox closes.\n",
        unpacked.c_str(), xpi.c_str());
}

// ---- Nautilus -------------------------------------------------------------

std::string NautilusFolder(const std::string& prefix) {
    std::string lib = "lib";
    if (*CLIPVAULT_MULTIARCH) lib += std::string("/") + CLIPVAULT_MULTIARCH;
    return Join(prefix, lib + "/nautilus/extensions-4");
}

void RegisterNautilus(CContext& ctx) {
    if (!ctx.m_opts.m_bSystem) {
        const std::string installed = Join(NautilusFolder("/usr"), kNautilusModule);
        Say("Nautilus", g_file_test(installed.c_str(), G_FILE_TEST_EXISTS)
                            ? "the entry is installed system-wide (" + installed + ")"
                            : "the entry comes with the package or a system install (clipvault-register "
                              "--register --system); Nautilus loads extensions only from " +
                                  NautilusFolder("/usr"));
        return;
    }
    const std::string source = Join(ctx.m_strSourceFolder, kNautilusModule);
    std::string content, error;
    if (!g_file_test(source.c_str(), G_FILE_TEST_IS_REGULAR))
        return Fail(ctx, "Nautilus", source + " is missing (built without libnautilus-extension-dev?)");
    if (!ReadFile(source, content, error)) return Fail(ctx, "Nautilus", error);
    const std::string path = Join(UnderDestDir(ctx, NautilusFolder(ctx.m_opts.m_strPrefix)), kNautilusModule);
    if (!WriteAtomically(path, content, 0644, error)) return Fail(ctx, "Nautilus", error);
    Say("Nautilus", "extension " + path + " (Nautilus shows it after it restarts: nautilus -q)");
}

void UnregisterNautilus(CContext& ctx) {
    if (!ctx.m_opts.m_bSystem) return;
    const std::string path = Join(UnderDestDir(ctx, NautilusFolder(ctx.m_opts.m_strPrefix)), kNautilusModule);
    std::string error;
    bool removed = false;
    if (!RemoveFile(path, error, removed)) return Fail(ctx, "Nautilus", error);
    Say("Nautilus", removed ? "removed " + path : "no extension to remove");
}

// ---- Command line ----------------------------------------------------------

void PrintHelp() {
    std::printf(
        "Usage: clipvault-register --register|--unregister [--system [--prefix P]] [--program-folder DIR]\n"
        "\n"
        "Adds the \"Add to Clipvault\" entries to the file managers and the browsers' host manifests,\n"
        "or removes them.\n"
        "\n"
        "  --register          install the entries\n"
        "  --unregister        remove them\n"
        "  --system            for every user: P/share/kio/servicemenus, /etc/chromium and\n"
        "                      /etc/opt/chrome native-messaging-hosts (P/etc/... for a prefix P other\n"
        "                      than /usr), P/lib/mozilla/native-messaging-hosts\n"
        "                      and Nautilus's extension folder P/lib/%s%snautilus/extensions-4;\n"
        "                      everything under $DESTDIR when it is set\n"
        "  --prefix P          the system install's prefix (default /usr)\n"
        "  --program-folder DIR  the folder of clipvault-send-files and clipvault-native-host\n"
        "                      (default: this tool's own folder)\n"
        "  --help              this text\n"
        "\n"
        "Per user (the default) the Dolphin service menu goes to $XDG_DATA_HOME/kio/servicemenus, the\n"
        "Thunar action to $XDG_CONFIG_HOME/Thunar/uca.xml and the manifests to the browsers' folders\n"
        "under $XDG_CONFIG_HOME and ~/.mozilla. The file managers' entries carry the texts of the\n"
        "language in force and --unregister removes only those of the language then in force.\n"
        "\n"
        "Exit status: 0 when everything was done, 1 when a part failed (each failure is one line on\n"
        "standard error; the other parts are still done), 2 for a wrong command line.\n",
        CLIPVAULT_MULTIARCH, *CLIPVAULT_MULTIARCH ? "/" : "");
}

int Usage(const std::string& what) {
    std::fprintf(stderr, "clipvault-register: %s\nTry clipvault-register --help.\n", what.c_str());
    return 2;
}

std::string OwnFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return Dirname(std::string(buf, static_cast<size_t>(n)));
}

bool HasControlOrBadText(const std::string& path) {
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f) return true;
    return !g_utf8_validate(path.c_str(), static_cast<gssize>(path.size()), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    COptions opts;
    bool prefixGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const std::string& name, std::string& out) {
            if (arg == name) {
                if (i + 1 >= argc) return false;
                out = argv[++i];
                return true;
            }
            out = arg.substr(name.size() + 1);
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--register") {
            opts.m_bRegister = true;
        } else if (arg == "--unregister") {
            opts.m_bUnregister = true;
        } else if (arg == "--system") {
            opts.m_bSystem = true;
        } else if (arg == "--prefix" || arg.rfind("--prefix=", 0) == 0) {
            if (!value("--prefix", opts.m_strPrefix)) return Usage("--prefix needs a folder");
            prefixGiven = true;
        } else if (arg == "--program-folder" || arg.rfind("--program-folder=", 0) == 0) {
            if (!value("--program-folder", opts.m_strProgramFolder)) return Usage("--program-folder needs a folder");
        } else {
            return Usage("unknown argument " + arg);
        }
    }
    if (opts.m_bRegister == opts.m_bUnregister) return Usage("give either --register or --unregister");
    if (prefixGiven && !opts.m_bSystem) return Usage("--prefix goes with --system");
    if (!g_path_is_absolute(opts.m_strPrefix.c_str())) return Usage("--prefix needs an absolute folder");

    CContext ctx;
    ctx.m_opts = opts;
    ctx.m_strLanguage = extmenu::SystemLanguageId();
    ctx.m_strSourceFolder = opts.m_strProgramFolder.empty() ? OwnFolder() : Absolute(opts.m_strProgramFolder);
    if (ctx.m_strSourceFolder.empty()) {
        std::fprintf(stderr, "clipvault-register: cannot find its own folder; give --program-folder\n");
        return 1;
    }
    ctx.m_strFolder = ctx.m_strSourceFolder;
    if (opts.m_bSystem) {
        const char* destDir = g_getenv("DESTDIR");
        if (destDir && *destDir) {
            ctx.m_strDestDir = Absolute(destDir);
            while (ctx.m_strDestDir.size() > 1 && ctx.m_strDestDir.back() == '/') ctx.m_strDestDir.pop_back();
            if (ctx.m_strDestDir == "/") ctx.m_strDestDir.clear();
            // A staged program folder: the entries name where it will lie.
            const std::string staged = ctx.m_strDestDir + "/";
            if (!ctx.m_strDestDir.empty() && g_str_has_prefix(ctx.m_strFolder.c_str(), staged.c_str()))
                ctx.m_strFolder = ctx.m_strFolder.substr(ctx.m_strDestDir.size());
        }
    }
    if (HasControlOrBadText(ctx.m_strFolder)) {
        std::fprintf(stderr, "clipvault-register: the program folder's path %s holds control characters or is "
                             "not UTF-8; the entries cannot name it\n", ctx.m_strFolder.c_str());
        return 1;
    }

    if (opts.m_bRegister) {
        if (!IsExecutable(Join(ctx.m_strSourceFolder, kSender))) {
            Fail(ctx, opts.m_bSystem ? "Dolphin" : "Dolphin and Thunar",
                 Join(ctx.m_strSourceFolder, kSender) + " is missing or not executable; their entries are not made");
        } else {
            RegisterDolphin(ctx);
            RegisterThunar(ctx);
        }
        RegisterNautilus(ctx);
        RegisterManifests(ctx);
        if (opts.m_bSystem && Absolute(opts.m_strPrefix) != "/usr")
            std::printf("\nNote: Nautilus reads extensions only from %s, Chromium and Chrome read system "
                        "manifests only from /etc and Firefox only from /usr/lib/mozilla/native-messaging-hosts; "
                        "under the prefix %s they are in place but not seen.\n",
                        NautilusFolder("/usr").c_str(), opts.m_strPrefix.c_str());
        PrintExtensionSteps(ctx);
    } else {
        UnregisterDolphin(ctx);
        UnregisterThunar(ctx);
        UnregisterNautilus(ctx);
        UnregisterManifests(ctx);
    }
    std::fflush(stdout);
    return ctx.m_nFailures == 0 ? 0 : 1;
}
