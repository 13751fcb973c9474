// Reads arbitrary bytes as the record part of a notebook: the root category's
// fields, then attachments until the data ends. Whatever was read must then
// write and read back cleanly, and two write/read cycles must give the same
// bytes again (each cycle reverses the order within a name-map bucket).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_set>
#include <vector>

#include "document/Archive.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"

namespace {

class SilentHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned, unsigned nType, const std::vector<std::string>&) override {
        return host::CautiousAnswer(nType);
    }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

void ConfigureLoad(CArchive& ar, CClipVaultDoc& doc) {
    size_t n = 0;
    const CRuntimeClass* const* classes = NotebookClasses(&n);
    ar.SetClassTable(classes, n);
    ar.m_pDocument = &doc;
}

std::vector<uint8_t> StoreRoot(CClipVaultDoc& doc) {
    CMemorySink sink;
    CArchive ar(sink);
    ar.m_pDocument = &doc;
    doc.m_rootCata.Serialize(ar);
    ar.Flush();
    return sink.Data();
}

void CollectNotes(const CNoteCata* c, std::unordered_set<const CNote*>& out) {
    for (auto it = c->m_notes.begin(); it != c->m_notes.end(); ++it) {
        Check(it.value()->m_pParent == c, "note parent");
        out.insert(it.value());
    }
    for (auto it = c->m_subCatas.begin(); it != c->m_subCatas.end(); ++it) {
        Check(it.value()->m_pParent == c, "category parent");
        CollectNotes(it.value(), out);
    }
}

// Every listed note must be a note of the tree: a dangling entry would be
// used by the download machinery later.
void CheckPending(const CClipVaultDoc& doc) {
    std::unordered_set<const CNote*> inTree;
    CollectNotes(&doc.m_rootCata, inTree);
    for (const CNote* p : doc.m_pendingNotes) Check(inTree.count(p) == 1, "listed note is in the tree");
}

std::vector<uint8_t> Cycle(const std::vector<uint8_t>& bytes) {
    CClipVaultDoc doc;
    CMemorySource src(bytes.data(), bytes.size());
    {
        CArchive ar(src);
        ConfigureLoad(ar, doc);
        try {
            doc.m_rootCata.Serialize(ar);
        } catch (CArchiveException&) {
            Check(false, "bytes written by the program read back");
        }
        Check(ar.Remaining() == 0, "nothing left over");
        doc.ReleaseDiscarded(ar);
    }
    CheckPending(doc);
    return StoreRoot(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentHost silent;
    host::SetMessageHost(&silent);

    CClipVaultDoc doc;
    std::vector<std::unique_ptr<CObject>> extra;
    {
        CMemorySource src(data, size);
        CArchive ar(src);
        ConfigureLoad(ar, doc);
        try {
            doc.m_rootCata.Serialize(ar);
            while (ar.Remaining() > 0) {
                bool bNew = false;
                CObject* p = ar.ReadObject(&CNoteAttatch::classCNoteAttatch, &bNew);
                if (bNew) extra.emplace_back(p);
            }
        } catch (CArchiveException& e) {
            e.TakePartial();
        }
        doc.ReleaseDiscarded(ar);
    }
    CheckPending(doc);

    const std::vector<uint8_t> b1 = StoreRoot(doc);
    const std::vector<uint8_t> b2 = Cycle(b1);
    const std::vector<uint8_t> b3 = Cycle(b2);
    Check(b1.size() == b2.size(), "a cycle keeps the size");
    Check(b1 == b3, "two cycles give the same bytes");
    return 0;
}
