#include "objroot/UTL2_QOR_ATL.h"

#include <atomic>
#include <cstdlib>

#include "log/Tmr_LogFile.h"

namespace {

using SingleRoot = CComObjectRootQorEx<CComSingleThreadModel>;
using MultiRoot = CComObjectRootQorEx<CComMultiThreadModel>;

// Read on first use, which the initialiser below makes happen while the
// library loads (and no later than any object root built during loading).
bool read_thread_check() noexcept {
    static const bool s_bOn = std::getenv("QOR_THREAD_CHECK") != nullptr;
    return s_bOn;
}

[[maybe_unused]] const bool g_bThreadCheckReadAtLoad = read_thread_check();

// Where the line is reported from, as the workstation's tools expect it.
constexpr int kThreadCheckLine = 49;
constexpr int kThreadCheckLevel = 3;

}  // namespace

// --- single-threaded form ------------------------------------------------------

SingleRoot::CComObjectRootQorEx() {
    if (read_thread_check()) {
        m_dwOwnerThread = GetCurrentThreadId();
    }
}

SingleRoot::CComObjectRootQorEx(const CComObjectRootQorEx& other)
    : CComObjectRootEx<CComSingleThreadModel>(other), m_dwOwnerThread(other.m_dwOwnerThread) {}

SingleRoot& SingleRoot::operator=(const CComObjectRootQorEx& other) {
    m_dwRef = other.m_dwRef;
    m_dwOwnerThread = other.m_dwOwnerThread;
    return *this;
}

SingleRoot::~CComObjectRootQorEx() = default;

ULONG SingleRoot::InternalAddRef() {
    if (read_thread_check() && GetCurrentThreadId() != m_dwOwnerThread) {
        if (TmrGLog.StoreParams("UTL2_QOR_ATL", kThreadCheckLine, kThreadCheckLevel, 460, 1)) {
            Tmr_LogFile::Log("Single Threaded COM object used on two threads");
        }
    }
    return CComSingleThreadModel::Increment(&m_dwRef);
}

bool SingleRoot::IsThreadCheckOn() noexcept {
    return read_thread_check();
}

// --- multi-threaded form -------------------------------------------------------

MultiRoot::CComObjectRootQorEx() = default;

// A critical section of its own, built fresh; the count is read atomically
// because other threads may be counting on the original.
MultiRoot::CComObjectRootQorEx(const CComObjectRootQorEx& other)
    : CComObjectRootEx<CComMultiThreadModel>() {
    m_dwRef = other.RefCount();
}

MultiRoot& MultiRoot::operator=(const CComObjectRootQorEx& other) {
    std::atomic_ref<LONG>(m_dwRef).store(other.RefCount());
    return *this;
}

MultiRoot::~CComObjectRootQorEx() = default;

ULONG MultiRoot::InternalAddRef() {
    return CComMultiThreadModel::Increment(&m_dwRef);
}

ULONG MultiRoot::InternalRelease() {
    return CComMultiThreadModel::Decrement(&m_dwRef);
}

// --- linker support ------------------------------------------------------------

VXR_ObjectRootLinkerSupport1::VXR_ObjectRootLinkerSupport1() = default;
VXR_ObjectRootLinkerSupport1::VXR_ObjectRootLinkerSupport1(
    const VXR_ObjectRootLinkerSupport1& other) = default;
VXR_ObjectRootLinkerSupport1& VXR_ObjectRootLinkerSupport1::operator=(
    const VXR_ObjectRootLinkerSupport1& other) = default;
VXR_ObjectRootLinkerSupport1::~VXR_ObjectRootLinkerSupport1() = default;

ULONG VXR_ObjectRootLinkerSupport1::x() {
    ULONG sum = SingleRoot::InternalAddRef();
    sum += SingleRoot::InternalRelease();
    sum += MultiRoot::InternalAddRef();
    sum += MultiRoot::InternalRelease();
    return sum;
}

VXR_ObjectRootLinkerSupport2::VXR_ObjectRootLinkerSupport2() = default;
VXR_ObjectRootLinkerSupport2::VXR_ObjectRootLinkerSupport2(
    const VXR_ObjectRootLinkerSupport2& other) = default;
VXR_ObjectRootLinkerSupport2& VXR_ObjectRootLinkerSupport2::operator=(
    const VXR_ObjectRootLinkerSupport2& other) = default;
VXR_ObjectRootLinkerSupport2::~VXR_ObjectRootLinkerSupport2() = default;

ULONG VXR_ObjectRootLinkerSupport2::x() {
    ULONG sum = MultiRoot::InternalAddRef();
    sum += MultiRoot::InternalRelease();
    sum += SingleRoot::InternalAddRef();
    sum += SingleRoot::InternalRelease();
    return sum;
}
