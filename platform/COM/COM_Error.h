#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "COM/COM_BStr.h"

// HRESULT - the 32-bit status word of COM calls: negative means failure.
using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
// "Element not found" and "already exists" as Win32 errors lifted into HRESULTs.
inline constexpr HRESULT COM_E_NOTFOUND = static_cast<HRESULT>(0x80070490u);
inline constexpr HRESULT COM_E_ALREADYEXISTS = static_cast<HRESULT>(0x800700B7u);

constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// _com_error - the exception a failed COM call is raised as.
//
// It carries the call's HRESULT and the component's error information: a
// description naming the operation and what was wrong with it. what() answers
// "<description> (HRESULT 0x8007...)" in UTF-8, so an uncaught error that
// reaches the host's log still says which call failed and why.
class _com_error : public std::exception {
  public:
    explicit _com_error(HRESULT hr, _bstr_t description = _bstr_t());
    ~_com_error() override;

    HRESULT Error() const noexcept { return m_hr; }
    // The component's description; null when the component offered none.
    _bstr_t Description() const { return m_Description; }
    // The full message, also answered by what().
    const char* ErrorMessage() const noexcept { return m_Message.c_str(); }
    const char* what() const noexcept override;

  private:
    HRESULT m_hr;
    _bstr_t m_Description;
    std::string m_Message;
};

// Raises hr as a _com_error with the given description (UTF-8).
[[noreturn]] void COM_RaiseError(HRESULT hr, const std::string& description);
