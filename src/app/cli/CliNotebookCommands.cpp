// The commands that read or change a notebook file. Each opens the file, does
// one thing through the record operations the window uses, and saves at once:
// there is no session to keep changes in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "app/cli/CliMessages.h"
#include "app/cli/CliNotebook.h"
#include "document/Archive.h"
#include "document/ClipVaultDoc.h"
#include "document/NotebookCipher.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"

namespace cli {

bool HasNotebookExtension(const std::string& strPath) {
    if (strPath.size() < 4) return false;
    std::string ext = strPath.substr(strPath.size() - 4);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return ext == ".vlt";
}

int ExitFor(Opened opened) {
    switch (opened) {
    case Opened::ok: return kExitOk;
    case Opened::damaged:
    case Opened::sealedDamaged: return kExitDamaged;
    case Opened::wrongPassphrase: return kExitWrongPassphrase;
    case Opened::failed: break;
    }
    return kExitFailed;
}

namespace {

// Gives the passphrase once: it is not typed, so a second try would be the
// same wrong one.
class COnePassphrase : public IPassphraseAsker {
public:
    explicit COnePassphrase(const std::string& strPassphrase) : m_strPassphrase(strPassphrase) {}
    bool AskPassphrase(const std::string&, int nAttempt, std::string& strPassphrase) override {
        if (nAttempt != 1) return false;
        strPassphrase = m_strPassphrase;
        return true;
    }

private:
    const std::string& m_strPassphrase;
};

// Why an encrypted notebook was not opened, said on one line. A wrong
// passphrase and a damaged file each have their own exit code, so that a
// script never takes the one for the other.
Opened SealedRefusal(const std::string& strPath, vault::Refusal refusal) {
    using vault::Refusal;
    if (refusal == Refusal::wrongPassphrase) {
        std::fprintf(stderr, "clipvault-cli: %s: the passphrase does not fit this encrypted notebook\n",
                     strPath.c_str());
        return Opened::wrongPassphrase;
    }
    std::fprintf(stderr, "clipvault-cli: %s: encrypted notebook not opened: %s\n", strPath.c_str(),
                 vault::RefusalText(refusal));
    switch (refusal) {
    case Refusal::damagedHeader:
    case Refusal::foreignHeader:
    case Refusal::damagedChunk:
    case Refusal::cutShort:
    case Refusal::trailingBytes: return Opened::sealedDamaged;
    default: return Opened::failed;
    }
}

}  // namespace

// The core reports damage as a bare "operation failed"; the line printed
// instead says which file and why. An encrypted notebook is not read at all
// without its passphrase: nothing of it could be shown anyway, and the key
// derivation would only cost time.
Opened OpenNotebook(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets,
                    const char* pszConsequence) {
    if (!secrets.HasPassphrase() && vault::IsEncryptedFile(strPath)) {
        Failure(strPath + " is an encrypted notebook; give its passphrase with --passphrase-file FILE or "
                          "--passphrase-stdin");
        return Opened::failed;
    }
    COnePassphrase asker(secrets.Passphrase());
    if (secrets.HasPassphrase()) doc.SetPassphraseAsker(&asker);
    Messages().Hold();
    const bool bOpened = doc.OnOpenDocument(strPath);
    doc.SetPassphraseAsker(nullptr);
    if (!bOpened && doc.m_lastRefusal != vault::Refusal::none) {
        Messages().DropHeld();
        return SealedRefusal(strPath, doc.m_lastRefusal);
    }
    if (!bOpened) {
        Messages().PrintHeld();
        return Opened::failed;
    }
    if (doc.m_nLoadError < 0) {
        Messages().PrintHeld();
        Messages().Reset();
        return Opened::ok;
    }
    Messages().DropHeld();
    const CArchiveException cause(static_cast<CArchiveException::Cause>(doc.m_nLoadError));
    std::fprintf(stderr, "clipvault-cli: %s: damaged notebook (%s); %s\n", strPath.c_str(), cause.what(),
                 pszConsequence);
    return Opened::damaged;
}

// Saving a damaged notebook would make the loss of everything after the
// damage permanent, so it is opened only when it was read whole.
int OpenWhole(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets) {
    const Opened opened = OpenNotebook(doc, strPath, secrets, "left unchanged");
    return opened == Opened::damaged ? kExitFailed : ExitFor(opened);
}

// The lock guards a notebook against changes, here as in the window: a
// locked notebook is read by anyone, but changed only by whoever gives its
// password.
int UnlockForChange(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets) {
    if (!doc.IsLocked()) return kExitOk;
    if (!secrets.HasPassword())
        return Failure(strPath + " is locked; changing it needs its password: give it with --password-file FILE "
                                 "or --password-stdin");
    doc.Unlock(secrets.Password());
    if (!doc.IsLocked()) return kExitOk;
    std::fprintf(stderr, "clipvault-cli: %s: the password does not match; left unchanged\n", strPath.c_str());
    return kExitWrongPassword;
}

// A passphrase given for a plain notebook is not used. Saying so keeps a
// user from believing that what the command wrote is encrypted.
int OpenForChange(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets) {
    const int rc = OpenWhole(doc, strPath, secrets);
    if (rc != kExitOk) return rc;
    if (secrets.HasPassphrase() && !doc.IsEncrypted())
        std::fprintf(stderr, "clipvault-cli: %s is not encrypted; the passphrase was not used ('encrypt' "
                             "encrypts it)\n", strPath.c_str());
    return UnlockForChange(doc, strPath, secrets);
}

// Before the notebook has a file, Encrypt only gives it the key: the first
// save is encrypted already, and nothing plain is ever written.
int SealNew(CClipVaultDoc& doc, const CSecretOptions& secrets) {
    if (!secrets.HasPassphrase()) return kExitOk;
    return doc.Encrypt(secrets.Passphrase()) ? kExitOk : Refused();
}

int Save(CClipVaultDoc& doc) { return doc.OnSaveDocument(doc.GetPathName()) ? kExitOk : kExitFailed; }

// After a record operation said no: the core normally said why already.
int Refused() {
    if (!Messages().ErrorShown()) return Failure("the operation failed");
    return kExitFailed;
}

// Splits a category path into names. "" and "/" are the top category; one
// leading and one trailing '/' are allowed. False when a name is empty.
bool SplitPath(const std::string& strPath, std::vector<std::string>& names) {
    names.clear();
    std::string p = strPath;
    if (!p.empty() && p.front() == '/') p.erase(0, 1);
    if (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t slash = p.find('/', start);
        names.push_back(p.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (names.back().empty()) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

CNoteCata* FindCategory(CNoteCata& root, const std::vector<std::string>& names, size_t nCount) {
    CNoteCata* p = &root;
    for (size_t i = 0; i < nCount && p; ++i) p = p->GetSubCata(names[i]);
    return p;
}

CNote* FindNoteById(const CNoteCata& cata, uint32_t nID) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
        if (it.value()->m_nID == nID) return it.value();
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (CNote* p = FindNoteById(*it.value(), nID)) return p;
    return nullptr;
}

bool IsAllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A name for a new or renamed record. A '/' would make it unreachable by
// path, and an empty name cannot be told from the top category.
bool NameArg(const std::string& arg, std::string& out) {
    if (arg.empty()) {
        UsageError("a name cannot be empty");
        return false;
    }
    if (arg.find('/') != std::string::npos) {
        UsageError("a name cannot contain '/': " + arg);
        return false;
    }
    return ArgToAnsi(arg, out);
}

// A category given by path; reports and gives null when there is none.
CNoteCata* CategoryArg(CClipVaultDoc& doc, const std::string& arg) {
    std::string ansi;
    std::vector<std::string> names;
    if (!ArgToAnsi(arg, ansi)) return nullptr;
    CNoteCata* p = SplitPath(ansi, names) ? FindCategory(doc.m_rootCata, names, names.size()) : nullptr;
    if (!p) Failure("no category '" + arg + "'");
    return p;
}

CNoteBase* Item::Base() const { return pNote ? static_cast<CNoteBase*>(pNote) : pCata; }

bool ItemArg(CClipVaultDoc& doc, const std::string& arg, Item& item) {
    item = Item();
    if (IsAllDigits(arg)) {
        const unsigned long long n = std::strtoull(arg.c_str(), nullptr, 10);
        if (n <= UINT32_MAX) item.pNote = FindNoteById(doc.m_rootCata, static_cast<uint32_t>(n));
        if (!item.pNote) Failure("no note with id " + arg);
        return item.pNote != nullptr;
    }
    std::string ansi;
    std::vector<std::string> names;
    if (!ArgToAnsi(arg, ansi)) return false;
    if (SplitPath(ansi, names)) {
        item.pCata = FindCategory(doc.m_rootCata, names, names.size());
        if (!item.pCata && !names.empty()) {
            if (CNoteCata* pParent = FindCategory(doc.m_rootCata, names, names.size() - 1))
                item.pNote = pParent->GetNote(names.back());
        }
    }
    if (!item.Base()) Failure("no note or category '" + arg + "'");
    return item.Base() != nullptr;
}

namespace {

std::string IsoLocalDate(int64_t t) {
    const time_t tt = static_cast<time_t>(t);
    struct tm tmLocal;
    char buf[32];
    if (!localtime_r(&tt, &tmLocal) || !std::strftime(buf, sizeof buf, "%Y-%m-%d", &tmLocal)) return std::string();
    return buf;
}

constexpr size_t kDumpChunk = 1 << 20;

void DumpNote(JsonWriter& w, const std::string& key, const CNote& note) {
    w.BeginObject();
    w.Key("id");
    w.Number(note.m_nID);
    w.Key("name");
    w.String(AnsiToJsonText(note.m_strName));
    // Only a crafted file files a note under another name than its own.
    if (key != note.m_strName) {
        w.Key("key");
        w.String(AnsiToJsonText(key));
    }
    w.Key("ext");
    w.String(AnsiToJsonText(note.m_strExt));
    w.Key("status");
    w.Number(note.m_nStatus.load());
    w.Key("content_type");
    w.Number(note.m_nContentType);
    w.Key("source_kind");
    w.Number(note.m_nSourceKind);
    w.Key("source");
    w.String(AnsiToJsonText(note.m_strSource));
    w.Key("date");
    w.Number(note.m_tmDate);
    w.Key("date_iso");
    const std::string iso = IsoLocalDate(note.m_tmDate);
    if (iso.empty()) w.Null();
    else w.String(iso);
    w.Key("content_size");
    w.Number(static_cast<uint64_t>(note.ContentSize()));
    w.Key("attachments");
    w.BeginArray();
    for (const std::string& name : note.m_attachNames) w.String(AnsiToJsonText(name));
    w.EndArray();
    w.EndObject();
}

void DumpCategory(JsonWriter& w, const std::string& key, const CNoteCata& cata) {
    w.BeginObject();
    w.Key("name");
    w.String(AnsiToJsonText(cata.m_strName));
    if (key != cata.m_strName) {
        w.Key("key");
        w.String(AnsiToJsonText(key));
    }
    w.Key("notes");
    w.BeginArray();
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) {
        DumpNote(w, it.key(), *it.value());
        if (w.Text().size() >= kDumpChunk) std::fputs(w.Drain().c_str(), stdout);
    }
    w.EndArray();
    w.Key("categories");
    w.BeginArray();
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        DumpCategory(w, it.key(), *it.value());
    w.EndArray();
    w.EndObject();
}

// `new --force` replaces a file. A locked notebook goes only with its
// password; a file that is not a notebook has no lock to honour.
int MayReplace(const std::string& strPath, const CSecretOptions& secrets) {
    CClipVaultDoc old;
    if (vault::IsEncryptedFile(strPath)) return OpenForChange(old, strPath, secrets);
    Messages().Hold();
    const bool bRead = old.OnOpenDocument(strPath);
    Messages().DropHeld();
    Messages().Reset();
    return bRead ? UnlockForChange(old, strPath, secrets) : kExitOk;
}

}  // namespace

int CmdNew(CliArgs& args) {
    CliOption force{"--force", false};
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&force}))) return kExitUsage;
    if (args.words.size() != 1) return UsageError("new needs FILE.vlt");
    const std::string& path = args.words[0];
    // The core opens only ".vlt" files, so anything else could not be read back.
    if (!HasNotebookExtension(path)) {
        host::ShowMessage(ids::IDS_NOT_A_NOTEBOOK, host::MB_OK | host::MB_ICONEXCLAMATION, {path});
        return kExitFailed;
    }
    const bool bExists = fileutil::PathExists(path);
    if (!force.present && bExists) return Failure(path + " exists (--force replaces it)");
    if (const int rc = secrets.Read()) return rc;
    if (bExists)
        if (const int rc = MayReplace(path, secrets)) return rc;
    CClipVaultDoc doc;
    if (!doc.OnNewDocument()) return Refused();
    if (const int rc = SealNew(doc, secrets)) return rc;
    return doc.OnSaveDocument(path) ? kExitOk : kExitFailed;
}

