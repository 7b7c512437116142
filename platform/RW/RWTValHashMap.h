#pragma once

#include <cstddef>
#include <unordered_map>
#include <utility>

// RWTValHashMap - a map from keys to values, both held by value, whose
// bucketing is driven by a hash functor H and whose key equality is decided by
// an equality functor EQ (both default-constructed, stateless).
//
// Conventions:
// - H is called as H()(key) and may answer any unsigned integer; EQ is called
//   as EQ()(a, b) and must be true for keys that H hashes alike when they are
//   meant to be the same key. The map never compares keys any other way, so a
//   case-sensitive EQ gives a case-sensitive map.
// - One value per key. insertKeyAndValue refuses a key that is already present
//   (answers false, the stored value stays); operator[] inserts a
//   value-initialised entry (a null pointer for pointer values) when the key is
//   missing.
// - The map owns nothing that its values point to: clearing or destroying a map
//   of pointers leaves the pointees alone.
// - Iteration visits every entry once in an unspecified order, as pairs
//   (const key, value); inserting or removing invalidates running iterations.
template <class K, class T, class H, class EQ>
class RWTValHashMap {
    struct hasher {
        std::size_t operator()(const K& key) const { return static_cast<std::size_t>(H()(key)); }
    };
    struct equal {
        bool operator()(const K& a, const K& b) const { return EQ()(a, b); }
    };
    using map_type = std::unordered_map<K, T, hasher, equal>;

  public:
    using key_type = K;
    using value_type = T;
    using size_type = std::size_t;
    using iterator = typename map_type::iterator;
    using const_iterator = typename map_type::const_iterator;

    RWTValHashMap() = default;

    size_type entries() const { return m_Map.size(); }
    bool isEmpty() const { return m_Map.empty(); }

    // Adds key -> value; false (and nothing changed) when the key is present.
    bool insertKeyAndValue(const K& key, const T& value) {
        return m_Map.emplace(key, value).second;
    }
    bool contains(const K& key) const { return m_Map.find(key) != m_Map.end(); }
    // Copies the value stored under key into value and answers true, or answers
    // false and leaves value alone.
    bool findValue(const K& key, T& value) const {
        const auto it = m_Map.find(key);
        if (it == m_Map.end()) {
            return false;
        }
        value = it->second;
        return true;
    }
    // Removes the entry of key; false when there was none.
    bool remove(const K& key) { return m_Map.erase(key) != 0; }
    void clear() { m_Map.clear(); }

    T& operator[](const K& key) { return m_Map[key]; }

    iterator begin() { return m_Map.begin(); }
    iterator end() { return m_Map.end(); }
    const_iterator begin() const { return m_Map.begin(); }
    const_iterator end() const { return m_Map.end(); }

  private:
    map_type m_Map;
};
