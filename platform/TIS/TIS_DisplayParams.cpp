#include "TIS/TIS_DisplayParams.h"

#include <new>

TIS_DisplayParams::~TIS_DisplayParams() = default;

TIS_DisplayParams& TIS_DisplayParams::operator=(const TIS_DisplayParams& other) {
    if (this != &other) {
        copy_data(other);
    }
    return *this;
}

bool TIS_DisplayParams::SetVisible(bool visible) {
    m_bWasVisible = m_bIsVisible;
    m_bIsVisible = visible;
    return m_bWasVisible != m_bIsVisible;
}

TIS_DisplayParams* TIS_DisplayParams::Clone() {
    return new (std::nothrow) TIS_DisplayParams(*this);
}

TIS_DisplayParams* TIS_DisplayParams::CreateObject() {
    return new (std::nothrow) TIS_DisplayParams();
}

void TIS_DisplayParams::FreezeCopy(TIS_DisplayParams* src) {
    if (src != nullptr && src != this) {
        m_bIsVisible = src->m_bIsVisible;
        m_bWasVisible = src->m_bWasVisible;
    }
}

void TIS_DisplayParams::copy_data(const TIS_DisplayParams& src) {
    m_bIsVisible = src.m_bIsVisible;
    m_bWasVisible = src.m_bWasVisible;
}