int CmdDump(CliArgs& args) {
    CSecretOptions secrets(false);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 1) return UsageError("dump needs FILE.vlt");
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    const Opened opened = OpenNotebook(doc, args.words[0], secrets, "printed what was read before the damage");
    if (opened != Opened::ok && opened != Opened::damaged) return ExitFor(opened);

    JsonWriter w;
    w.BeginObject();
    w.Key("file_version");
    w.Number(doc.m_nFileVersion);
    w.Key("next_id");
    w.Number(doc.m_nNextID);
    w.Key("encrypted");
    w.Bool(doc.IsEncrypted());
    w.Key("password");
    w.BeginObject();
    w.Key("set");
    w.Bool(doc.m_password.HasPassword());
    w.Key("stored_length");
    w.Number(doc.m_password.GetStoredLength());
    w.EndObject();
    w.Key("reserved_1");
    w.String(AnsiToJsonText(doc.m_strReserved1));
    w.Key("reserved_2");
    w.String(AnsiToJsonText(doc.m_strReserved2));
    w.Key("root");
    DumpCategory(w, doc.m_rootCata.m_strName, doc.m_rootCata);
    w.Key("attachments");
    w.BeginArray();
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it) {
        const CNoteAttatch& a = *it.value();
        w.BeginObject();
        w.Key("name");
        w.String(AnsiToJsonText(a.m_strName));
        if (it.key() != a.m_strName) {
            w.Key("key");
            w.String(AnsiToJsonText(it.key()));
        }
        w.Key("origin");
        w.String(AnsiToJsonText(a.m_strOrigin));
        w.Key("size");
        w.Number(static_cast<uint64_t>(a.DataSize()));
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    std::fputs(w.Text().c_str(), stdout);
    return opened == Opened::damaged ? kExitDamaged : kExitOk;
}

