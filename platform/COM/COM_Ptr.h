#pragma once

#include <atomic>
#include <utility>

#include "COM/COM_Error.h"

// COM_Unknown - the reference count of a component.
//
// A new object starts at a count of 0; whoever creates it takes the first
// reference (COM_Ptr<T>(new T) does). Release answers the remaining count and
// deletes the object when it reaches 0. The count is atomic, so references may
// be taken and dropped from several threads; the object itself need not be.
class COM_Unknown {
  public:
    unsigned long AddRef() noexcept { return ++m_cRef; }
    unsigned long Release() noexcept {
        const unsigned long remaining = --m_cRef;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

    COM_Unknown(const COM_Unknown&) = delete;
    COM_Unknown& operator=(const COM_Unknown&) = delete;

  protected:
    COM_Unknown() = default;
    virtual ~COM_Unknown() = default;

  private:
    std::atomic<unsigned long> m_cRef{0};
};

// COM_Ptr<T> - the smart pointer through which reference-counted components
// are held (T offers AddRef() and Release()).
//
//  * Copying adds a reference; assignment releases the old object after taking
//    the new one (self-assignment safe); destruction releases.
//  * Construction from a raw pointer adds a reference unless told not to
//    (bAddRef false adopts a reference the caller already holds, as a factory
//    does with a new object).
//  * A null pointer is a valid value and tests false. operator-> on a null
//    pointer raises _com_error(E_POINTER): a caller that is handed a null tree
//    and uses it fails the way every other failed call does.
template <class T>
class COM_Ptr {
  public:
    COM_Ptr() noexcept = default;
    COM_Ptr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
    explicit COM_Ptr(T* p, bool bAddRef = true) noexcept : m_p(p) {
        if (m_p && bAddRef) {
            m_p->AddRef();
        }
    }
    COM_Ptr(const COM_Ptr& other) noexcept : m_p(other.m_p) {
        if (m_p) {
            m_p->AddRef();
        }
    }
    COM_Ptr(COM_Ptr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~COM_Ptr() { reset(); }

    COM_Ptr& operator=(const COM_Ptr& other) noexcept {
        COM_Ptr copy(other);
        swap(copy);
        return *this;
    }
    COM_Ptr& operator=(COM_Ptr&& other) noexcept {
        COM_Ptr moved(std::move(other));
        swap(moved);
        return *this;
    }
    COM_Ptr& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }

    T* operator->() const {
        if (!m_p) {
            COM_RaiseError(E_POINTER, "Call through a null interface pointer");
        }
        return m_p;
    }
    T& operator*() const { return *operator->(); }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T* GetInterfacePtr() const noexcept { return m_p; }

    void reset() noexcept {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    void swap(COM_Ptr& other) noexcept { std::swap(m_p, other.m_p); }

    friend bool operator==(const COM_Ptr& a, const COM_Ptr& b) noexcept { return a.m_p == b.m_p; }
    friend bool operator==(const COM_Ptr& a, std::nullptr_t) noexcept { return a.m_p == nullptr; }

  private:
    T* m_p = nullptr;
};
