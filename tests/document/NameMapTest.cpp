#include "document/NameMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> Keys(const CNameMap<int>& m) {
    std::vector<std::string> out;
    for (auto it = m.begin(); it != m.end(); ++it) out.push_back(it.key());
    return out;
}
}  // namespace

TEST(NameMap, HashTakesBytesAsSigned) {
    EXPECT_EQ(CNameMap<int>::HashKey(""), 0u);
    EXPECT_EQ(CNameMap<int>::HashKey("a"), 97u);
    EXPECT_EQ(CNameMap<int>::HashKey("ab"), 97u * 33 + 98);
    // 0xE4 is -28 as a signed byte: 0 * 33 - 28 wraps around.
    EXPECT_EQ(CNameMap<int>::HashKey("\xE4"), 0xFFFFFFE4u);
    EXPECT_EQ(CNameMap<int>::BucketOf("\xE4"), 0xFFFFFFE4u % 17);
    EXPECT_EQ(CNameMap<int>::HashKey("\xE4\xB8\xAD"),
              ((0xFFFFFFE4u * 33u) + 0xFFFFFFB8u) * 33u + 0xFFFFFFADu);
}

TEST(NameMap, BucketOrderThenNewestFirst) {
    CNameMap<int> m;
    // "a" (97 % 17 = 12), "b" (13), "r" (114 % 17 = 12), "\xE4" (bucket 0xFFFFFFE4 % 17)
    m.SetAt("a", 1);
    m.SetAt("b", 2);
    m.SetAt("r", 3);
    m.SetAt("\xE4", 4);
    ASSERT_EQ(CNameMap<int>::BucketOf("r"), 12u);
    const unsigned highBucket = CNameMap<int>::BucketOf("\xE4");
    std::vector<std::string> expected = {"r", "a", "b"};
    if (highBucket < 12) expected.insert(expected.begin(), "\xE4");
    else if (highBucket == 12) expected.insert(expected.begin(), "\xE4");
    else if (highBucket == 13) expected.insert(expected.begin() + 2, "\xE4");
    else expected.push_back("\xE4");
    EXPECT_EQ(Keys(m), expected);
}

TEST(NameMap, ReplacingKeepsThePlaceAndRemovingUnlinks) {
    CNameMap<int> m;
    for (const char* k : {"a", "r", "I"}) m.SetAt(k, 0);  // all in bucket 12 (I = 73 % 17 = 5? no)
    int old = -1;
    EXPECT_TRUE(m.SetAt("a", 5, &old));
    EXPECT_EQ(old, 0);
    EXPECT_EQ(*m.Find("a"), 5);
    EXPECT_EQ(m.GetCount(), 3u);
    const auto before = Keys(m);
    m.SetAt("a", 6);
    EXPECT_EQ(Keys(m), before);
    EXPECT_TRUE(m.RemoveKey("r", &old));
    EXPECT_FALSE(m.Contains("r"));
    EXPECT_FALSE(m.RemoveKey("r"));
    EXPECT_EQ(m.GetCount(), 2u);
    m.SetAt("r", 9);
    EXPECT_EQ(Keys(m).size(), 3u);
    m.RemoveAll();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.begin(), m.end());
}

TEST(NameMap, ManyKeysStayConsistent) {
    CNameMap<int> m;
    for (int i = 0; i < 5000; ++i) m.SetAt("k" + std::to_string(i), i);
    for (int i = 0; i < 5000; i += 2) ASSERT_TRUE(m.RemoveKey("k" + std::to_string(i)));
    size_t n = 0;
    unsigned lastBucket = 0;
    for (auto it = m.begin(); it != m.end(); ++it, ++n) {
        const unsigned b = CNameMap<int>::BucketOf(it.key());
        EXPECT_GE(b, lastBucket);
        lastBucket = b;
        EXPECT_EQ(it.value() % 2, 1);
    }
    EXPECT_EQ(n, 2500u);
    EXPECT_EQ(m.GetCount(), 2500u);
}
