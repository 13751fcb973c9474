// Opens arbitrary bytes as a notebook file, saves what was read and opens
// the saved file again (bytes that carry the encrypted-notebook magic are
// only refused: nothing asks for a passphrase here). Whatever a damaged file yields must save to a file
// that reads back without damage, and saving that gives a file of the same
// size (a cycle only reverses the order within a name-map bucket).
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "document/ClipVaultDoc.h"

namespace {

off_t SizeOf(const std::string& path) {
    struct stat st;
    fuzz::Check(stat(path.c_str(), &st) == 0, "saved file exists");
    return st.st_size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InstallSilentHost();
    static fuzz::WorkFolder work("notebook_fuzz");
    static const std::string in = work.File("in.vlt");
    static const std::string out = work.File("out.vlt");
    static const std::string again = work.File("again.vlt");
    fuzz::WriteFile(in, data, size);

    // An encrypted notebook is refused without its passphrase, never read
    // as a damaged plain one; its reader has a target of its own.
    if (vault::HasMagic(data, size)) {
        CClipVaultDoc doc;
        fuzz::Check(!doc.OnOpenDocument(in), "an encrypted notebook needs its passphrase");
        return 0;
    }
    {
        CClipVaultDoc doc;
        fuzz::Check(doc.OnOpenDocument(in), "an existing file opens");
        fuzz::Check(doc.OnSaveDocument(out), "what was read saves");
    }
    CClipVaultDoc back;
    fuzz::Check(back.OnOpenDocument(out), "the saved file opens");
    fuzz::Check(back.m_nLoadError == -1, "the saved file reads without damage");
    fuzz::Check(back.OnSaveDocument(again), "the re-read notebook saves");
    fuzz::Check(SizeOf(again) == SizeOf(out), "a cycle keeps the size");
    return 0;
}
