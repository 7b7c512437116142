#include <gtest/gtest.h>

#include <vector>

#include "DICOM/Dicom_Msg.h"

TEST(Dicom_Msg, ElementsAreFoundByTagKeptInTagOrderAndReplacedByPut) {
    Dicom_Msg msg;
    msg.PutText(Dicom_Tags::RescaleSlope, Dicom_VRs::DS, "2");
    msg.PutNumbers(Dicom_Tags::Rows, Dicom_VRs::US, {512});
    msg.PutText(Dicom_Tags::Modality, Dicom_VRs::CS, "CT");
    ASSERT_EQ(msg.GetCount(), 3u);
    EXPECT_EQ(msg.GetAt(0)->GetTag(), Dicom_Tags::Modality);
    EXPECT_EQ(msg.GetAt(1)->GetTag(), Dicom_Tags::Rows);
    EXPECT_EQ(msg.GetAt(2)->GetTag(), Dicom_Tags::RescaleSlope);
    EXPECT_EQ(msg.GetAt(3), nullptr);

    EXPECT_TRUE(msg.IsPresent(Dicom_Tags::Rows));
    EXPECT_FALSE(msg.IsPresent(Dicom_Tags::Columns));
    EXPECT_EQ(msg.Get(Dicom_Tags::Columns), nullptr);

    msg.PutText(Dicom_Tags::Rows, Dicom_VRs::IS, "7");
    EXPECT_EQ(msg.GetCount(), 3u);
    EXPECT_EQ(msg.Get(Dicom_Tags::Rows)->GetVR(), Dicom_VRs::IS);
    EXPECT_TRUE(msg.Get(Dicom_Tags::Rows)->GetNumbers().empty()) << "the old form is gone";
    EXPECT_EQ(msg.Get(Dicom_Tags::Rows)->GetText(), "7");

    EXPECT_TRUE(msg.Remove(Dicom_Tags::Rows));
    EXPECT_FALSE(msg.Remove(Dicom_Tags::Rows));
    EXPECT_EQ(msg.GetCount(), 2u);
}

TEST(Dicom_Msg, TypedReadsAnswerFalseForMissingEmptyOrWrongKindsOfValue) {
    Dicom_Msg msg;
    msg.PutText(Dicom_Tags::RescaleIntercept, Dicom_VRs::DS, " -1024 ");
    msg.PutText(Dicom_Tags::RescaleSlope, Dicom_VRs::DS, "");
    msg.PutText(Dicom_Tags::PixelSpacing, Dicom_VRs::DS, "0.5\\0.25");
    msg.PutText(Dicom_Tags::ImagePositionPatient, Dicom_VRs::DS, "1\\x\\3");
    msg.PutNumbers(Dicom_Tags::Rows, Dicom_VRs::US, {256});

    double v = 9.0;
    EXPECT_TRUE(msg.GetDS(Dicom_Tags::RescaleIntercept, v));
    EXPECT_EQ(v, -1024.0);
    v = 9.0;
    EXPECT_FALSE(msg.GetDS(Dicom_Tags::RescaleSlope, v)) << "present but empty";
    EXPECT_FALSE(msg.GetDS(Dicom_Tags::Columns, v));
    EXPECT_FALSE(msg.GetDS(Dicom_Tags::Rows, v)) << "numbers are no decimal string";
    EXPECT_EQ(v, 9.0);
    EXPECT_TRUE(msg.GetNumber(Dicom_Tags::Rows, v));
    EXPECT_EQ(v, 256.0);
    EXPECT_FALSE(msg.GetNumber(Dicom_Tags::PixelSpacing, v)) << "text is no binary number";

    std::vector<double> values{1.0};
    EXPECT_TRUE(msg.GetDSValues(Dicom_Tags::PixelSpacing, values));
    EXPECT_EQ(values, (std::vector<double>{0.5, 0.25}));
    EXPECT_FALSE(msg.GetDSValues(Dicom_Tags::ImagePositionPatient, values));
    EXPECT_TRUE(values.empty());
    EXPECT_FALSE(msg.GetDSValues(Dicom_Tags::RescaleSlope, values));
}

TEST(Dicom_Msg, SequencesNestMessagesAndCopiesAreDeep) {
    const Dicom_Tag sequence(0x0070, 0x0001);
    Dicom_Msg msg;
    Dicom_Msg& item = msg.Put(sequence, Dicom_VRs::SQ).AddItem();
    item.PutText(Dicom_Tag(0x0070, 0x0023), Dicom_VRs::CS, "POLYLINE");
    msg.Get(sequence)->AddItem();

    Dicom_Msg copy = msg;
    copy.Get(sequence)->GetItem(0)->PutText(Dicom_Tag(0x0070, 0x0023), Dicom_VRs::CS, "POINT");
    ASSERT_EQ(msg.Get(sequence)->GetItemCount(), 2u);
    EXPECT_EQ(msg.Get(sequence)->GetItem(0)->Get(Dicom_Tag(0x0070, 0x0023))->GetText(), "POLYLINE");
    EXPECT_EQ(msg.Get(sequence)->GetItem(2), nullptr);
    EXPECT_FALSE(msg.Get(sequence)->IsEmpty());
    EXPECT_TRUE(msg.Get(sequence)->GetItem(1)->GetCount() == 0);
}
