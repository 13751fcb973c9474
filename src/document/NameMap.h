// A map from byte-string names to values whose iteration order is part of the
// notebook file format.
//
// The table has 17 buckets; a key's bucket is its hash modulo 17, where the
// hash starts at 0 and becomes hash * 33 + byte for each byte taken as a
// *signed* char. Entries are visited bucket 0 to 16 and, within a bucket,
// newest first. Writers emit a map in exactly this order, so the order rule
// must live here and nowhere else. Lookups go through a hash index, so large
// categories and hostile files do not make every insert a linear scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

template <class V>
class CNameMap {
    struct Node {
        std::string key;
        V value;
        Node* prev = nullptr;
        Node* next = nullptr;
    };
    struct Table {
        Node* heads[17] = {};
        std::unordered_map<std::string_view, Node*> index;
    };

public:
    static constexpr unsigned kBuckets = 17;

    static uint32_t HashKey(std::string_view key) {
        uint32_t h = 0;
        for (char c : key) h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
        return h;
    }
    static unsigned BucketOf(std::string_view key) { return HashKey(key) % kBuckets; }

    CNameMap() = default;
    CNameMap(const CNameMap&) = delete;
    CNameMap& operator=(const CNameMap&) = delete;
    CNameMap(CNameMap&& o) noexcept : m_table(std::move(o.m_table)), m_nCount(o.m_nCount) { o.m_nCount = 0; }
    CNameMap& operator=(CNameMap&& o) noexcept {
        if (this != &o) {
            RemoveAll();
            m_table = std::move(o.m_table);
            m_nCount = o.m_nCount;
            o.m_nCount = 0;
        }
        return *this;
    }
    ~CNameMap() { RemoveAll(); }

    size_t GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    // Pointer to the value stored under `key`, or null.
    V* Find(std::string_view key) {
        Node* n = FindNode(key);
        return n ? &n->value : nullptr;
    }
    const V* Find(std::string_view key) const {
        Node* n = FindNode(key);
        return n ? &n->value : nullptr;
    }
    bool Lookup(std::string_view key, V& out) const {
        const V* p = Find(key);
        if (p) out = *p;
        return p != nullptr;
    }
    bool Contains(std::string_view key) const { return FindNode(key) != nullptr; }

    // Stores `value` under `key`. A new key goes to the front of its bucket;
    // an existing key keeps its place and takes the new value. Returns the
    // value it replaced through `pOld` when there was one.
    bool SetAt(const std::string& key, V value, V* pOld = nullptr) {
        if (Node* n = FindNode(key)) {
            if (pOld) *pOld = std::move(n->value);
            n->value = std::move(value);
            return true;
        }
        if (!m_table) m_table = std::make_unique<Table>();
        // Everything that may throw comes before the node is linked: a map
        // that ran out of memory is left as it was, the value still the
        // caller's.
        std::unique_ptr<Node> owned(new Node{key, V()});
        Node* n = owned.get();
        m_table->index.emplace(std::string_view(n->key), n);
        owned.release();
        n->value = std::move(value);
        Node*& head = m_table->heads[BucketOf(key)];
        n->next = head;
        if (head) head->prev = n;
        head = n;
        ++m_nCount;
        return false;
    }

    // Removes `key`; gives its value through `pOld`.
    bool RemoveKey(std::string_view key, V* pOld = nullptr) {
        Node* n = FindNode(key);
        if (!n) return false;
        if (pOld) *pOld = std::move(n->value);
        Unlink(n);
        return true;
    }

    void RemoveAll() {
        if (!m_table) return;
        for (Node*& head : m_table->heads) {
            for (Node* n = head; n;) {
                Node* next = n->next;
                delete n;
                n = next;
            }
            head = nullptr;
        }
        m_table.reset();
        m_nCount = 0;
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::pair<const std::string&, const V&>;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = value_type;

        const_iterator() = default;
        reference operator*() const { return {m_node->key, m_node->value}; }
        const std::string& key() const { return m_node->key; }
        const V& value() const { return m_node->value; }
        const_iterator& operator++() {
            m_node = m_node->next;
            if (!m_node) Settle(m_bucket + 1);
            return *this;
        }
        bool operator==(const const_iterator& o) const { return m_node == o.m_node; }
        bool operator!=(const const_iterator& o) const { return m_node != o.m_node; }

    private:
        friend class CNameMap;
        const_iterator(const Table* t, unsigned b) : m_table(t) { Settle(b); }
        void Settle(unsigned b) {
            m_node = nullptr;
            if (!m_table) return;
            for (m_bucket = b; m_bucket < kBuckets; ++m_bucket)
                if ((m_node = m_table->heads[m_bucket])) return;
        }
        const Table* m_table = nullptr;
        unsigned m_bucket = 0;
        Node* m_node = nullptr;
    };

    const_iterator begin() const { return const_iterator(m_table.get(), 0); }
    const_iterator end() const { return const_iterator(); }

private:
    Node* FindNode(std::string_view key) const {
        if (!m_table) return nullptr;
        auto it = m_table->index.find(key);
        return it == m_table->index.end() ? nullptr : it->second;
    }
    void Unlink(Node* n) {
        m_table->index.erase(std::string_view(n->key));
        if (n->prev) n->prev->next = n->next;
        else m_table->heads[BucketOf(n->key)] = n->next;
        if (n->next) n->next->prev = n->prev;
        delete n;
        --m_nCount;
    }

    std::unique_ptr<Table> m_table;
    size_t m_nCount = 0;
};
