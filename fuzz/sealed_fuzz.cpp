// Reads arbitrary bytes as an encrypted notebook: header, chunks and
// trailer. Whatever the bytes, the reader refuses or decrypts without a
// fault; what it decrypts under the fuzz key is then read as a notebook.
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/Archive.h"
#include "document/ClipVaultDoc.h"
#include "document/NotebookCipher.h"
#include "FuzzSupport.h"
#include "SealedSeedKey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (fuzz::InstallSilentHost(), true);
    (void)quiet;
    static const std::unique_ptr<vault::CVaultKey> key = fuzzseeds::SealedSeedKey();
    fuzz::Check(key != nullptr, "the fuzz key");

    const vault::CDecryptResult res = vault::DecryptBytes(data, size, key->Bytes());
    if (res.refusal != vault::Refusal::none) {
        fuzz::Check(res.nMemFd < 0, "a refusal leaves nothing open");
        return 0;
    }
    fuzz::Check(res.nMemFd >= 0, "a decrypted notebook is in memory");
    const off_t n = ::lseek(res.nMemFd, 0, SEEK_END);
    fuzz::Check(n >= 0 && uint64_t(n) < size, "the plain notebook is smaller than the sealed one");
    ::lseek(res.nMemFd, 0, SEEK_SET);
    try {
        CFileSource src(res.nMemFd);
        CArchive ar(src);
        CClipVaultDoc doc;
        size_t nClasses = 0;
        const CRuntimeClass* const* classes = NotebookClasses(&nClasses);
        ar.SetClassTable(classes, nClasses);
        ar.m_pDocument = &doc;
        doc.Serialize(ar);
    } catch (const CArchiveException&) {
    }
    ::close(res.nMemFd);
    return 0;
}
