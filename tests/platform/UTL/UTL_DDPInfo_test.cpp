#include <gtest/gtest.h>

#include "UTL/UTL_DDPInfo.h"

TEST(UTL_DDPInfo, VectorOwnsItsRecordsKeepsTheirOrderAndIgnoresNull) {
    DDPInfoVector info;
    info.AddCurrentValue(new UTL_DDPInfo(_bstr_t("color_protocol"), _bstr_t(""), _bstr_t("a")));
    info.AddCurrentValue(nullptr);
    info.AddCurrentValue(new UTL_DDPInfo(_bstr_t("window"), _bstr_t("2"), _bstr_t("b")));
    info.AddCurrentValue(new UTL_DDPInfo(_bstr_t("color_protocol"), _bstr_t("1"), _bstr_t("c")));
    ASSERT_EQ(info.GetCount(), 3u);
    EXPECT_EQ(info.GetAt(1)->GetQualifier(), _bstr_t("2"));
    EXPECT_EQ(info.GetAt(3), nullptr);
    EXPECT_EQ(info.Find(_bstr_t("color_protocol"))->GetValue(), _bstr_t("a"));
    EXPECT_EQ(info.Find(_bstr_t("none")), nullptr);
}
