#include "volr/VXR_VOLR_DisplayParams.h"

#include <cstdint>
#include <new>

#include "volr/VXR_VOLR_ColorProtocol.h"

namespace {

// Installs a copy of src into held (assigned in place) or into a new protocol.
void copy_protocol(VXR_VOLR_ColorProtocol*& held, const VXR_VOLR_ColorProtocol& src) {
    if (held != nullptr) {
        *held = src;
    } else {
        held = new VXR_VOLR_ColorProtocol(src);
    }
}

}  // namespace

VXR_VOLR_DisplayParams::VXR_VOLR_DisplayParams() = default;

VXR_VOLR_DisplayParams::VXR_VOLR_DisplayParams(const VXR_VOLR_DisplayParams& other)
    : TIS_DisplayParams() {
    copy_data(other);
}

VXR_VOLR_DisplayParams::~VXR_VOLR_DisplayParams() {
    delete m_pProtocol;
}

VXR_VOLR_DisplayParams& VXR_VOLR_DisplayParams::operator=(const VXR_VOLR_DisplayParams& other) {
    if (this != &other) {
        copy_data(other);
    }
    return *this;
}

void VXR_VOLR_DisplayParams::copy_data(const TIS_DisplayParams& src) {
    TIS_DisplayParams::copy_data(src);
    const auto* display = dynamic_cast<const VXR_VOLR_DisplayParams*>(&src);
    if (display != nullptr && display != this && display->m_pProtocol != nullptr) {
        copy_protocol(m_pProtocol, *display->m_pProtocol);
    }
}

bool VXR_VOLR_DisplayParams::SetVisible(bool visible) {
    if (m_pProtocol != nullptr) {
        m_pProtocol->SetActivatedAllClasses(visible);
    }
    return TIS_DisplayParams::SetVisible(visible);
}

TIS_DisplayParams* VXR_VOLR_DisplayParams::Clone() {
    try {
        return new (std::nothrow) VXR_VOLR_DisplayParams(*this);
    } catch (const std::bad_alloc&) {
        // The protocol's copy ran out of memory; the half-built object is gone.
        return nullptr;
    }
}

TIS_DisplayParams* VXR_VOLR_DisplayParams::CreateObject() {
    return new (std::nothrow) VXR_VOLR_DisplayParams();
}

void VXR_VOLR_DisplayParams::FreezeCopy(TIS_DisplayParams* src) {
    TIS_DisplayParams::FreezeCopy(src);
    auto* display = dynamic_cast<VXR_VOLR_DisplayParams*>(src);
    if (display == nullptr || display->m_pProtocol == nullptr) {
        return;
    }
    if (m_pProtocol == nullptr) {
        m_pProtocol = new VXR_VOLR_ColorProtocol();
    }
    m_pProtocol->FreezeCopy(*display->m_pProtocol);
}

void VXR_VOLR_DisplayParams::SetProtocol(VXR_VOLR_ColorProtocol* p) {
    if (p == nullptr) {
        return;
    }
    const int before = m_pProtocol != nullptr ? m_pProtocol->GetCounter() : 0;
    copy_protocol(m_pProtocol, *p);
    // Counting up one by one until the counter passes `before` ends at
    // before + 1 unless p's counter is already higher; set it directly, so
    // that a counter at the top of the int range wraps instead of looping.
    if (!(m_pProtocol->GetCounter() > before)) {
        *m_pProtocol = static_cast<int>(static_cast<std::uint32_t>(before) + 1u);
    }
}

VXR_VOLR_ColorProtocol* VXR_VOLR_DisplayParams::GetProtocol() {
    return m_pProtocol;
}
