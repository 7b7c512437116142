#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DICOM/IOD_Msg.h"
#include "VXR_VOLR_ProtocolParams.h"
#include "support/DicomTestFiles.h"

namespace {

namespace fs = std::filesystem;
using vxrp_test::ct_like_content;
using vxrp_test::DicomFileContent;
using vxrp_test::write_dicom_file;

// A folder of its own for each test, removed afterwards.
class DicomFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_Dir = fs::temp_directory_path() /
                (std::string("vxrp_iod_") + info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(m_Dir);
        fs::create_directories(m_Dir);
    }
    void TearDown() override { fs::remove_all(m_Dir); }

    std::string write(const std::string& name, const DicomFileContent& content) {
        const fs::path path = m_Dir / name;
        EXPECT_TRUE(write_dicom_file(path, content)) << name;
        return path.string();
    }
    std::string write_bytes(const std::string& name, const std::string& bytes) {
        const fs::path path = m_Dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string read_bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_Dir;
};

std::vector<double> ds_values(const IOD_Msg& msg, const Dicom_Tag& tag) {
    std::vector<double> values;
    msg.GetDSValues(tag, values);
    return values;
}

double number(const IOD_Msg& msg, const Dicom_Tag& tag) {
    double value = -1.0;
    EXPECT_TRUE(msg.GetNumber(tag, value));
    return value;
}

}  // namespace

TEST(IOD_Msg, LineAnnotationsGoIntoNamedGroupsInTheOrderWrittenAndCopyDeeply) {
    IOD_Msg msg;
    IOD_LineAnnotation line;
    line.from = {1.0f, 2.0f, 3.0f};
    line.to = {4.0f, 5.0f, 6.0f};
    line.color = UTL_Color(255, 0, 0);
    line.property = 0x10u;
    line.number = 0;
    msg.AddLineAnnotation(_bstr_t("clip"), line);
    line.number = 1;
    msg.AddLineAnnotation(_bstr_t("clip"), line);
    msg.AddLineAnnotation(_bstr_t("voi"), line);
    IOD_Msg::LineGroup& clip = msg.GetLineGroup(_bstr_t("clip"));
    clip.color = UTL_Color(0, 255, 0);
    clip.property = 0x10u;

    ASSERT_EQ(msg.GetLineGroupCount(), 2u);
    EXPECT_EQ(msg.GetLineAnnotationCount(), 3u);
    EXPECT_EQ(msg.GetLineGroupAt(0)->name, _bstr_t("clip"));
    EXPECT_EQ(msg.GetLineGroupAt(0)->lines[1].number, 1);
    EXPECT_EQ(msg.GetLineGroupAt(0)->lines[0].to[2], 6.0f);
    EXPECT_EQ(msg.GetLineGroupAt(2), nullptr);
    EXPECT_EQ(msg.FindLineGroup(_bstr_t("none")), nullptr);

    IOD_Msg copy = msg;
    copy.GetLineGroup(_bstr_t("clip")).lines.clear();
    copy.PutText(Dicom_Tags::Modality, Dicom_VRs::CS, "OT");
    EXPECT_EQ(msg.FindLineGroup(_bstr_t("clip"))->lines.size(), 2u);
    EXPECT_EQ(msg.FindLineGroup(_bstr_t("clip"))->color, UTL_Color(0, 255, 0));
    EXPECT_FALSE(msg.IsPresent(Dicom_Tags::Modality));

    msg.ClearLineAnnotations();
    EXPECT_EQ(msg.GetLineAnnotationCount(), 0u);
}

