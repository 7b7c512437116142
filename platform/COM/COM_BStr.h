#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// _bstr_t - a shared, immutable string of UTF-16 code units.
//
// Copies share one buffer (copying never allocates), so handing a name around
// is cheap and a copy can never change behind another holder's back.
//
// A _bstr_t is either null (default-constructed, or made from a null pointer)
// or holds text, possibly empty. The two are told apart by is_null(); they are
// otherwise alike: both have length 0, c_str() answers u"" for both, and they
// compare equal. Comparison is code unit by code unit (case-sensitive).
//
// Conversions: from UTF-8 (char), UTF-32 (wchar_t, 32 bits here) and UTF-16.
// Malformed input (bad UTF-8 sequences, unpaired surrogates, values beyond
// U+10FFFF) becomes U+FFFD; nothing is dropped silently.
class _bstr_t {
  public:
    _bstr_t() = default;
    _bstr_t(const char* utf8);  // NOLINT(google-explicit-constructor): string literals convert
    _bstr_t(const wchar_t* text);
    _bstr_t(const char16_t* text);
    explicit _bstr_t(std::u16string text);
    static _bstr_t FromUtf8(std::string_view utf8);
    static _bstr_t FromWide(std::wstring_view text);

    bool is_null() const { return m_pText == nullptr; }
    std::size_t length() const { return m_pText ? m_pText->size() : 0; }
    bool empty() const { return length() == 0; }

    // The code units, never null; u"" for a null string. Valid while any copy lives.
    const char16_t* c_str() const;
    std::u16string_view view() const;

    std::string utf8() const;
    std::wstring wstr() const;

    // A copy in which the ASCII letters A..Z are lower-cased; every other code
    // unit (other scripts included) is kept as it is. A null string stays null.
    _bstr_t lower() const;

    // True when both hold the same text by value, not just by sharing.
    bool operator==(const _bstr_t& other) const { return view() == other.view(); }
    std::strong_ordering operator<=>(const _bstr_t& other) const {
        return view().compare(other.view()) <=> 0;
    }

    // True when both copies share one buffer (or both are null).
    bool shares_with(const _bstr_t& other) const { return m_pText == other.m_pText; }

  private:
    std::shared_ptr<const std::u16string> m_pText;
};

// UTF conversions the string uses, available for other platform pieces.
std::u16string COM_Utf8ToUtf16(std::string_view utf8);
std::string COM_Utf16ToUtf8(std::u16string_view text);
