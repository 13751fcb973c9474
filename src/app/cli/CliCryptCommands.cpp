// encrypt and decrypt: a notebook put under a passphrase, its passphrase
// changed, or made plain again. The core writes each through its atomic
// save, so the file on disk is always either the old notebook or the new.
#include <string>

#include "app/AppOptions.h"
#include "app/cli/CliCommon.h"
#include "app/cli/CliNotebook.h"
#include "document/ClipVaultDoc.h"
#include "document/NotebookCipher.h"

namespace cli {

int CmdEncrypt(CliArgs& args) {
    CliOption newFile{"--new-passphrase-file", true}, options{"--options", true};
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({&newFile, &options}))) return kExitUsage;
    if (args.words.size() != 1) return UsageError("encrypt needs FILE.vlt");
    const std::string& path = args.words[0];
    if (const int rc = secrets.Read()) return rc;
    if (!secrets.HasPassphrase())
        return UsageError("encrypt needs a passphrase: --passphrase-file FILE or --passphrase-stdin");

    // On an encrypted notebook the passphrase given opens it, and the new one
    // comes from its own file; on a plain one the passphrase given is the new
    // one, and a second would be a mistake about what the file is.
    const bool bSealed = vault::IsEncryptedFile(path);
    std::string strNew;
    struct Wiped {
        std::string& s;
        ~Wiped() { WipeSecret(s); }
    } wiped{strNew};
    if (bSealed && !newFile.present)
        return UsageError(path + " is encrypted already; to change its passphrase give the new one with "
                                 "--new-passphrase-file FILE");
    if (!bSealed && newFile.present)
        return UsageError(path + " is not encrypted; its new passphrase comes from --passphrase-file or "
                                 "--passphrase-stdin");
    if (newFile.present) {
        if (const int rc = ReadPassphrase(newFile.value, strNew)) return rc;
    } else {
        strNew = secrets.Passphrase();
    }

    CClipVaultDoc doc;
    if (const int rc = OpenWhole(doc, path, secrets)) return rc;
    if (const int rc = UnlockForChange(doc, path, secrets)) return rc;
    if (!doc.Encrypt(strNew)) return Refused();
    // The search index holds the notebook's texts in plain.
    RemoveSearchIndex(path, options.present ? options.value : CAppOptions::DefaultOptionsPath());
    return kExitOk;
}

int CmdDecrypt(CliArgs& args) {
    CSecretOptions secrets(true);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 1) return UsageError("decrypt needs FILE.vlt");
    const std::string& path = args.words[0];
    if (const int rc = secrets.Read()) return rc;
    if (!vault::IsEncryptedFile(path)) {
        // A missing or unreadable file is said as the opening says it.
        CClipVaultDoc doc;
        if (const int rc = OpenWhole(doc, path, secrets)) return rc;
        return Failure(path + " is not encrypted");
    }
    CClipVaultDoc doc;
    if (const int rc = OpenForChange(doc, path, secrets)) return rc;
    return doc.RemoveEncryption() ? kExitOk : Refused();
}

}  // namespace cli
