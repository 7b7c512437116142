#include "ATL/ATL_Base.h"

#include <atomic>
#include <cstdio>
#include <new>

#include <unistd.h>

DWORD GetCurrentThreadId() noexcept {
    return static_cast<DWORD>(gettid());
}

LONG InterlockedIncrement(LONG* pTarget) noexcept {
    return std::atomic_ref<LONG>(*pTarget).fetch_add(1) + 1;
}

LONG InterlockedDecrement(LONG* pTarget) noexcept {
    return std::atomic_ref<LONG>(*pTarget).fetch_sub(1) - 1;
}

CAtlException::CAtlException(HRESULT hr) noexcept : m_hr(hr) {
    std::snprintf(m_szMessage, sizeof m_szMessage, "object-root error (HRESULT 0x%08X)",
                  static_cast<unsigned>(hr));
}

void AtlThrow(HRESULT hr) {
    throw CAtlException(hr);
}

CComCriticalSection::~CComCriticalSection() {
    Term();
}

HRESULT CComCriticalSection::Init() noexcept {
    if (m_pLock == nullptr) {
        m_pLock = new (std::nothrow) std::recursive_mutex;
        if (m_pLock == nullptr) {
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

HRESULT CComCriticalSection::Term() noexcept {
    delete m_pLock;
    m_pLock = nullptr;
    return S_OK;
}

HRESULT CComCriticalSection::Lock() {
    if (m_pLock != nullptr) {
        m_pLock->lock();
    }
    return S_OK;
}

HRESULT CComCriticalSection::Unlock() {
    if (m_pLock != nullptr) {
        m_pLock->unlock();
    }
    return S_OK;
}

bool CComCriticalSection::TryLock() {
    return m_pLock == nullptr || m_pLock->try_lock();
}

CComAutoCriticalSection::CComAutoCriticalSection() {
    const HRESULT hr = Init();
    if (FAILED(hr)) {
        AtlThrow(hr);
    }
}

LONG CComObjectRootBase::RefCount() const noexcept {
    return std::atomic_ref<LONG>(const_cast<LONG&>(m_dwRef)).load();
}