TEST_F(DicomFiles, HeaderOfAWrittenFileReadsBackInEveryTransferSyntax) {
    for (E_TransferSyntax syntax :
         {EXS_LittleEndianExplicit, EXS_LittleEndianImplicit, EXS_BigEndianExplicit}) {
        SCOPED_TRACE(static_cast<int>(syntax));
        DicomFileContent content = ct_like_content("-1024", "0.5");
        content.rows = 3;
        content.columns = 5;
        content.pixelRepresentation = 1;
        content.syntax = syntax;
        const std::string path = write("ct" + std::to_string(syntax), content);

        IOD_Msg msg;
        std::string error = "untouched";
        IOD_Msg::ReadStatus status = IOD_Msg::READ_MALFORMED;
        ASSERT_TRUE(msg.ReadFileHeader(path, &error, &status));
        EXPECT_EQ(status, IOD_Msg::READ_OK);
        EXPECT_EQ(error, "untouched");
        EXPECT_EQ(msg.Get(Dicom_Tags::Modality)->GetText(), "CT");
        EXPECT_EQ(ds_values(msg, Dicom_Tags::ImagePositionPatient),
                  (std::vector<double>{-125.5, -130, 42.25}));
        EXPECT_EQ(ds_values(msg, Dicom_Tags::ImageOrientationPatient),
                  (std::vector<double>{1, 0, 0, 0, 1, 0}));
        EXPECT_EQ(ds_values(msg, Dicom_Tags::PixelSpacing),
                  (std::vector<double>{0.48828125, 0.48828125}));
        EXPECT_EQ(ds_values(msg, Dicom_Tags::RescaleIntercept), (std::vector<double>{-1024}));
        EXPECT_EQ(ds_values(msg, Dicom_Tags::RescaleSlope), (std::vector<double>{0.5}));
        EXPECT_EQ(number(msg, Dicom_Tags::Rows), 3.0);
        EXPECT_EQ(number(msg, Dicom_Tags::Columns), 5.0);
        EXPECT_EQ(number(msg, Dicom_Tags::BitsAllocated), 16.0);
        EXPECT_EQ(number(msg, Dicom_Tags::BitsStored), 12.0);
        EXPECT_EQ(number(msg, Dicom_Tags::PixelRepresentation), 1.0);
        EXPECT_FALSE(msg.IsPresent(Dicom_Tags::PixelData));
    }
}