int CmdAddCategory(CliArgs& args) {
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 2) return UsageError("add-category needs FILE.vlt PATH");
    std::string ansi;
    std::vector<std::string> names;
    if (!ArgToAnsi(args.words[1], ansi)) return kExitUsage;
    if (!SplitPath(ansi, names)) return UsageError("bad category path '" + args.words[1] + "'");
    if (names.empty()) return UsageError("add-category needs the name of the category to add");

    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, args.words[0], secrets)) return rc;
    CNoteCata* pParent = FindCategory(doc.m_rootCata, names, names.size() - 1);
    if (!pParent) return Failure("no parent category for '" + args.words[1] + "' (parents are not made)");
    if (!pParent->AddNewSubCata(names.back())) return Refused();
    return Save(doc);
}

int CmdAddNote(CliArgs& args) {
    CliOption ext{"--ext", true}, content{"--content", true}, source{"--source", true};
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&ext, &content, &source}))) return kExitUsage;
    if (args.words.size() != 3) return UsageError("add-note needs FILE.vlt CATEGORY-PATH NAME");
    std::string name, strExt, strSource;
    if (!NameArg(args.words[2], name)) return kExitUsage;
    if (ext.present) {
        const std::string e = !ext.value.empty() && ext.value[0] == '.' ? ext.value.substr(1) : ext.value;
        if (!ArgToAnsi(e, strExt)) return kExitUsage;
    }
    if (source.present && !ArgToAnsi(source.value, strSource)) return kExitUsage;
    std::vector<uint8_t> bytes;
    if (content.present && !fileutil::ReadWholeFile(content.value, bytes))
        return Failure("cannot read " + content.value);

    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, args.words[0], secrets)) return rc;
    CNoteCata* pCata = CategoryArg(doc, args.words[1]);
    if (!pCata) return kExitFailed;
    CNote* pNote = pCata->AddNewNote(name);
    if (!pNote) return Refused();
    pNote->m_strExt = strExt;
    pNote->m_strSource = strSource;
    pNote->SetContent(std::move(bytes));
    const int rc = Save(doc);
    if (rc == kExitOk) std::printf("%u\n", pNote->m_nID);
    return rc;
}

