#pragma once

#include <cstdint>
#include <exception>
#include <mutex>

#include "COM/COM_Error.h"

// The object-root layer that COM objects build their reference counting on:
// threading models, critical sections and the object-root bases.
//
// Threading models. CComSingleThreadModel counts with plain arithmetic and its
// critical sections do nothing; an object built on it must only ever be used
// from one thread. CComMultiThreadModel counts with interlocked (atomic)
// operations and its critical sections are real locks. Code is written once
// against `ThreadModel::Increment`, `ThreadModel::AutoCriticalSection` and so
// on, and the model decides the cost.
//
// Critical sections behave like the operating system's: the owning thread may
// enter again (each Lock needs its Unlock), Lock waits, TryLock does not.
// Creating one can fail when memory runs out: Init() answers E_OUTOFMEMORY,
// and the auto forms, which create in their constructor, raise CAtlException
// with that code. A critical section is never shared by copying: a copy of an
// object holding one gets its own, and assignment keeps the target's.
//
// Thread ids are the kernel's 32-bit ids of live threads (an id may be reused
// once its thread has ended).

using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;

// The calling thread's id.
DWORD GetCurrentThreadId() noexcept;

// Atomic increment and decrement of a 32-bit count; each answers the new value.
LONG InterlockedIncrement(LONG* pTarget) noexcept;
LONG InterlockedDecrement(LONG* pTarget) noexcept;

// The error the object-root layer raises; it carries the failure code.
class CAtlException : public std::exception {
  public:
    explicit CAtlException(HRESULT hr) noexcept;
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT Error() const noexcept { return m_hr; }
    // "object-root error (HRESULT 0x8007000E)"
    const char* what() const noexcept override { return m_szMessage; }

  private:
    HRESULT m_hr;
    char m_szMessage[48];
};

[[noreturn]] void AtlThrow(HRESULT hr);

// A lock that must be created with Init() before use and destroyed with Term()
// (or its destructor). Lock and Unlock on a critical section that was never
// created, or whose creation failed, do nothing.
class CComCriticalSection {
  public:
    CComCriticalSection() noexcept = default;
    CComCriticalSection(const CComCriticalSection&) = delete;
    CComCriticalSection& operator=(const CComCriticalSection&) = delete;
    ~CComCriticalSection();

    // S_OK, or E_OUTOFMEMORY when the lock cannot be created. Creating again
    // after success keeps the existing lock.
    HRESULT Init() noexcept;
    HRESULT Term() noexcept;
    bool IsInitialized() const noexcept { return m_pLock != nullptr; }

    HRESULT Lock();
    HRESULT Unlock();
    // Enters without waiting; false when another thread holds the lock.
    bool TryLock();

  private:
    std::recursive_mutex* m_pLock = nullptr;
};

// Created by its constructor (raising CAtlException when that fails) and
// destroyed by its destructor. Copying creates a fresh lock; assignment keeps
// this one.
class CComAutoCriticalSection : public CComCriticalSection {
  public:
    CComAutoCriticalSection();
    CComAutoCriticalSection(const CComAutoCriticalSection& /*other*/) : CComAutoCriticalSection() {}
    CComAutoCriticalSection& operator=(const CComAutoCriticalSection& /*other*/) noexcept {
        return *this;
    }
    ~CComAutoCriticalSection() = default;
};

// Created explicitly with Init(), destroyed by its destructor. Copying gives an
// uncreated one; assignment keeps this one.
class CComAutoDeleteCriticalSection : public CComCriticalSection {
  public:
    CComAutoDeleteCriticalSection() noexcept = default;
    CComAutoDeleteCriticalSection(const CComAutoDeleteCriticalSection& /*other*/) noexcept {}
    CComAutoDeleteCriticalSection& operator=(
        const CComAutoDeleteCriticalSection& /*other*/) noexcept {
        return *this;
    }
    ~CComAutoDeleteCriticalSection() = default;
};

// The single-threaded model's lock: nothing to create, nothing to hold.
class CComFakeCriticalSection {
  public:
    HRESULT Init() noexcept { return S_OK; }
    HRESULT Term() noexcept { return S_OK; }
    HRESULT Lock() noexcept { return S_OK; }
    HRESULT Unlock() noexcept { return S_OK; }
    bool TryLock() noexcept { return true; }
};

class CComSingleThreadModel {
  public:
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(++*p); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(--*p); }
    using AutoCriticalSection = CComFakeCriticalSection;
    using AutoDeleteCriticalSection = CComFakeCriticalSection;
    using CriticalSection = CComFakeCriticalSection;
    using ThreadModelNoCS = CComSingleThreadModel;
};

class CComMultiThreadModelNoCS {
  public:
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(InterlockedIncrement(p)); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(InterlockedDecrement(p)); }
    using AutoCriticalSection = CComFakeCriticalSection;
    using AutoDeleteCriticalSection = CComFakeCriticalSection;
    using CriticalSection = CComFakeCriticalSection;
    using ThreadModelNoCS = CComMultiThreadModelNoCS;
};

class CComMultiThreadModel {
  public:
    static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(InterlockedIncrement(p)); }
    static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(InterlockedDecrement(p)); }
    using AutoCriticalSection = CComAutoCriticalSection;
    using AutoDeleteCriticalSection = CComAutoDeleteCriticalSection;
    using CriticalSection = CComCriticalSection;
    using ThreadModelNoCS = CComMultiThreadModelNoCS;
};

// The reference count every object root carries, starting at 0.
class CComObjectRootBase {
  public:
    CComObjectRootBase() noexcept = default;

    // The count as it stands (read atomically, so any thread may look).
    LONG RefCount() const noexcept;

  protected:
    LONG m_dwRef = 0;
};

// The object root over a threading model: counting through the model, and
// Lock/Unlock through the model's critical section, which the root creates in
// its constructor (raising CAtlException when it cannot). Copies count from the
// copied value and keep a lock of their own.
template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
  public:
    using _ThreadModel = ThreadModel;
    using _CritSec = typename ThreadModel::AutoCriticalSection;

    ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }

    void Lock() { m_critsec.Lock(); }
    void Unlock() { m_critsec.Unlock(); }
    bool TryLock() { return m_critsec.TryLock(); }

  private:
    _CritSec m_critsec;
};

// Holds an object root's lock for a scope.
template <class Root>
class CComObjectLockT {
  public:
    explicit CComObjectLockT(Root* p) : m_p(p) {
        if (m_p != nullptr) {
            m_p->Lock();
        }
    }
    CComObjectLockT(const CComObjectLockT&) = delete;
    CComObjectLockT& operator=(const CComObjectLockT&) = delete;
    ~CComObjectLockT() {
        if (m_p != nullptr) {
            m_p->Unlock();
        }
    }

  private:
    Root* m_p;
};