TEST_F(DicomFiles, RescaleValuesFromFilesReachTheProtocolParamsOrLeaveThemAlone) {
    struct Case {
        const char* name;
        const char* intercept;  // null: not in the file
        const char* slope;
        int expectedIntercept;
        float expectedSlope;
    };
    const Case cases[] = {
        {"negative_fraction", "-20.7", "0.5", -20, 0.5f},
        {"missing_slope", "-20.7", nullptr, -20, 3.0f},
        {"missing_both", nullptr, nullptr, 7, 3.0f},
        {"exponent", "1.5E+2", "2.5e-1", 150, 0.25f},
        {"multi_valued", "-1024\\-1000", " 2 \\4", -1024, 2.0f},
        {"malformed", "12abc", "1,5", 7, 3.0f},
        {"empty", "", "", 7, 3.0f},
        {"spaces_only", "  ", " ", 7, 3.0f},
        {"beyond_32_bits_and_float", "3e9", "1e39", 7, 3.0f},
        {"edges_of_the_ranges", "-2147483648.9", "-3.4e38", INT_MIN, -3.4e38f},
        {"beyond_double", "1e999", "-1e999", 7, 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DicomFileContent content = ct_like_content("", "");
        content.texts.resize(4);  // without the rescale values
        if (c.intercept != nullptr) {
            content.texts.push_back({DCM_RescaleIntercept, c.intercept});
        }
        if (c.slope != nullptr) {
            content.texts.push_back({DCM_RescaleSlope, c.slope});
        }
        IOD_Msg msg;
        ASSERT_TRUE(msg.ReadFileHeader(write(c.name, content)));

        VXR_VOLR_ProtocolParams params;
        params.SetRescaleIntercept(7);
        params.SetRescaleSlope(3.0f);
        const int counter = params.GetCounter();
        EXPECT_TRUE(params.UpdateFromDicom(&msg));
        EXPECT_EQ(params.GetRescaleIntercept(), c.expectedIntercept);
        EXPECT_EQ(params.GetRescaleSlope(), c.expectedSlope);
        EXPECT_EQ(params.GetCounter(), counter);
        EXPECT_EQ(params.GetProtocol(), nullptr);
    }
}

TEST_F(DicomFiles, FilesThatCannotBeReadGiveTheCauseAndLeaveTheMessageAlone) {
    const std::string valid = write("valid", ct_like_content("1", "1"));
    const std::string bytes = read_bytes(valid);
    struct Case {
        std::string path;
        IOD_Msg::ReadStatus status;
        const char* words;  // part of the error line
    };
    const Case cases[] = {
        {(m_Dir / "missing.dcm").string(), IOD_Msg::READ_CANNOT_OPEN, "no such file"},
        {m_Dir.string(), IOD_Msg::READ_CANNOT_OPEN, "cannot open"},
        {write_bytes("empty", ""), IOD_Msg::READ_NOT_DICOM, "not a DICOM file"},
        {write_bytes("text", std::string(200, 'x')), IOD_Msg::READ_NOT_DICOM, "not a DICOM file"},
        {write_bytes("bare_preamble", bytes.substr(0, 132)), IOD_Msg::READ_MALFORMED,
         "cannot read the DICOM header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        IOD_Msg msg;
        msg.PutText(Dicom_Tags::RescaleSlope, Dicom_VRs::DS, "4");
        std::string error;
        IOD_Msg::ReadStatus status = IOD_Msg::READ_OK;
        EXPECT_FALSE(msg.ReadFileHeader(c.path, &error, &status));
        EXPECT_EQ(status, c.status);
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
        EXPECT_NE(error.find(c.path), std::string::npos) << "the line names the file";
        EXPECT_EQ(msg.GetCount(), 1u);
        EXPECT_EQ(msg.Get(Dicom_Tags::RescaleSlope)->GetText(), "4");
    }
}

TEST_F(DicomFiles, TruncatedFileIsRefusedOrReadCorrectlyAndPixelDataIsNeverNeeded) {
    DicomFileContent content = ct_like_content("-20.7", "0.5");
    content.rows = 64;
    content.columns = 64;
    const std::string bytes = read_bytes(write("full", content));
    // The pixel data element: tag (7FE0,0010) little endian, "OW", 2 reserved
    // bytes, 4 length bytes, then the value.
    const std::size_t pixelTag = bytes.find(std::string("\xE0\x7F\x10\x00", 4));
    ASSERT_NE(pixelTag, std::string::npos);
    const std::size_t pixelValue = pixelTag + 12;
    ASSERT_LT(pixelValue + 100, bytes.size());

    std::vector<std::size_t> cuts;
    for (std::size_t cut = 132; cut < pixelValue + 64; ++cut) {
        cuts.push_back(cut);
    }
    cuts.push_back(bytes.size() - 1);
    for (std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        IOD_Msg msg;
        std::string error;
        const bool read = msg.ReadFileHeader(write_bytes("cut", bytes.substr(0, cut)), &error);
        // Cut before the pixel data element or anywhere in its value: the
        // header is whole. Cut inside the element's own tag and length, the
        // file may be refused as truncated.
        const bool headerWhole = cut == pixelTag || cut >= pixelValue;
        if (headerWhole) {
            ASSERT_TRUE(read) << error;
        }
        if (!read) {
            EXPECT_EQ(msg.GetCount(), 0u);
            continue;
        }
        // Whatever was read is what the file holds.
        double value = 0.0;
        if (msg.GetDS(Dicom_Tags::RescaleIntercept, value)) {
            EXPECT_EQ(value, -20.7);
        }
        if (msg.GetDS(Dicom_Tags::RescaleSlope, value)) {
            EXPECT_EQ(value, 0.5);
        }
        if (msg.GetNumber(Dicom_Tags::Rows, value)) {
            EXPECT_EQ(value, 64.0);
        }
        if (headerWhole) {
            EXPECT_TRUE(msg.IsPresent(Dicom_Tags::RescaleSlope));
            EXPECT_TRUE(msg.IsPresent(Dicom_Tags::Columns));
        }
    }
}

TEST_F(DicomFiles, ReadingAnotherFileDropsWhatThatFileLacks) {
    DicomFileContent without = ct_like_content("", "");
    without.texts.resize(4);
    without.bitsStored = -1;
    IOD_Msg msg;
    msg.PutText(Dicom_Tag(0x0010, 0x0010), Dicom_VRs::DS, "kept");
    ASSERT_TRUE(msg.ReadFileHeader(write("with", ct_like_content("-5", "2"))));
    EXPECT_TRUE(msg.IsPresent(Dicom_Tags::RescaleSlope));
    ASSERT_TRUE(msg.ReadFileHeader(write("without", without)));
    EXPECT_FALSE(msg.IsPresent(Dicom_Tags::RescaleSlope));
    EXPECT_FALSE(msg.IsPresent(Dicom_Tags::RescaleIntercept));
    EXPECT_FALSE(msg.IsPresent(Dicom_Tags::BitsStored));
    EXPECT_TRUE(msg.IsPresent(Dicom_Tags::BitsAllocated));
    EXPECT_TRUE(msg.IsPresent(Dicom_Tag(0x0010, 0x0010)))
        << "attributes the reader does not read stay";
}
