// An encrypted notebook reads back exactly, holds none of its text in the
// clear, and every kind of damage is refused whole with its own reason while
// the file stays as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "document/ClipVaultDoc.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "support/TestSupport.h"

namespace {

const char kMarker[] = "ZEBRAMARKER-7731";

struct CAnswers : IPassphraseAsker {
    std::vector<std::string> m_answers;
    int m_nAsked = 0;
    bool AskPassphrase(const std::string&, int nAttempt, std::string& out) override {
        EXPECT_EQ(nAttempt, m_nAsked + 1);
        if (size_t(m_nAsked) >= m_answers.size()) return false;
        out = m_answers[size_t(m_nAsked++)];
        return true;
    }
};

Bytes Read(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b));
    return b;
}

void Write(const std::string& path, const Bytes& b) { ASSERT_TRUE(fileutil::WriteWholeFile(path, b.data(), b.size())); }

bool Holds(const Bytes& b, const std::string& text) {
    return std::search(b.begin(), b.end(), text.begin(), text.end()) != b.end();
}

// A page note with the marker and an attachment of several chunks, encrypted.
std::string MakeSealed(const TempDir& dir, const std::string& name, const std::string& pass) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    CNote* note = doc.m_rootCata.AddNewSubCata("cat")->AddNewNote("page");
    const std::string html = std::string("<p>") + kMarker + "</p>";
    note->SetContent(Bytes(html.begin(), html.end()));
    Bytes big(700 * 1024);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 + i / 251);
    doc.MakeAttachment("vlta.bin", "http://h/a.bin", big);
    const std::string path = dir.File(name);
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_TRUE(doc.Encrypt(pass, vault::MinimalLimits()));
    EXPECT_TRUE(doc.IsEncrypted());
    return path;
}

// Opens with the given answers; the refusal and the messages shown.
vault::Refusal TryOpen(const std::string& path, std::vector<std::string> answers, RecordingHost& host,
                       int* pAsked = nullptr) {
    CAnswers asker;
    asker.m_answers = std::move(answers);
    CClipVaultDoc doc;
    doc.SetPassphraseAsker(&asker);
    const bool ok = doc.OnOpenDocument(path);
    if (pAsked) *pAsked = asker.m_nAsked;
    EXPECT_EQ(ok, doc.m_lastRefusal == vault::Refusal::none);
    (void)host;
    return doc.m_lastRefusal;
}

}  // namespace

TEST(EncryptedNotebook, RoundTripsAndKeepsNothingInTheClear) {
    TempDir dir;
    RecordingHost host;
    const std::string path = MakeSealed(dir, "book.vlt", "right horse");
    const Bytes sealed = Read(path);
    EXPECT_TRUE(vault::IsEncryptedFile(path));
    EXPECT_FALSE(Holds(sealed, kMarker));
    EXPECT_FALSE(Holds(sealed, "VLTFILEVERSION"));
    EXPECT_FALSE(Holds(sealed, "vlta.bin"));

    {
        CAnswers asker;
        asker.m_answers = {"wrong", "right horse"};
        CClipVaultDoc doc;
        doc.SetPassphraseAsker(&asker);
        ASSERT_TRUE(doc.OnOpenDocument(path));
        EXPECT_EQ(asker.m_nAsked, 2);
        EXPECT_TRUE(doc.IsEncrypted());
        EXPECT_FALSE(doc.IsDamaged());
        CNote* note = doc.m_rootCata.m_subCatas.begin().value()->m_notes.begin().value();
        const Bytes& page = note->Content();
        EXPECT_TRUE(Holds(page, kMarker));
        ASSERT_NE(doc.FindAttachment("vlta.bin"), nullptr);
        EXPECT_EQ(doc.FindAttachment("vlta.bin")->Data().size(), 700u * 1024);
        // The autosave seals afresh: another nonce, the same notebook.
        doc.m_rootCata.AddNewNote("second");
        doc.MarkModified(true);
        ASSERT_TRUE(doc.AutoSave());
        const Bytes again = Read(path);
        EXPECT_NE(again, sealed);
        EXPECT_FALSE(Holds(again, kMarker));
        ASSERT_TRUE(doc.Encrypt("new one", vault::MinimalLimits()));
    }
    // The old passphrase no longer opens it; giving up after it shows
    // nothing more (the user who cancelled knows).
    host.m_ids.clear();
    EXPECT_EQ(TryOpen(path, {"right horse"}, host), vault::Refusal::wrongPassphrase);
    EXPECT_TRUE(host.m_ids.empty());
    {
        CAnswers asker;
        asker.m_answers = {"new one"};
        CClipVaultDoc doc;
        doc.SetPassphraseAsker(&asker);
        ASSERT_TRUE(doc.OnOpenDocument(path));
        EXPECT_EQ(doc.m_rootCata.m_notes.GetCount(), 1u);
        ASSERT_TRUE(doc.RemoveEncryption());
        EXPECT_FALSE(doc.IsEncrypted());
    }
    EXPECT_FALSE(vault::IsEncryptedFile(path));
    EXPECT_TRUE(Holds(Read(path), kMarker));
    CClipVaultDoc plain;
    ASSERT_TRUE(plain.OnOpenDocument(path));
    EXPECT_FALSE(plain.IsEncrypted());
}

