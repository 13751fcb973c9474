// Converting a Markdown plan in node and writing it into an empty folder.
#include "capture/MarkdownExport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "capture/NodeScript.h"

namespace markdown {
namespace {

// A batch of pages for one run of node: enough that a large category starts
// it a few times only, small enough that its output stays well in memory.
constexpr size_t kBatchNotes = 500;
constexpr size_t kBatchBytes = 48u << 20;

void JsonString(std::string& out, const std::string& s) {
    out += '"';
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Whole UTF-8 sequences go as they are; a stray byte becomes the
            // replacement character rather than spoiling the request.
            size_t n = (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 4 : 0;
            for (size_t k = 1; n && k < n; ++k)
                if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) n = 0;
            if (!n) {
                out += "\\ufffd";
                continue;
            }
            out.append(s, i, n);
            i += n - 1;
        }
    }
    out += '"';
}

void JsonField(std::string& out, const char* key, const std::string& value) {
    if (out.back() != '{') out += ',';
    JsonString(out, key);
    out += ':';
    JsonString(out, value);
}

std::string Request(const CMarkdownPlan& plan, size_t first, size_t count) {
    std::string out = "{\"pages\":[";
    for (size_t i = first; i < first + count; ++i) {
        const CMarkdownNote& n = plan.m_notes[i];
        if (i != first) out += ',';
        out += '{';
        JsonField(out, "kind", n.m_strKind);
        JsonField(out, n.m_strKind == "text" ? "text" : "html", n.m_strBody);
        JsonField(out, "file", n.m_strFile);
        JsonField(out, "title", n.m_strTitle);
        JsonField(out, "source", n.m_strSource);
        JsonField(out, "captured", n.m_strCaptured);
        JsonField(out, "category", n.m_strCategory);
        JsonField(out, "assets", n.m_strAssets);
        JsonField(out, "path", n.m_strPath);
        out += '}';
    }
    out += "],\"notes\":{";
    for (size_t i = 0; i < plan.m_notePaths.size(); ++i) {
        if (i) out += ',';
        JsonString(out, std::to_string(plan.m_notePaths[i].first));
        out += ':';
        JsonString(out, plan.m_notePaths[i].second);
    }
    out += "}}";
    return out;
}

// Splits the script's answer, "<index> [ERR ]<length>\n<bytes>" per page.
bool ParseAnswer(const std::string& answer, size_t count, std::vector<std::string>& markdown, std::string& error) {
    markdown.assign(count, std::string());
    std::vector<bool> seen(count, false);
    size_t pos = 0;
    while (pos < answer.size()) {
        const size_t nl = answer.find('\n', pos);
        if (nl == std::string::npos) break;
        const std::string header = answer.substr(pos, nl - pos);
        char* end = nullptr;
        const unsigned long index = std::strtoul(header.c_str(), &end, 10);
        const bool bError = std::strncmp(end, " ERR ", 5) == 0;
        const unsigned long long length = std::strtoull(end + (bError ? 5 : 1), nullptr, 10);
        if (index >= count || nl + 1 + length > answer.size()) break;
        const std::string body = answer.substr(nl + 1, length);
        if (bError) {
            error = body;
            return false;
        }
        markdown[index] = body;
        seen[index] = true;
        pos = nl + 1 + length;
    }
    for (bool b : seen)
        if (!b) {
            error = "the converter's answer is incomplete";
            return false;
        }
    return true;
}

// The way a page's Markdown names a file of assets/: as the script writes it.
std::string EncodedName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string Errno(int err) { return std::strerror(err); }

