// The commands that fill notes (capture, import) and take them out again
// (open, export, cat). Captures run on the same download workers and the same
// "capture done" handling as in the window, with this tool's own queue as the
// user-interface thread.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "app/cli/CliMessages.h"
#include "app/cli/CliNotebook.h"
#include "capture/ImportItem.h"
#include "capture/LinkHelpers.h"
#include "document/ClipVaultDoc.h"
#include "platform/FileUtil.h"
#include "platform/TempFiles.h"
#include "platform/UiQueue.h"

namespace cli {
namespace {

constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t g_bInterrupted = 0;
extern "C" void OnInterrupt(int) { g_bInterrupted = 1; }

bool ParseCount(const CliOption& opt, uint32_t& out) {
    if (!opt.present) return true;
    if (!IsAllDigits(opt.value) || opt.value.size() > 9) {
        UsageError(std::string(opt.name) + " needs a number");
        return false;
    }
    out = static_cast<uint32_t>(std::strtoul(opt.value.c_str(), nullptr, 10));
    return true;
}

// Opens the notebook, making it when it does not exist yet (encrypted when
// a passphrase was given). kExitOk or the exit code after reporting.
int OpenOrCreate(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets) {
    if (!HasNotebookExtension(strPath)) return UsageError("a notebook file ends in .vlt: " + strPath);
    if (fileutil::PathExists(strPath)) return OpenForChange(doc, strPath, secrets);
    doc.OnNewDocument();
    if (const int rc = SealNew(doc, secrets)) return rc;
    doc.SetPathName(strPath);
    return kExitOk;
}

// A temporary root of this run's own, as the window has one: working files
// are never made in the shared temporary folder, where anybody could have
// planted links at the names they get. Removed with everything in it when
// the command ends, unless kept (the working copy "open" prints must stay).
class CRunTempRoot {
public:
    CRunTempRoot() = default;
    CRunTempRoot(const CRunTempRoot&) = delete;
    CRunTempRoot& operator=(const CRunTempRoot&) = delete;
    ~CRunTempRoot() {
        if (m_strRoot.empty()) return;
        tempfiles::SetTempRoot(std::string());
        if (m_bKeep) return;
        DeleteTempFiles(m_strRoot);
        ::rmdir(m_strRoot.c_str());
    }

    // False after reporting when no folder can be made.
    bool Make() {
        int nErr = 0;
        m_strRoot = tempfiles::MakePrivateFolder(std::string(), &nErr);
        if (m_strRoot.empty()) {
            Failure("cannot make a private folder for working files in " + tempfiles::SystemTempFolder() + ": " +
                    std::strerror(nErr));
            return false;
        }
        tempfiles::SetTempRoot(m_strRoot);
        return true;
    }
    void Keep() { m_bKeep = true; }

private:
    std::string m_strRoot;
    bool m_bKeep = false;
};

bool Pending(const CNote* p) {
    const int32_t s = p->m_nStatus;
    return s == kStatusQueued || s == kStatusRunning || s == kStatusStopRequested;
}

// Runs the notebook's downloads until every listed note is done, failed or
// held (or Ctrl-C stops them), prints a line per note, saves.
int RunAndReport(CClipVaultDoc& doc, const std::vector<CNote*>& notes, host::CSimpleUiQueue& queue) {
    g_bInterrupted = 0;
    struct sigaction sa = {}, old = {};
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, &old);
    for (;;) {
        queue.WaitAndRun(std::chrono::milliseconds(100));
        if (g_bInterrupted) {
            doc.HoldAllQueued();
            doc.StopAllDownloads();
            queue.RunPending();
            break;
        }
        bool bBusy = doc.IsDownloading();
        for (const CNote* p : notes) bBusy = bBusy || Pending(p);
        if (!bBusy) break;
    }
    sigaction(SIGINT, &old, nullptr);
    queue.RunPending();

