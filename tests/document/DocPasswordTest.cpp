#include "document/DocPassword.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "document/DesCipher.h"
#include "support/TestSupport.h"

namespace {

Bytes FromHex(const std::string& hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::string StrFromHex(const std::string& hex) {
    const Bytes b = FromHex(hex);
    return std::string(b.begin(), b.end());
}

CDocPassword Load(const Bytes& bytes) {
    LoadArchive la(bytes);
    CDocPassword pw;
    pw.Serialize(la.m_ar);
    return pw;
}

}  // namespace

// Published vectors: the classic worked example, the FIPS 81 sample, and
// entries of the NBS variable-plaintext, variable-key and S-box tables.
TEST(DesCipher, KnownAnswers) {
    struct Kat {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Kat kats[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
        {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
        {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
    };
    for (const Kat& k : kats) {
        SCOPED_TRACE(k.key);
        const CDesCipher des(FromHex(k.key).data());
        const Bytes plain = FromHex(k.plain), cipher = FromHex(k.cipher);
        Bytes out(8);
        des.EncipherBlock(plain.data(), out.data());
        EXPECT_EQ(cipher, out);
        des.DecipherBlock(cipher.data(), out.data());
        EXPECT_EQ(plain, out);
    }
    // Parity bits do not take part: flipping every low bit changes nothing.
    const CDesCipher a(FromHex("133457799BBCDFF1").data()), b(FromHex("123556789ABDDEF0").data());
    const Bytes plain = FromHex("0123456789ABCDEF");
    Bytes outA(8), outB(8);
    a.EncipherBlock(plain.data(), outA.data());
    b.EncipherBlock(plain.data(), outB.data());
    EXPECT_EQ(outA, outB);
}

TEST(DesCipher, EcbWorksBlockByBlockInPlace) {
    const CDesCipher des(FromHex("0123456789ABCDEF").data());
    Bytes buf = FromHex("4E6F7720697320744E6F77206973207400000000000000FF");
    const Bytes clear = buf;
    des.EncipherEcb(buf.data(), buf.size());
    EXPECT_EQ(FromHex("3FA40E8A984D48153FA40E8A984D4815"), Bytes(buf.begin(), buf.begin() + 16));
    des.DecipherEcb(buf.data(), buf.size());
    EXPECT_EQ(clear, buf);

    Bytes partial(12);
    EXPECT_THROW(des.EncipherEcb(partial.data(), partial.size()), std::invalid_argument);
    EXPECT_THROW(des.DecipherEcb(partial.data(), partial.size()), std::invalid_argument);
}

// Expected bytes were computed independently: DES-ECB under "mistfarn" of the
// password padded with zeros to whole blocks.
TEST(DocPassword, StoredFormMatchesCipherOfPaddedPassword) {
    CDocPassword pw;
    pw.SetPassword("password");  // a full block: the terminating zero needs a second one
    EXPECT_EQ(StrFromHex("9E0C47AFC5E9C0F24917E3F984143097"), pw.GetEnciphered());
    EXPECT_EQ(8u, pw.GetStoredLength());
    EXPECT_TRUE(pw.IsLocked());
    EXPECT_TRUE(pw.HasPassword());

    pw.SetPassword("pass123");
    EXPECT_EQ(StrFromHex("B5E1106B8F4362FB"), pw.GetEnciphered());
    EXPECT_EQ(7u, pw.GetStoredLength());

    pw.SetPassword("");
    EXPECT_FALSE(pw.HasPassword());
    EXPECT_FALSE(pw.IsLocked());
    EXPECT_EQ("", pw.GetEnciphered());
    EXPECT_EQ(0u, pw.GetStoredLength());
}

TEST(DocPassword, CheckAndUnlock) {
    CDocPassword pw;
    // No password: nothing to unlock, and no text may lock it.
    EXPECT_TRUE(pw.CheckPassword(""));
    EXPECT_FALSE(pw.CheckPassword("x"));
    pw.Unlock("x");
    EXPECT_FALSE(pw.IsLocked());

    for (const std::string p : {"pass123", "password", "a much longer pass phrase"}) {
        SCOPED_TRACE(p);
        pw.SetPassword(p);
        EXPECT_TRUE(pw.CheckPassword(p));
        EXPECT_FALSE(pw.CheckPassword(p.substr(0, p.size() - 1)));
        EXPECT_FALSE(pw.CheckPassword(p + "x"));
        EXPECT_FALSE(pw.CheckPassword(p + std::string(1, '\0')));
        EXPECT_FALSE(pw.CheckPassword(""));
        pw.Unlock("wrong");
        EXPECT_TRUE(pw.IsLocked());
        pw.Unlock(p);
        EXPECT_FALSE(pw.IsLocked());
    }
    EXPECT_FALSE(pw.CheckPassword("A MUCH LONGER PASS PHRASE"));

    // The stored form cannot hold a zero byte: what follows one is dropped
    // rather than making a password nothing matches.
    pw.SetPassword(std::string("ab\0cd", 5));
    EXPECT_EQ(2u, pw.GetStoredLength());
    EXPECT_TRUE(pw.CheckPassword("ab"));
    pw.SetPassword(std::string("\0cd", 3));
    EXPECT_FALSE(pw.HasPassword());
}

TEST(DocPassword, SerializeRoundTrip) {
    CDocPassword pw;
    pw.SetPassword("password");
    pw.Unlock("password");
    const Bytes stored = StoreBytes([&](CArchive& ar) { pw.Serialize(ar); });
    EXPECT_EQ(Concat({{0x10}, FromHex("9E0C47AFC5E9C0F24917E3F984143097"), U32(8)}), stored);

    const CDocPassword back = Load(stored);
    EXPECT_TRUE(back.IsLocked());  // a loaded notebook with a password starts locked
    EXPECT_EQ(8u, back.GetStoredLength());
    EXPECT_TRUE(back.CheckPassword("password"));

    const CDocPassword none = Load(Concat({{0x00}, U32(0)}));
    EXPECT_FALSE(none.HasPassword());
    EXPECT_FALSE(none.IsLocked());

    // A file cut between the two fields leaves the password as it was.
    CDocPassword cut;
    LoadArchive la(Concat({{0x10}, FromHex("9E0C47AFC5E9C0F24917E3F984143097"), {0x08, 0x00}}));
    EXPECT_THROW(cut.Serialize(la.m_ar), CArchiveException);
    EXPECT_FALSE(cut.HasPassword());
    EXPECT_FALSE(cut.IsLocked());
}

TEST(DocPassword, HostileStoredLengthFailsCheck) {
    const Bytes cipher = FromHex("9E0C47AFC5E9C0F24917E3F984143097");  // "password"
    for (uint32_t n : {16u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(n);
        const CDocPassword pw = Load(Concat({{0x10}, cipher, U32(n)}));
        EXPECT_TRUE(pw.IsLocked());
        EXPECT_FALSE(pw.CheckPassword("password"));
        EXPECT_FALSE(pw.CheckPassword(""));
    }
    // Any length within the stored blocks reads as before.
    EXPECT_TRUE(Load(Concat({{0x10}, cipher, U32(15)})).CheckPassword("password"));
}

TEST(UnlockPrompt, EmptyWrongAndRightEntries) {
    RecordingHost host;
    CDocPassword pw;
    pw.SetPassword("secret");

    CUnlockPrompt prompt(pw);
    EXPECT_EQ(CUnlockPrompt::keepOpen, prompt.OnOk(""));
    EXPECT_EQ(0, prompt.Failures());  // an empty entry is not a failure
    EXPECT_EQ(CUnlockPrompt::keepOpen, prompt.OnOk("Secret"));
    EXPECT_EQ(CUnlockPrompt::keepOpen, prompt.OnOk("secret "));
    EXPECT_EQ(CUnlockPrompt::unlocked, prompt.OnOk("secret"));
    EXPECT_FALSE(pw.IsLocked());
    const std::vector<unsigned> expected = {ids::IDS_PASSWORD_EMPTY, ids::IDS_PASSWORD_WRONG, ids::IDS_PASSWORD_WRONG};
    EXPECT_EQ(expected, host.m_ids);

    pw.SetPassword("secret");
    host.m_ids.clear();
    CUnlockPrompt again(pw);
    EXPECT_EQ(CUnlockPrompt::keepOpen, again.OnOk("a"));
    EXPECT_EQ(CUnlockPrompt::keepOpen, again.OnOk("b"));
    EXPECT_EQ(CUnlockPrompt::giveUp, again.OnOk("c"));
    EXPECT_TRUE(pw.IsLocked());
    EXPECT_EQ(std::vector<unsigned>(3, ids::IDS_PASSWORD_WRONG), host.m_ids);
    // Once given up, the prompt is done: no more messages, no late unlock.
    EXPECT_EQ(CUnlockPrompt::giveUp, again.OnOk("secret"));
    EXPECT_TRUE(pw.IsLocked());
    EXPECT_EQ(3u, host.m_ids.size());
}
