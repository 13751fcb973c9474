#include "document/Archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "document/Records.h"
#include "support/TestSupport.h"
#include "platform/Charset.h"

namespace {

// A small object graph for the reference encoding: a value and up to two
// references to other objects.
class CTestObj : public CObject {
public:
    static const CRuntimeClass classA;
    static const CRuntimeClass classB;
    explicit CTestObj(const CRuntimeClass* c = &classA) : m_pClass(c) {}
    ~CTestObj() override {
        if (m_bOwnsChildren) {
            delete m_pLeft;
            delete m_pRight;
        }
    }
    const CRuntimeClass* GetRuntimeClass() const override { return m_pClass; }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteU32(m_nValue);
            ar.WriteObject(m_pLeft);
            ar.WriteObject(m_pRight);
        } else {
            m_nSchema = ar.GetObjectSchema();
            m_nValue = ar.ReadU32();
            m_pLeft = static_cast<CTestObj*>(ar.ReadObject());
            m_pRight = static_cast<CTestObj*>(ar.ReadObject());
        }
    }
    const CRuntimeClass* m_pClass;
    uint32_t m_nValue = 0;
    uint32_t m_nSchema = 0;
    CTestObj* m_pLeft = nullptr;
    CTestObj* m_pRight = nullptr;
    bool m_bOwnsChildren = false;
};

const CRuntimeClass CTestObj::classA = {"TA", 1, false, []() -> CObject* { return new CTestObj(&classA); }};
const CRuntimeClass CTestObj::classB = {"TB", 3, true, []() -> CObject* { return new CTestObj(&classB); }};
const CRuntimeClass* const kTestClasses[] = {&CTestObj::classA, &CTestObj::classB};

// Loading archive over bytes that knows the two test classes.
struct TestLoad {
    explicit TestLoad(const Bytes& b) : src(b.data(), b.size()), ar(src) { ar.SetClassTable(kTestClasses, 2); }
    CMemorySource src;
    CArchive ar;
    std::vector<std::unique_ptr<CObject>> keep;
    CTestObj* Read() {
        bool bNew = false;
        CObject* p = ar.ReadObject(nullptr, &bNew);
        if (bNew) keep.emplace_back(p);
        return static_cast<CTestObj*>(p);
    }
};

CArchiveException::Cause LoadFailure(const Bytes& b, const std::function<void(CArchive&)>& fn) {
    LoadArchive la(b);
    try {
        fn(la.m_ar);
    } catch (CArchiveException& e) {
        return e.m_cause;
    }
    ADD_FAILURE() << "no load error for " << Hex(b);
    return CArchiveException::readFault;
}

Bytes NewClassRecord(const std::string& name, uint16_t schema) {
    return Concat({U16(0xFFFF), U16(schema), U16(static_cast<uint16_t>(name.size())), StrBytes(name)});
}

}  // namespace

