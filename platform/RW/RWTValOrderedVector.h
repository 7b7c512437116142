#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "RW/RW_Errors.h"

// RWTValOrderedVector - an ordered list of values held by value.
//
// Every indexed access (operator[], operator(), insertAt, removeAt) checks the
// index against the current number of entries and raises RWBoundsErr when it is
// not below it (insertAt also accepts the count itself, meaning "append");
// the vector is unchanged when that happens. Indices are unsigned: a negative
// int converted by the caller fails the check.
//
// resize(n) sets the number of entries (new ones value-initialised, so pointers
// start null); it is not a capacity hint.
template <class T>
class RWTValOrderedVector {
  public:
    using value_type = T;
    using size_type = std::size_t;

    RWTValOrderedVector() = default;

    size_type entries() const { return m_Items.size(); }
    size_type length() const { return m_Items.size(); }
    bool isEmpty() const { return m_Items.empty(); }

    T& operator[](size_type i) { return m_Items[checked(i)]; }
    const T& operator[](size_type i) const { return m_Items[checked(i)]; }
    T& operator()(size_type i) { return m_Items[checked(i)]; }
    const T& operator()(size_type i) const { return m_Items[checked(i)]; }

    T& first() { return (*this)[0]; }
    const T& first() const { return (*this)[0]; }
    T& last() { return (*this)[entries() - 1]; }
    const T& last() const { return (*this)[entries() - 1]; }

    void insert(const T& value) { m_Items.push_back(value); }
    void append(const T& value) { m_Items.push_back(value); }
    void insertAt(size_type i, const T& value) {
        // No vector can hold max_size() entries, so that test refuses nothing
        // more; it lets the optimiser see that the offset below is never
        // negative (GCC 12 at -O3 otherwise reports false out-of-bounds
        // accesses where a caller passes a huge constant index).
        if (i >= m_Items.max_size() || i > m_Items.size()) {
            throw RWBoundsErr::Index(i, m_Items.size());
        }
        m_Items.insert(m_Items.begin() + static_cast<std::ptrdiff_t>(i), value);
    }
    // Removes entry i (later entries move down) and answers it.
    T removeAt(size_type i) {
        checked(i);
        T removed = std::move(m_Items[i]);
        m_Items.erase(m_Items.begin() + static_cast<std::ptrdiff_t>(i));
        return removed;
    }
    void clear() { m_Items.clear(); }
    void resize(size_type n) { m_Items.resize(n); }
    void reserve(size_type n) { m_Items.reserve(n); }
    void swap(RWTValOrderedVector& other) noexcept { m_Items.swap(other.m_Items); }

    auto begin() { return m_Items.begin(); }
    auto end() { return m_Items.end(); }
    auto begin() const { return m_Items.begin(); }
    auto end() const { return m_Items.end(); }

    // Unchecked contiguous access for tight loops that have checked their bounds.
    const T* data() const { return m_Items.data(); }

  private:
    size_type checked(size_type i) const {
        if (i >= m_Items.size()) {
            throw RWBoundsErr::Index(i, m_Items.size());
        }
        return i;
    }

    std::vector<T> m_Items;
};