    bool bAllDone = true;
    for (const CNote* p : notes) {
        const int32_t s = p->m_nStatus;
        if (s != kStatusDone) bAllDone = false;
        std::printf("%u\t%d\t%s\t%s\n", p->m_nID, static_cast<int>(s), AnsiToJsonText(p->m_strName).c_str(),
                    AnsiToJsonText(p->m_strError).c_str());
    }
    std::fflush(stdout);
    const int saved = Save(doc);
    if (saved != kExitOk) return saved;
    if (g_bInterrupted) return kExitInterrupted;
    return bAllDone ? kExitOk : kExitFailed;
}

// Files the sources into the category as notes, through the import rule the
// window uses, and runs their downloads.
int ImportInto(CliArgs& args, CSecretOptions& secrets, const CliOption& into, const CliOption& category,
               const std::string& title, int nKind) {
    if (!into.present) return UsageError("--into FILE.vlt is needed");
    if (args.words.empty()) return UsageError("nothing to take in");
    if (const int rc = secrets.Read()) return rc;
    CRunTempRoot root;
    if (!root.Make()) return kExitFailed;
    CClipVaultDoc doc;
    if (const int rc = OpenOrCreate(doc, into.value, secrets)) return rc;
    CNoteCata* pCata = CategoryArg(doc, category.present ? category.value : std::string());
    if (!pCata) return kExitFailed;
    // This tool's loop is the user-interface thread: it must be in place
    // before the first worker starts, or a quick worker's "capture done"
    // would go nowhere.
    host::CSimpleUiQueue queue;
    struct QueueInstalled {
        explicit QueueInstalled(host::IUiQueue* q) : pPrevious(host::SetUiQueue(q)) {}
        ~QueueInstalled() { host::SetUiQueue(pPrevious); }
        host::IUiQueue* pPrevious;
    } installed(&queue);
    std::vector<CNote*> notes;
    for (const std::string& word : args.words) {
        auto pItem = std::make_unique<CImportItem>();
        if (!ArgToAnsi(word, pItem->m_strSource)) return kExitUsage;
        if (nKind == kSourceLocalFile) {
            char resolved[4096];
            if (realpath(word.c_str(), resolved)) pItem->m_strSource = resolved;
        }
        pItem->m_strTitle = title;
        pItem->m_nImportKind = nKind;
        pItem->m_nContentMode = static_cast<int>(kContentHeld);
        pItem->m_pTargetDoc = &doc;
        pItem->m_bStartNow = 1;
        CNote* pNote = CreateNoteFromImport(std::move(pItem));
        if (!pNote) continue;  // the core said why
        pCata->AttachNote(pNote, pNote->m_strName, true);
        doc.SetModifiedFlag();
        notes.push_back(pNote);
    }
    if (notes.empty()) return kExitFailed;
    return RunAndReport(doc, notes, queue);
}

// Opens the notebook of args.words[0] and finds the note whose id is
// args.words[1]. kExitOk, or the exit code after reporting.
int OpenNote(CClipVaultDoc& doc, const CliArgs& args, const CSecretOptions& secrets, CNote*& pNote) {
    pNote = nullptr;
    const std::string& arg = args.words[1];
    if (!IsAllDigits(arg) || arg.size() > 10) return UsageError("a note is named by its id: " + arg);
    const Opened opened = OpenNotebook(doc, args.words[0], secrets, "not opened");
    if (opened == Opened::damaged) return kExitFailed;
    if (opened != Opened::ok) return ExitFor(opened);
    const unsigned long long n = std::strtoull(arg.c_str(), nullptr, 10);
    pNote = n <= UINT32_MAX ? FindNoteById(doc.m_rootCata, static_cast<uint32_t>(n)) : nullptr;
    return pNote ? kExitOk : Failure("no note with id " + arg);
}

// The reading commands' start: their options, the secrets, the arguments.
int TakeReadArgs(CliArgs& args, CSecretOptions& secrets, size_t nWords, const char* pszUsage) {
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != nWords) return UsageError(pszUsage);
    return secrets.Read();
}

}  // namespace