TEST(EncryptedNotebook, EachKindOfDamageIsRefusedWholeWithItsOwnReason) {
    TempDir dir;
    RecordingHost host;
    const std::string path = MakeSealed(dir, "book.vlt", "pw");
    const std::string other = MakeSealed(dir, "other.vlt", "pw");
    const Bytes good = Read(path);
    const size_t kHeader = 108;

    // Wrong three times: asked three times, then given up with a message.
    int asked = 0;
    host.m_ids.clear();
    EXPECT_EQ(TryOpen(path, {"a", "b", "c", "pw"}, host, &asked), vault::Refusal::wrongPassphrase);
    EXPECT_EQ(asked, CClipVaultDoc::kPassphraseTries);
    ASSERT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_SEALED_NOT_OPENED});
    // No asker at all: told that it is encrypted.
    {
        CClipVaultDoc doc;
        host.m_ids.clear();
        EXPECT_FALSE(doc.OnOpenDocument(path));
        EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_SEALED_NEEDS_PASSPHRASE});
    }

    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        vault::Refusal expected;
    };
    const Bytes foreign = Read(other);
    const std::vector<Case> cases = {
        {"first chunk", [&](Bytes& b) { b[kHeader + 10] ^= 1; }, vault::Refusal::damagedChunk},
        {"middle chunk", [&](Bytes& b) { b[b.size() / 2] ^= 0x80; }, vault::Refusal::damagedChunk},
        {"last chunk", [&](Bytes& b) { b[b.size() - 30] ^= 4; }, vault::Refusal::damagedChunk},
        {"salt", [&](Bytes& b) { b[40] ^= 1; }, vault::Refusal::damagedHeader},
        {"version", [&](Bytes& b) { b[12] = 9; }, vault::Refusal::unknownVersion},
        {"cut in a chunk", [&](Bytes& b) { b.resize(b.size() / 3); }, vault::Refusal::cutShort},
        {"cut before the trailer", [&](Bytes& b) { b.resize(b.size() - 24); }, vault::Refusal::cutShort},
        {"cut in the header", [&](Bytes& b) { b.resize(60); }, vault::Refusal::cutShort},
        {"foreign header", [&](Bytes& b) { std::copy(foreign.begin(), foreign.begin() + kHeader, b.begin()); },
         vault::Refusal::foreignHeader},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        c.change(b);
        Write(path, b);
        host.m_ids.clear();
        EXPECT_EQ(TryOpen(path, {"pw"}, host), c.expected) << c.what;
        EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_SEALED_NOT_OPENED}) << c.what;
        EXPECT_EQ(Read(path), b) << c.what << ": the file must stay as it is";
    }
    Write(path, good);
    EXPECT_EQ(TryOpen(path, {"pw"}, host), vault::Refusal::none);
}

TEST(EncryptedNotebook, AnOutputThatFailsMidwayEndsTheSaveWithItsFault) {
    // The disk fills while the worker seals: the writer learns of it, and a
    // writer that fails on its own leaves no worker behind.
    struct CFilling : CByteSink {
        size_t m_nRoom;
        explicit CFilling(size_t n) : m_nRoom(n) {}
        void Write(const void*, size_t n) override {
            if (n > m_nRoom) throw CArchiveException(CArchiveException::writeFault, ENOSPC);
            m_nRoom -= n;
        }
    };
    const std::unique_ptr<vault::CVaultKey> key = vault::CVaultKey::Create("pw", vault::MinimalLimits());
    ASSERT_TRUE(key);
    const Bytes data(300000, 'x');
    for (size_t room : {size_t(50), size_t(20000), size_t(150000)}) {
        CFilling out(room);
        try {
            vault::CEncryptingSink sink(out, *key, 4096);
            for (size_t at = 0; at < data.size(); at += 1000) sink.Write(data.data() + at, 1000);
            sink.Finish();
            ADD_FAILURE() << "a full disk went unnoticed with room for " << room;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::writeFault);
            EXPECT_EQ(e.m_nErrno, ENOSPC);
        }
    }
    CFilling roomy(1 << 20);
    vault::CEncryptingSink abandoned(roomy, *key, 4096);
    abandoned.Write(data.data(), data.size());
}
