#include "COM/COM_BStr.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf16(std::u16string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacement;
    }
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes the code point starting at text[i] and advances i past it.
char32_t next_utf16(std::u16string_view text, std::size_t& i) {
    const char16_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            const char16_t low = text[i++];
            return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
        }
        return kReplacement;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return kReplacement;
    }
    return unit;
}

}  // namespace

std::u16string COM_Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            append_utf16(out, kReplacement);
            ++i;
            continue;
        }
        std::size_t taken = 1;
        bool ok = true;
        for (; taken <= extra; ++taken) {
            if (i + taken >= utf8.size() ||
                (static_cast<unsigned char>(utf8[i + taken]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
        }
        if (!ok || cp < min) {
            // A truncated or overlong sequence: one replacement for what was read.
            append_utf16(out, kReplacement);
            i += taken;
            continue;
        }
        append_utf16(out, cp);
        i += taken;
    }
    return out;
}

std::string COM_Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        append_utf8(out, next_utf16(text, i));
    }
    return out;
}

_bstr_t::_bstr_t(const char* utf8) {
    if (utf8 != nullptr) {
        m_pText = std::make_shared<const std::u16string>(COM_Utf8ToUtf16(utf8));
    }
}

_bstr_t::_bstr_t(const wchar_t* text) {
    if (text != nullptr) {
        *this = FromWide(text);
    }
}

_bstr_t::_bstr_t(const char16_t* text) {
    if (text != nullptr) {
        m_pText = std::make_shared<const std::u16string>(text);
    }
}

_bstr_t::_bstr_t(std::u16string text)
    : m_pText(std::make_shared<const std::u16string>(std::move(text))) {}

_bstr_t _bstr_t::FromUtf8(std::string_view utf8) {
    return _bstr_t(COM_Utf8ToUtf16(utf8));
}

_bstr_t _bstr_t::FromWide(std::wstring_view text) {
    static_assert(sizeof(wchar_t) == 4, "wide text is taken as UTF-32");
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        append_utf16(out, static_cast<char32_t>(c));
    }
    return _bstr_t(std::move(out));
}

const char16_t* _bstr_t::c_str() const {
    return m_pText ? m_pText->c_str() : u"";
}

std::u16string_view _bstr_t::view() const {
    return m_pText ? std::u16string_view(*m_pText) : std::u16string_view();
}

std::string _bstr_t::utf8() const {
    return COM_Utf16ToUtf8(view());
}

std::wstring _bstr_t::wstr() const {
    const std::u16string_view text = view();
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        out.push_back(static_cast<wchar_t>(next_utf16(text, i)));
    }
    return out;
}

_bstr_t _bstr_t::lower() const {
    if (is_null()) {
        return {};
    }
    std::u16string out(view());
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return _bstr_t(std::move(out));
}