int CmdCapture(CliArgs& args) {
    CliOption into("--into", true), category("--category", true), title("--title", true), file("--file", false),
        noResources("--no-resources", false), workers("--workers", true), retries("--retries", true),
        options("--options", true), classic("--classic", false);
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&into, &category, &title, &file, &noResources, &workers, &retries, &options,
                                         &classic})))
        return kExitUsage;
    CAppOptions& opts = AppOptions();
    opts.LoadOptions(options.present ? options.value : CAppOptions::DefaultOptionsPath());
    if (!ParseCount(workers, opts.m_nMaxDownloadWorkers) || !ParseCount(retries, opts.m_download.m_nRetries))
        return kExitUsage;
    if (noResources.present) opts.m_download.m_bFetchResources = false;
    if (classic.present) opts.m_download.m_bModernCapture = false;
    std::string strTitle;
    if (title.present && !ArgToAnsi(title.value, strTitle)) return kExitUsage;
    return ImportInto(args, secrets, into, category, strTitle, file.present ? kSourceWebFile : kSourceWebPage);
}

int CmdImport(CliArgs& args) {
    CliOption into("--into", true), category("--category", true), options("--options", true),
        classic("--classic", false);
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&into, &category, &options, &classic}))) return kExitUsage;
    AppOptions().LoadOptions(options.present ? options.value : CAppOptions::DefaultOptionsPath());
    if (classic.present) AppOptions().m_download.m_bModernCapture = false;
    return ImportInto(args, secrets, into, category, std::string(), kSourceLocalFile);
}

int CmdOpen(CliArgs& args) {
    CSecretOptions secrets(false);
    if (const int rc = TakeReadArgs(args, secrets, 2, "open takes a notebook and a note id")) return rc;
    CRunTempRoot root;
    if (!root.Make()) return kExitFailed;
    CClipVaultDoc doc;
    CNote* pNote = nullptr;
    if (const int rc = OpenNote(doc, args, secrets, pNote)) return rc;
    const std::string path = pNote->GetWorkPath();
    if (pNote->m_nContentType == kContentHeld && !pNote->WriteWorkingCopy()) return Failure("cannot write " + path);
    if (pNote->m_nContentType == kContentHeld) root.Keep();
    // The user asked for a working copy, so it is written; but it must not
    // pass unnoticed that it lies on disk in plain.
    if (doc.IsEncrypted())
        std::fprintf(stderr, "clipvault-cli: warning: %s is encrypted, but its working copy is plain; delete %s "
                             "when done\n", args.words[0].c_str(), path.c_str());
    std::printf("%s\n", path.c_str());
    return kExitOk;
}

int CmdExport(CliArgs& args) {
    CSecretOptions secrets(false);
    if (const int rc = TakeReadArgs(args, secrets, 3, "export takes a notebook, a note id and a target file"))
        return rc;
    CRunTempRoot root;
    if (!root.Make()) return kExitFailed;
    CClipVaultDoc doc;
    CNote* pNote = nullptr;
    if (const int rc = OpenNote(doc, args, secrets, pNote)) return rc;
    if (!pNote->WriteWorkingCopy(args.words[2], true)) return Failure("cannot write " + args.words[2]);
    return kExitOk;
}

int CmdCat(CliArgs& args) {
    CSecretOptions secrets(false);
    if (const int rc = TakeReadArgs(args, secrets, 2, "cat takes a notebook and a note id")) return rc;
    CClipVaultDoc doc;
    CNote* pNote = nullptr;
    if (const int rc = OpenNote(doc, args, secrets, pNote)) return rc;
    const std::vector<uint8_t>& content = pNote->Content();
    if (content.size() != pNote->ContentSize()) return Failure("cannot read the content from the notebook's file");
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), stdout) != content.size())
        return Failure("cannot write the content");
    return std::fflush(stdout) == 0 ? kExitOk : Failure("cannot write the content");
}

}  // namespace cli