TEST(ArchiveNumbers, LittleEndianValuesRoundTrip) {
    Bytes b = StoreBytes([](CArchive& ar) {
        ar.WriteU8(0xAB);
        ar.WriteU16(0x1234);
        ar.WriteU32(0xDEADBEEF);
        ar.WriteI32(-2);
        ar.WriteTime32(1700000000);
    });
    EXPECT_EQ(Hex(b), "AB 34 12 EF BE AD DE FE FF FF FF 00 F1 53 65 ");
    LoadArchive la(b);
    EXPECT_EQ(la.m_ar.ReadU8(), 0xAB);
    EXPECT_EQ(la.m_ar.ReadU16(), 0x1234);
    EXPECT_EQ(la.m_ar.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(la.m_ar.ReadI32(), -2);
    EXPECT_EQ(la.m_ar.ReadTime32(), 1700000000);
    EXPECT_EQ(la.m_ar.Remaining(), 0u);
}

TEST(ArchiveStrings, LengthPrefixBoundaries) {
    struct Case {
        size_t len;
        Bytes prefix;
    } cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {0x10000, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        std::string s(c.len, 'x');
        if (c.len) s.back() = 'y';
        Bytes b = StoreBytes([&](CArchive& ar) { ar.WriteString(s); });
        ASSERT_EQ(b.size(), c.prefix.size() + c.len) << c.len;
        EXPECT_EQ(Bytes(b.begin(), b.begin() + c.prefix.size()), c.prefix) << c.len;
        LoadArchive la(b);
        EXPECT_EQ(la.m_ar.ReadString(), s) << c.len;
        EXPECT_EQ(la.m_ar.Remaining(), 0u);
    }
}

TEST(ArchiveStrings, CountBoundaries) {
    Bytes b = StoreBytes([](CArchive& ar) {
        ar.WriteCount(0);
        ar.WriteCount(0xFFFE);
        ar.WriteCount(0xFFFF);
        ar.WriteCount(0x12345678);
    });
    EXPECT_EQ(Hex(b), "00 00 FE FF FF FF FF FF 00 00 FF FF 78 56 34 12 ");
    LoadArchive la(b);
    EXPECT_EQ(la.m_ar.ReadCount(), 0u);
    EXPECT_EQ(la.m_ar.ReadCount(), 0xFFFEu);
    EXPECT_EQ(la.m_ar.ReadCount(), 0xFFFFu);
    EXPECT_EQ(la.m_ar.ReadCount(), 0x12345678u);
}

TEST(ArchiveStrings, EmptyContainersAreTwoZeroBytes) {
    CNameMap<CNote*> emptyMap;
    Bytes b = StoreBytes([&](CArchive& ar) {
        ar.WriteBlock({});
        ar.WriteStringList({});
        ar.WriteNameMap(emptyMap);
    });
    EXPECT_EQ(b, Bytes(6, 0));
}

TEST(ArchiveStrings, BlocksAndListsRoundTrip) {
    Bytes block(70000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
    std::vector<std::string> list = {"", "a", std::string(300, 'z'), "\xC3\xA9t\xC3\xA9"};
    Bytes b = StoreBytes([&](CArchive& ar) {
        ar.WriteBlock(block);
        ar.WriteStringList(list);
    });
    LoadArchive la(b);
    Bytes block2;
    std::vector<std::string> list2;
    la.m_ar.ReadBlock(block2);
    la.m_ar.ReadStringList(list2);
    EXPECT_EQ(block2, block);
    EXPECT_EQ(list2, list);
}

TEST(ArchiveStrings, WideFormIsConvertedToTheCodePage) {
    // "h\u00e9\U0001F600" as UTF-16LE: h, é, surrogate pair
    const Bytes units = {0x68, 0x00, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
    Bytes shortForm = Concat({{0xFF}, U16(0xFFFE), {0x04}, units});
    Bytes wordForm = Concat({{0xFF}, U16(0xFFFE), {0xFF}, U16(4), units});
    Bytes longForm = Concat({{0xFF}, U16(0xFFFE), {0xFF}, U16(0xFFFF), U32(4), units});
    for (const Bytes& b : {shortForm, wordForm, longForm}) {
        LoadArchive la(b);
        EXPECT_EQ(la.m_ar.ReadString(), "h\xC3\xA9\xF0\x9F\x98\x80") << Hex(b);
        EXPECT_EQ(la.m_ar.Remaining(), 0u);
    }
    // A lone surrogate cannot be held: replaced, the rest kept.
    const Bytes loneBytes = Concat({{0xFF}, U16(0xFFFE), {0x02}, {0x00, 0xD8, 0x41, 0x00}});
    LoadArchive lone(loneBytes);
    EXPECT_EQ(lone.m_ar.ReadString(), "?A");
}

TEST(ArchiveStrings, WideFormInASingleByteCodePage) {
    ASSERT_TRUE(charset::SetProcessCodePage("CP1252"));
    const Bytes b = Concat({{0xFF}, U16(0xFFFE), {0x03}, {0xE9, 0x00, 0xAC, 0x20, 0x00, 0x4E}});
    LoadArchive la(b);
    std::string s = la.m_ar.ReadString();
    charset::SetProcessCodePage("UTF-8");
    // é and the euro sign exist in CP1252; U+4E00 does not.
    EXPECT_EQ(s, "\xE9\x80?");
}

TEST(ArchiveLoad, LengthsBeyondTheDataAreEndOfDataBeforeAllocating) {
    using C = CArchiveException;
    EXPECT_EQ(LoadFailure({0x05, 'a', 'b'}, [](CArchive& ar) { ar.ReadString(); }), C::endOfFile);
    EXPECT_EQ(LoadFailure({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, [](CArchive& ar) { ar.ReadString(); }),
              C::endOfFile);
    EXPECT_EQ(LoadFailure({0xFF, 0xFE, 0xFF, 0x03, 'a', 0, 'b', 0, 'c'}, [](CArchive& ar) { ar.ReadString(); }),
              C::endOfFile);
    EXPECT_EQ(LoadFailure({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}, [](CArchive& ar) {
                  Bytes b;
                  ar.ReadBlock(b);
              }),
              C::endOfFile);
    EXPECT_EQ(LoadFailure({0xFF, 0xFF, 0x00, 0x00, 0x00, 0x10, 0x00}, [](CArchive& ar) {
                  std::vector<std::string> l;
                  ar.ReadStringList(l);
              }),
              C::endOfFile);
    EXPECT_EQ(LoadFailure({0x01, 0x02, 0x03}, [](CArchive& ar) { ar.ReadU32(); }), C::endOfFile);
    EXPECT_EQ(LoadFailure({}, [](CArchive& ar) { ar.ReadU8(); }), C::endOfFile);
}

TEST(ArchiveObjects, NewClassRecordThenClassReferenceThenBackReference) {
    CTestObj a, b;
    a.m_nValue = 7;
    b.m_nValue = 8;
    a.m_pLeft = &b;
    b.m_pLeft = &a;  // back reference to an object still being written
    Bytes bytes = StoreBytes([&](CArchive& ar) { ar.WriteObject(&a); });
    // class TA -> index 1, a -> 2, b (class reference 0x8001) -> 3
    Bytes expected = Concat({NewClassRecord("TA", 1), U32(7), U16(0x8001), U32(8), U16(2), U16(0), U16(0)});
    EXPECT_EQ(Hex(bytes), Hex(expected));

    TestLoad tl(bytes);
    CTestObj* pa = tl.Read();
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pa->m_pLeft, nullptr);
    EXPECT_EQ(pa->m_nValue, 7u);
    EXPECT_EQ(pa->m_pLeft->m_nValue, 8u);
    EXPECT_EQ(pa->m_pLeft->m_pLeft, pa);
    EXPECT_EQ(pa->m_pRight, nullptr);
    tl.keep.emplace_back(pa->m_pLeft);  // owned by nobody else in this test
}

TEST(ArchiveObjects, LargeIndicesUseTheBigTag) {
    // Enough objects that both an object index and a class index pass 0x7FFF.
    std::vector<std::unique_ptr<CTestObj>> objs;
    for (int i = 0; i < 0x7FFF; ++i) objs.push_back(std::make_unique<CTestObj>(&CTestObj::classA));
    auto lateB1 = std::make_unique<CTestObj>(&CTestObj::classB);
    auto lateB2 = std::make_unique<CTestObj>(&CTestObj::classB);
    lateB1->m_nValue = 1;
    lateB2->m_nValue = 2;
    // Indices: TA=1, objects 2..0x8000, TB=0x8001, lateB1=0x8002, lateB2=0x8003.
    Bytes bytes = StoreBytes([&](CArchive& ar) {
        for (auto& o : objs) ar.WriteObject(o.get());
        ar.WriteObject(lateB1.get());
        ar.WriteObject(lateB2.get());
        ar.WriteObject(objs[0x7FFD].get());  // index 0x7FFF
        ar.WriteObject(objs[0x7FFC].get());  // index 0x7FFE
        ar.WriteObject(lateB2.get());
    });
    Bytes expected = Concat({U16(0x7FFF), U32(0x80008001), U32(2), U16(0), U16(0),  // lateB2
                             U16(0x7FFF), U32(0x7FFF),                               // back ref 0x7FFF
                             U16(0x7FFE),                                             // back ref 0x7FFE
                             U16(0x7FFF), U32(0x8003)});
    Bytes end(bytes.end() - static_cast<ptrdiff_t>(expected.size()), bytes.end());
    EXPECT_EQ(Hex(end), Hex(expected));

    TestLoad tl(bytes);
    for (int i = 0; i < 0x7FFF; ++i) ASSERT_NE(tl.Read(), nullptr);
    EXPECT_EQ(tl.Read()->m_nValue, 1u);
    CTestObj* b2 = tl.Read();
    EXPECT_EQ(b2->m_nValue, 2u);
    EXPECT_EQ(b2->GetRuntimeClass(), &CTestObj::classB);
    EXPECT_EQ(tl.Read(), tl.keep[0x7FFD].get());
    EXPECT_EQ(tl.Read(), tl.keep[0x7FFC].get());
    EXPECT_EQ(tl.Read(), b2);
}

TEST(ArchiveObjects, VersionableSchemaIsRememberedForLaterObjects) {
    // TB is versionable with schema 3; the file says 1.
    Bytes bytes = Concat({NewClassRecord("TB", 1), U32(5), U16(0), U16(0),  // first TB, index 2
                          U16(0x8001), U32(6), U16(0), U16(0)});            // second TB via class ref
    TestLoad tl(bytes);
    EXPECT_EQ(tl.Read()->m_nSchema, 1u);
    CTestObj* second = tl.Read();
    EXPECT_EQ(second->m_nSchema, 1u);
    EXPECT_EQ(second->m_nValue, 6u);
    EXPECT_EQ(tl.ar.GetObjectSchema(), CArchive::kNoSchema);
}

TEST(ArchiveObjects, EachLoadErrorIsDistinct) {
    using C = CArchiveException;
    auto readAny = [](CArchive& ar) { delete ar.ReadObject(); };
    // back reference to an index not yet handed out
    EXPECT_EQ(LoadFailure(U16(0x0005), readAny), C::badIndex);
    // class reference to an index not handed out
    EXPECT_EQ(LoadFailure(U16(0x8003), readAny), C::badIndex);
    // big tag naming an unknown class index
    EXPECT_EQ(LoadFailure(Concat({U16(0x7FFF), U32(0x80001234)}), readAny), C::badIndex);
    // back reference to a class entry rather than an object
    EXPECT_EQ(LoadFailure(Concat({NewClassRecord("CNote", 2), Bytes(27, 0), U16(0x0001)}),
                          [](CArchive& ar) {
                              delete ar.ReadObject();
                              ar.ReadObject();
                          }),
              C::badIndex);
    // unknown class name
    EXPECT_EQ(LoadFailure(NewClassRecord("CFoo", 1), readAny), C::badClass);
    // a class name of 64 bytes
    EXPECT_EQ(LoadFailure(NewClassRecord(std::string(64, 'C'), 1), readAny), C::badClass);
    // a class name cut short
    EXPECT_EQ(LoadFailure(Concat({U16(0xFFFF), U16(1), U16(9), StrBytes("CNote")}), readAny), C::badClass);
    // a known class where another one was expected
    EXPECT_EQ(LoadFailure(Concat({NewClassRecord("CNoteAttatch", 1), Bytes(6, 0)}),
                          [](CArchive& ar) { delete ar.ReadObject(&CNote::classCNote); }),
              C::badClass);
    // a schema the non-versionable class does not have
    EXPECT_EQ(LoadFailure(NewClassRecord("CNoteCata", 2), readAny), C::badSchema);
    // end of data inside an object's fields
    EXPECT_EQ(LoadFailure(Concat({NewClassRecord("CNoteAttatch", 1), {0x03, 'a'}}), readAny), C::endOfFile);
}

TEST(ArchiveObjects, DeepNestingFailsCleanly) {
    // Each category holds one subcategory, 100000 levels deep.
    Bytes bytes = NewClassRecord("CNoteCata", 1);
    const Bytes level = {0x00, 0x00, 0x00, 0x01, 0x00, 0x00};  // name, no notes, one subcategory, key ""
    bytes.insert(bytes.end(), level.begin(), level.end());
    for (int i = 0; i < 100000; ++i) {
        const Bytes ref = U16(0x8001);
        bytes.insert(bytes.end(), ref.begin(), ref.end());
        bytes.insert(bytes.end(), level.begin(), level.end());
    }
    LoadArchive la(bytes);
    try {
        delete la.m_ar.ReadObject();
        FAIL() << "nesting was followed";
    } catch (CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::tooDeep);
        // What was read stays with the exception for the caller to keep.
        std::unique_ptr<CObject> partial = e.TakePartial();
        auto* top = dynamic_cast<CNoteCata*>(partial.get());
        ASSERT_NE(top, nullptr);
        int depth = 0;
        for (const CNoteCata* c = top; c->m_subCatas.GetCount() == 1; c = c->m_subCatas.begin().value()) ++depth;
        EXPECT_EQ(depth, CArchive::kMaxNesting - 1);
    }
}

TEST(ArchiveFiles, FileSourceAndSinkRoundTrip) {
    TempDir dir;
    const std::string path = dir.File("a.bin");
    Bytes big(300000, 0x5A);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        CFileSink sink(fd);
        CArchive ar(sink);
        ar.WriteString("head");
        ar.WriteBlock(big);
        ar.WriteU32(99);
        ar.Flush();
        ::close(fd);
    }
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    CFileSource src(fd);
    CArchive ar(src);
    EXPECT_EQ(ar.ReadString(), "head");
    Bytes back;
    ar.ReadBlock(back);
    EXPECT_EQ(back, big);
    EXPECT_EQ(ar.ReadU32(), 99u);
    EXPECT_EQ(ar.Remaining(), 0u);
    EXPECT_THROW(ar.ReadU8(), CArchiveException);
    ::close(fd);
}

TEST(ArchiveFiles, WriteFailureIsReported) {
    const int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    CFileSink sink(fd);
    CArchive ar(sink);
    EXPECT_THROW(
        {
            ar.WriteBlock(Bytes(200000, 1));
            ar.Flush();
        },
        CArchiveException);
    ::close(fd);
}

// Counts a crafted file cannot back with data end the read as damage before any
// element is read or allocated, and lists of empty names cost nothing.
TEST(ArchiveLoad, CountsBeyondTheBytesLeftAreDamageBeforeReading) {
    using C = CArchiveException;
    const Bytes padding(100, 0);
    size_t nClasses = 0;
    const CRuntimeClass* const* ppClasses = NotebookClasses(&nClasses);
    // A tiny note entry follows each oversized map count: it must stay unread.
    const Bytes note = Concat({{0x01, 'k'}, NewClassRecord("CNote", 2), Bytes(27, 0), padding});
    for (const Bytes& count : {Concat({U16(0xFFFF), U32(0x80000000u)}), Concat({U16(0xFFFF), U32(note.size() / 3 + 1)})}) {
        // notes map of a category, then its subcategory map
        for (const Bytes& b : {Concat({{0x00}, count, note}), Concat({{0x00}, U16(0), count, note})}) {
            LoadArchive la(b);
            la.m_ar.SetClassTable(ppClasses, nClasses);
            CNoteCata cata;
            try {
                cata.Serialize(la.m_ar);
                ADD_FAILURE() << "no damage for " << Hex(count);
            } catch (C& e) {
                EXPECT_EQ(e.m_cause, C::endOfFile);
            }
            EXPECT_EQ(la.m_ar.Remaining(), note.size());
            EXPECT_EQ(cata.m_notes.GetCount(), 0u);
        }
    }
    // string list and block: 2^31 elements on a 100-byte file
    EXPECT_EQ(LoadFailure(Concat({U16(0xFFFF), U32(0x80000000u), padding}),
                          [](CArchive& ar) {
                              std::vector<std::string> l;
                              ar.ReadStringList(l);
                          }),
              C::endOfFile);
    EXPECT_EQ(LoadFailure(Concat({U16(0xFFFF), U32(0x80000000u), padding}),
                          [](CArchive& ar) {
                              Bytes v;
                              ar.ReadBlock(v);
                          }),
              C::endOfFile);
    // A note's attachment names: empty ones name nothing and are not kept.
    LoadArchive la(Concat({Bytes(6, 0), U32(0), U32(0), {0x00}, U32(0), U32(7), U16(0), U16(5),
                           {0x00, 0x01, 'a', 0x00, 0x00, 0x01, 'b'}}));
    CNote n;
    n.Serialize(la.m_ar);
    EXPECT_EQ(n.m_attachNames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(la.m_ar.Remaining(), 0u);
}
