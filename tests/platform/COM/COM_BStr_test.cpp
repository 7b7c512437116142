#include <gtest/gtest.h>

#include <string>

#include "COM/COM_BStr.h"

TEST(_bstr_t, NullAndEmptyAreToldApartButOtherwiseAlike) {
    const _bstr_t null;
    const _bstr_t fromNullPointer(static_cast<const char*>(nullptr));
    const _bstr_t fromNullWide(static_cast<const wchar_t*>(nullptr));
    const _bstr_t fromNullUtf16(static_cast<const char16_t*>(nullptr));
    const _bstr_t empty("");
    for (const _bstr_t* s : {&null, &fromNullPointer, &fromNullWide, &fromNullUtf16}) {
        EXPECT_TRUE(s->is_null());
        EXPECT_TRUE(s->empty());
        EXPECT_EQ(s->length(), 0u);
        ASSERT_NE(s->c_str(), nullptr);
        EXPECT_EQ(s->c_str()[0], u'\0');
    }
    EXPECT_FALSE(empty.is_null());
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(_bstr_t(L"").is_null());
    EXPECT_FALSE(_bstr_t(u"").is_null());
    EXPECT_FALSE(_bstr_t::FromUtf8("").is_null());
    EXPECT_FALSE(_bstr_t::FromWide(L"").is_null());
    EXPECT_EQ(null, empty);
    EXPECT_EQ(null.utf8(), "");
    EXPECT_EQ(null.wstr(), L"");
    EXPECT_TRUE(null.lower().is_null());
    EXPECT_FALSE(empty.lower().is_null());
}

TEST(_bstr_t, CopiesShareOneBufferAndOutliveTheOriginal) {
    const char16_t* text = nullptr;
    _bstr_t copy;
    {
        _bstr_t original("shared name");
        copy = original;
        EXPECT_TRUE(copy.shares_with(original));
        text = original.c_str();
    }
    EXPECT_EQ(copy.c_str(), text);
    EXPECT_EQ(copy.utf8(), "shared name");
    // Equal text in two buffers is equal, but not shared.
    const _bstr_t other("shared name");
    EXPECT_EQ(copy, other);
    EXPECT_FALSE(copy.shares_with(other));
    EXPECT_TRUE(_bstr_t().shares_with(_bstr_t()));
}

TEST(_bstr_t, ComparesCodeUnitByCodeUnit) {
    EXPECT_NE(_bstr_t("Bone"), _bstr_t("bone"));
    EXPECT_LT(_bstr_t("Bone"), _bstr_t("bone"));
    EXPECT_LT(_bstr_t("a"), _bstr_t("ab"));
    EXPECT_LT(_bstr_t(), _bstr_t("a"));
    EXPECT_EQ(_bstr_t("x") <=> _bstr_t("x"), std::strong_ordering::equal);
}

TEST(_bstr_t, RoundTripsUtf8Utf16AndUtf32) {
    // ASCII, two-, three- and four-byte sequences (U+00FC, U+20AC, U+1F9B4).
    const std::string utf8 =
        "Kn\xC3\xBC"
        "ch \xE2\x82\xAC \xF0\x9F\xA6\xB4";
    const std::u16string utf16 = u"Kn\u00FCch \u20AC \U0001F9B4";
    const std::wstring utf32 = L"Kn\u00FCch \u20AC \U0001F9B4";
    const _bstr_t a = _bstr_t::FromUtf8(utf8);
    const _bstr_t b(utf16);
    const _bstr_t c = _bstr_t::FromWide(utf32);
    const _bstr_t d(utf8.c_str());
    const _bstr_t e(utf32.c_str());
    for (const _bstr_t* s : {&a, &b, &c, &d, &e}) {
        EXPECT_EQ(s->view(), utf16);
        EXPECT_EQ(s->length(), 10u);  // the bone is a surrogate pair
        EXPECT_EQ(s->utf8(), utf8);
        EXPECT_EQ(s->wstr(), utf32);
    }
    EXPECT_EQ(COM_Utf16ToUtf8(COM_Utf8ToUtf16(utf8)), utf8);
}

TEST(_bstr_t, MalformedInputBecomesReplacementCharacters) {
    const std::u16string fffd(1, u'\uFFFD');
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"a\x80z", u"a" + fffd + u"z"},      // stray continuation byte
        {"a\xC3", u"a" + fffd},              // truncated at the end
        {"a\xE2\x82z", u"a" + fffd + u"z"},  // truncated in the middle
        {"\xC0\xAF", fffd},                  // overlong "/"
        {"\xE0\x80\xAF", fffd},              // overlong, three bytes
        {"\xED\xA0\x80", fffd},              // encoded surrogate
        {"\xF4\x90\x80\x80", fffd},          // beyond U+10FFFF
        {"\xFF"
         "a",
         fffd + u"a"},                                         // invalid lead byte
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // NUL is text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(_bstr_t::FromUtf8(c.utf8).view(), c.expected) << c.utf8;
    }

    // Unpaired surrogates in UTF-16 leave as U+FFFD in UTF-8 and UTF-32.
    const _bstr_t lone(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)});
    EXPECT_EQ(lone.utf8(),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(lone.wstr(), L"a\uFFFDb\uFFFD");
    // UTF-32 values that are no characters.
    const std::wstring bad{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                           static_cast<wchar_t>(-1)};
    EXPECT_EQ(_bstr_t::FromWide(bad).view(), u"a\uFFFD\uFFFD\uFFFD");
}

TEST(_bstr_t, LowerChangesOnlyAsciiLettersAndLeavesTheOriginal) {
    const _bstr_t name = _bstr_t::FromUtf8("VESSEL \xC3\x84 Zz@[`{ 9");
    const _bstr_t lower = name.lower();
    EXPECT_EQ(lower.utf8(), "vessel \xC3\x84 zz@[`{ 9");
    EXPECT_EQ(name.utf8(), "VESSEL \xC3\x84 Zz@[`{ 9");
    EXPECT_FALSE(lower.shares_with(name));
}