// Writes every file below one folder opened once: each path is made by this
// export (folders with mkdirat, files only new and never through a link).
class CTarget {
public:
    ~CTarget() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool Open(const std::string& dir, std::string& error) {
        struct stat st;
        if (::lstat(dir.c_str(), &st) != 0) {
            if (::mkdir(dir.c_str(), 0755) != 0) {
                error = "cannot make the folder " + dir + ": " + Errno(errno);
                return false;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            error = dir + " is not a folder";
            return false;
        } else if (!IsEmptyFolder(dir)) {
            error = dir + " is not empty: choose an empty or new folder";
            return false;
        }
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (m_fd < 0) error = "cannot open the folder " + dir + ": " + Errno(errno);
        return m_fd >= 0;
    }
    bool MakeFolder(const std::string& rel, std::string& error) {
        if (::mkdirat(m_fd, rel.c_str(), 0755) == 0) return true;
        error = "cannot make the folder " + rel + ": " + Errno(errno);
        return false;
    }
    bool Write(const std::string& rel, const void* p, size_t n, std::string& error) {
        const int fd = ::openat(m_fd, rel.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = "cannot write " + rel + ": " + Errno(errno);
            return false;
        }
        const char* data = static_cast<const char*>(p);
        size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd, data + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += static_cast<size_t>(w);
        }
        const int err = errno;
        if (::close(fd) != 0 || done != n) {
            // Nobody should later take a cut file for a whole one.
            ::unlinkat(m_fd, rel.c_str(), 0);
            error = "cannot write " + rel + ": " + Errno(done != n ? err : errno);
            return false;
        }
        return true;
    }

private:
    static bool IsEmptyFolder(const std::string& dir) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) return false;
        bool bEmpty = true;
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) bEmpty = false;
        ::closedir(d);
        return bEmpty;
    }
    int m_fd = -1;
};

}  // namespace

CMarkdownResult WriteExport(const CMarkdownPlan& plan, const std::string& strOutDir,
                            const std::function<bool(size_t, size_t)>& fnProgress) {
    CMarkdownResult r;
    CTarget target;
    if (!target.Open(strOutDir, r.m_strError)) return r;
    const size_t total = plan.m_notes.size();
    auto stopped = [&](const std::string& why) {
        r.m_strError = why + (r.m_nNotes ? " (the export stopped after " + std::to_string(r.m_nNotes) + " of " +
                                               std::to_string(total) + " notes)"
                                         : std::string());
        return r;
    };
    for (const std::string& folder : plan.m_folders)
        if (!target.MakeFolder(folder, r.m_strError)) return stopped(r.m_strError);
    std::set<std::string> linked;  // assets/ names some Markdown shows
    bool bAssetsMade = false;
    for (size_t first = 0; first < total;) {
        size_t count = 0, bytes = 0;
        while (first + count < total && count < kBatchNotes && (count == 0 || bytes < kBatchBytes))
            bytes += plan.m_notes[first + count++].m_strBody.size();
        const int nTimeoutMs = 60000 + static_cast<int>(count) * 500 + static_cast<int>(bytes >> 12);
        bool bStopped = false;
        const nodescript::CScriptResult run = nodescript::RunScript(
            "to-markdown.js", {}, Request(plan, first, count), nTimeoutMs,
            [&] { return bStopped = fnProgress && !fnProgress(r.m_nNotes, total); });
        std::vector<std::string> markdown;
        std::string error;
        if (bStopped) return stopped("stopped");
        if (!run.m_bOk) return stopped("Markdown conversion failed: " + run.m_strError);
        if (!ParseAnswer(run.m_strOut, count, markdown, error))
            return stopped("Markdown conversion failed: " + error);
        for (size_t i = 0; i < count; ++i) {
            const CMarkdownNote& note = plan.m_notes[first + i];
            if (fnProgress && !fnProgress(r.m_nNotes, total)) return stopped("stopped");
            if (note.m_strKind == "page") {
                for (const auto& asset : plan.m_assets)
                    if (markdown[i].find(note.m_strAssets + EncodedName(asset.first)) != std::string::npos)
                        linked.insert(asset.first);
            }
            if (note.m_strKind == "file") {
                const size_t slash = note.m_strPath.rfind('/');
                const std::string beside = slash == std::string::npos ? note.m_strFile
                                                                     : note.m_strPath.substr(0, slash + 1) + note.m_strFile;
                if (!target.Write(beside, note.m_fileBytes.data(), note.m_fileBytes.size(), error)) return stopped(error);
            }
            if (!target.Write(note.m_strPath, markdown[i].data(), markdown[i].size(), error)) return stopped(error);
            ++r.m_nNotes;
        }
        first += count;
    }
    for (const auto& asset : plan.m_assets) {
        if (!linked.count(asset.first)) continue;
        std::string error;
        if (!bAssetsMade && !(bAssetsMade = target.MakeFolder("assets", error))) return stopped(error);
        if (!target.Write("assets/" + asset.first, asset.second->data(), asset.second->size(), error))
            return stopped(error);
        ++r.m_nAssets;
    }
    if (fnProgress) fnProgress(total, total);
    r.m_bDone = true;
    return r;
}

}  // namespace markdown
