#pragma once

#include "ATL/ATL_Base.h"

// The workstation's COM object root, CComObjectRootQorEx<ThreadModel>, in its
// two forms.
//
// Single-threaded form: counts plainly and never locks. When the environment
// variable QOR_THREAD_CHECK exists as the library loads (whatever its value,
// empty included), each object remembers the thread that built it, and every
// InternalAddRef from any other thread writes
//     "Single Threaded COM object used on two threads"
// to the workstation log (level 3). The check only reports: the reference is
// still taken, unprotected. The variable is read once; changing the
// environment later changes nothing.
//
// Multi-threaded form: InternalAddRef and InternalRelease are interlocked, so
// any thread may count, and the object has its own critical section (Lock,
// Unlock, TryLock). Building one raises CAtlException when the critical
// section cannot be created. Copying or assigning copies the count; every
// object keeps its own critical section.
//
// Objects are deleted as their most-derived class, never through the root.
template <class ThreadModel>
class CComObjectRootQorEx;

template <>
class CComObjectRootQorEx<CComSingleThreadModel> : public CComObjectRootEx<CComSingleThreadModel> {
  public:
    CComObjectRootQorEx();
    CComObjectRootQorEx(const CComObjectRootQorEx& other);
    CComObjectRootQorEx& operator=(const CComObjectRootQorEx& other);

    // Adds 1 and answers the new count, after the thread check.
    virtual ULONG InternalAddRef();
    // InternalRelease is the base's: subtracts 1 and answers the new count.

    // The building thread's id; 0 when the check is off.
    DWORD OwnerThread() const noexcept { return m_dwOwnerThread; }
    // Whether QOR_THREAD_CHECK was present when the library loaded.
    static bool IsThreadCheckOn() noexcept;

  protected:
    ~CComObjectRootQorEx();

  private:
    DWORD m_dwOwnerThread = 0;
};

template <>
class CComObjectRootQorEx<CComMultiThreadModel> : public CComObjectRootEx<CComMultiThreadModel> {
  public:
    CComObjectRootQorEx();
    CComObjectRootQorEx(const CComObjectRootQorEx& other);
    CComObjectRootQorEx& operator=(const CComObjectRootQorEx& other);

    // Interlocked; each answers the new count.
    virtual ULONG InternalAddRef();
    virtual ULONG InternalRelease();

  protected:
    ~CComObjectRootQorEx();
};

// These two exist only so that both forms of the object root are compiled into
// the library and exported with it; nothing calls them. x() takes and drops one
// reference on each object-root part and answers the sum of the counts seen.
class VXR_ObjectRootLinkerSupport1 final
    : public CComObjectRootQorEx<CComSingleThreadModel>,
      public virtual CComObjectRootQorEx<CComMultiThreadModel> {
  public:
    VXR_ObjectRootLinkerSupport1();
    VXR_ObjectRootLinkerSupport1(const VXR_ObjectRootLinkerSupport1& other);
    VXR_ObjectRootLinkerSupport1& operator=(const VXR_ObjectRootLinkerSupport1& other);
    ~VXR_ObjectRootLinkerSupport1();

    ULONG x();
};

class VXR_ObjectRootLinkerSupport2 final
    : public CComObjectRootQorEx<CComMultiThreadModel>,
      public virtual CComObjectRootQorEx<CComSingleThreadModel> {
  public:
    VXR_ObjectRootLinkerSupport2();
    VXR_ObjectRootLinkerSupport2(const VXR_ObjectRootLinkerSupport2& other);
    VXR_ObjectRootLinkerSupport2& operator=(const VXR_ObjectRootLinkerSupport2& other);
    ~VXR_ObjectRootLinkerSupport2();

    ULONG x();
};