int CmdRename(CliArgs& args) {
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 3) return UsageError("rename needs FILE.vlt ID|PATH NEWNAME");
    std::string newName;
    if (!NameArg(args.words[2], newName)) return kExitUsage;
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, args.words[0], secrets)) return rc;
    Item item;
    if (!ItemArg(doc, args.words[1], item)) return kExitFailed;
    if (item.pCata == &doc.m_rootCata) return Failure("the top category has no name to change");
    const bool ok = item.pNote ? item.pNote->Rename(newName) : item.pCata->Rename(newName);
    return ok ? Save(doc) : Refused();
}

int CmdDelete(CliArgs& args) {
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 2) return UsageError("delete needs FILE.vlt ID|PATH");
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, args.words[0], secrets)) return rc;
    Item item;
    if (!ItemArg(doc, args.words[1], item)) return kExitFailed;
    if (item.pCata == &doc.m_rootCata) return Failure("the top category cannot be deleted");
    Messages().Reset();
    doc.DeleteItem(item.Base());
    return Messages().ErrorShown() ? kExitFailed : Save(doc);
}

int CmdMove(CliArgs& args) {
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 3) return UsageError("move needs FILE.vlt ID|PATH TARGET-CATEGORY-PATH");
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, args.words[0], secrets)) return rc;
    Item item;
    if (!ItemArg(doc, args.words[1], item)) return kExitFailed;
    CNoteCata* pTarget = CategoryArg(doc, args.words[2]);
    if (!pTarget) return kExitFailed;

    if (CNote* pNote = item.pNote) {
        CNoteCata* pFrom = pNote->m_pParent;
        if (!pFrom || pFrom->DetachNote(pNote->m_strName) != pNote) return Failure("the operation failed");
        // Unique names cannot be refused, so the note always lands.
        pTarget->AttachNote(pNote, pNote->m_strName, true);
        return Save(doc);
    }
    CNoteCata* pCata = item.pCata;
    if (pCata == &doc.m_rootCata) return Failure("the top category cannot be moved");
    if (pTarget == pCata || pTarget->IsInside(pCata))
        return Failure("a category cannot be moved into itself or one of its subcategories");
    CNoteCata* pFrom = pCata->m_pParent;
    if (!pFrom || pFrom->DetachSubCata(pCata) != pCata) return Failure("the operation failed");
    pTarget->AttachSubCata(pCata, pCata->m_strName, true);
    return Save(doc);
}

int CmdPassword(CliArgs& args) {
    CliOption set{"--set", true}, check{"--check", true}, remove{"--remove", false};
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&set, &check, &remove}))) return kExitUsage;
    if (args.words.size() != 1 || set.present + check.present + remove.present != 1)
        return UsageError("password needs FILE.vlt and one of --set TEXT, --check TEXT, --remove");
    std::string text;
    if (set.present) {
        // An empty password is how the core removes one; say so plainly instead.
        if (set.value.empty()) return UsageError("--set needs a non-empty password (--remove removes it)");
        if (!ArgToAnsi(set.value, text)) return kExitUsage;
    }
    if (check.present && !ArgToAnsi(check.value, text)) return kExitUsage;

    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    // Testing a password is reading; only setting or removing one needs the
    // current one.
    if (const int rc = OpenWhole(doc, args.words[0], secrets)) return rc;
    if (check.present) {
        const bool bMatch = doc.CheckPassword(text);
        std::puts(bMatch ? "match" : "no match");
        return bMatch ? kExitOk : kExitFailed;
    }
    if (const int rc = UnlockForChange(doc, args.words[0], secrets)) return rc;
    doc.SetPassword(set.present ? text : std::string());
    return Save(doc);
}

}  // namespace cli
