#include "COM/COM_Error.h"

#include <cstdio>

_com_error::_com_error(HRESULT hr, _bstr_t description)
    : m_hr(hr), m_Description(std::move(description)) {
    char code[32];
    std::snprintf(code, sizeof code, "HRESULT 0x%08X", static_cast<unsigned>(m_hr));
    if (m_Description.empty()) {
        m_Message = std::string("COM error (") + code + ")";
    } else {
        m_Message = m_Description.utf8() + " (" + code + ")";
    }
}

_com_error::~_com_error() = default;

const char* _com_error::what() const noexcept {
    return m_Message.c_str();
}

void COM_RaiseError(HRESULT hr, const std::string& description) {
    throw _com_error(hr, _bstr_t::FromUtf8(description));
}
