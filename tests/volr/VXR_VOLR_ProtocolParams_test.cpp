#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "DICOM/IOD_Msg.h"
#include "UTL/UTL_BaseParamsVec.h"
#include "UTL/UTL_DDPInfo.h"
#include "VXR_RotationParams.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "VXR_VOLR_ProtocolParams.h"
#include "support/AllocationFailure.h"
#include "support/ColorProtocolSamples.h"
#include "support/DicomTestFiles.h"

namespace {

using Params = VXR_VOLR_ProtocolParams;
using vxrp_test::MakeClass;

constexpr unsigned int Entry(unsigned r, unsigned g, unsigned b, unsigned a) {
    return (r << 24) | (g << 16) | (b << 8) | a;
}

// Black at the start of the range to white at its end, fully opaque.
std::unique_ptr<VXR_VOLR_ColorProtocol> GreyRampProtocol(const char* name) {
    auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("Grey"), 1.0f);
    protocol->SetName(_bstr_t(name));
    protocol->AddColorClass(
        MakeClass("ramp", {{0.0f, 0, 0, 0}, {1.0f, 255, 255, 255}}, {{0.0f, 1.0f}, {1.0f, 1.0f}}),
        -1);
    return protocol;
}

Params DescribedParams() {
    Params params;
    params.SetRescaleIntercept(-1024);
    params.SetRescaleSlope(0.5f);
    params.SetBPP(12);
    params.SetSigned(true);
    params.SetIsHounsfield(true);
    return params;
}

void ExpectDescription(const VXR_VOLR_ColorProtocol& protocol, const Params& params) {
    EXPECT_EQ(protocol.GetRescaleIntercept(), params.GetRescaleIntercept());
    EXPECT_EQ(protocol.GetRescaleSlope(), params.GetRescaleSlope());
    EXPECT_EQ(protocol.GetBPP(), params.GetBPP());
    EXPECT_EQ(protocol.GetSigned(), params.GetSigned());
    EXPECT_EQ(protocol.GetIsHounsfield(), params.GetIsHounsfield());
}

}  // namespace

TEST(VXR_VOLR_ProtocolParams, NewObjectDescribesNothingAndIsFoundUnderItsName) {
    auto* params = new Params();
    EXPECT_EQ(params->GetRescaleSlope(), 1.0f);
    EXPECT_EQ(params->GetRescaleIntercept(), 0);
    EXPECT_EQ(params->GetBPP(), 0);
    EXPECT_EQ(params->GetProtocol(), nullptr);
    UTL_BaseParamsVec vec;
    vec.Add(params);
    EXPECT_EQ(vec.GetParams("VXR_VOLR_ProtocolParams"), params);
}

TEST(VXR_VOLR_ProtocolParams, SetProtocolInstallsACopyWithTheDescriptionAndAdvancesOnlyWhenAsked) {
    for (bool advance : {false, true}) {
        SCOPED_TRACE(advance);
        Params params = DescribedParams();
        auto p = GreyRampProtocol("bones");
        p->SetRescaleIntercept(99);
        const int before = params.GetCounter();
        params.SetProtocol(p.get(), advance);
        VXR_VOLR_ColorProtocol* held = params.GetProtocol();
        ASSERT_NE(held, nullptr);
        EXPECT_NE(held, p.get());
        EXPECT_EQ(params.GetCounter(), before + (advance ? 1 : 0));
        ExpectDescription(*held, params);
        EXPECT_EQ(p->GetRescaleIntercept(), 99) << "the caller's protocol is not touched";

        // Later changes of p stay p's; a second install assigns into the same
        // protocol object.
        p->AddColorClass(MakeClass("more", {{0.0f, 1, 2, 3}}, {{0.5f, 1.0f}}), -1);
        EXPECT_EQ(held->GetClassCount(), 1u);
        params.SetProtocol(p.get(), advance);
        EXPECT_EQ(params.GetProtocol(), held);
        EXPECT_EQ(held->GetClassCount(), 2u);
        ExpectDescription(*held, params);
        EXPECT_EQ(params.GetCounter(), before + (advance ? 2 : 0));
    }
}

TEST(VXR_VOLR_ProtocolParams, ReinstallingKeepsTheTableBlockThatFrozenCopiesShow) {
    Params params = DescribedParams();
    params.SetIsHounsfield(false);
    auto p = GreyRampProtocol("a");
    params.SetProtocol(p.get(), true);
    const unsigned int* block = params.GetProtocol()->GetColorTable();
    ASSERT_NE(block, nullptr);
    params.SetProtocol(p.get(), true);
    EXPECT_FALSE(params.GetProtocol()->IsColorTableValid()) << "a new protocol needs a new table";
    EXPECT_EQ(params.GetProtocol()->GetColorTable(), block);
}

TEST(VXR_VOLR_ProtocolParams, NullProtocolLeavesTheCarrierAsItWas) {
    Params params = DescribedParams();
    params.SetProtocol(nullptr, true);
    EXPECT_EQ(params.GetProtocol(), nullptr);
    EXPECT_EQ(params.GetCounter(), 0);

    auto p = GreyRampProtocol("a");
    params.SetProtocol(p.get(), false);
    VXR_VOLR_ColorProtocol* held = params.GetProtocol();
    params.SetProtocol(nullptr, true);
    params.SetAdditionalDataToProtocol(nullptr);
    EXPECT_EQ(params.GetProtocol(), held);
    EXPECT_EQ(held->GetClassCount(), 1u);
    EXPECT_EQ(params.GetCounter(), 0);
}

TEST(VXR_VOLR_ProtocolParams, SetAdditionalDataToProtocolInvalidatesTheTableOnlyForNewBits) {
    Params params = DescribedParams();
    params.SetIsHounsfield(false);
    auto p = GreyRampProtocol("a");
    p->SetBPP(12);
    ASSERT_NE(p->GetColorTable(), nullptr);
    params.SetAdditionalDataToProtocol(p.get());
    ExpectDescription(*p, params);
    EXPECT_TRUE(p->IsColorTableValid()) << "same bits: the caller decides when to recalculate";
    params.SetBPP(10);
    params.SetAdditionalDataToProtocol(p.get());
    EXPECT_FALSE(p->IsColorTableValid());
}

TEST(VXR_VOLR_ProtocolParams, CopiesAndAssignmentsOwnSeparateProtocols) {
    Params source = DescribedParams();
    auto p = GreyRampProtocol("a");
    source.SetProtocol(p.get(), true);
    source.SetProtocol(p.get(), true);

    Params constructed(source);
    Params assigned;
    assigned = source;
    Params assignedAsBase;
    static_cast<UTL_BaseParams&>(assignedAsBase) = source;
    std::unique_ptr<UTL_BaseParams> cloned(source.Clone());
    auto* clone = dynamic_cast<Params*>(cloned.get());
    ASSERT_NE(clone, nullptr);

    for (Params* copy : {&constructed, &assigned, &assignedAsBase, clone}) {
        ASSERT_NE(copy->GetProtocol(), nullptr);
        EXPECT_NE(copy->GetProtocol(), source.GetProtocol());
        EXPECT_EQ(copy->GetProtocol()->GetClassCount(), 1u);
        EXPECT_NE(copy->GetProtocol()->GetClass(0), source.GetProtocol()->GetClass(0));
        ExpectDescription(*copy->GetProtocol(), source);
        EXPECT_EQ(copy->GetRescaleSlope(), 0.5f);
        EXPECT_EQ(copy->GetCounter(), 2);
        EXPECT_EQ(copy->GetName(), "VXR_VOLR_ProtocolParams");
    }

    // Assigning from a carrier without protocol drops the own one.
    assigned = Params();
    EXPECT_EQ(assigned.GetProtocol(), nullptr);
    EXPECT_EQ(assigned.GetBPP(), 0);
    // Self-assignment keeps everything.
    VXR_VOLR_ColorProtocol* held = constructed.GetProtocol();
    constructed = *&constructed;
    EXPECT_EQ(constructed.GetProtocol(), held);
}

TEST(VXR_VOLR_ProtocolParams, CloneAnswersNullWhenMemoryRunsOut) {
    Params source = DescribedParams();
    auto p = GreyRampProtocol("a");
    source.SetProtocol(p.get(), false);
    vxrp_test::NothrowNewFailure failing;
    EXPECT_EQ(source.Clone(), nullptr);
}

TEST(VXR_VOLR_ProtocolParams, FreezeSharesTheLiveTableAndAdoptsTheCounterButNotTheDescription) {
    Params live = DescribedParams();
    live.SetIsHounsfield(false);
    auto p = GreyRampProtocol("a");
    live.SetProtocol(p.get(), true);

    Params frozen;  // no protocol yet, and no description
    frozen.Freeze();
    EXPECT_EQ(frozen.GetProtocol(), nullptr) << "without a source link nothing happens";

    frozen.SetSource(&live);
    frozen.Freeze();
    ASSERT_NE(frozen.GetProtocol(), nullptr);
    EXPECT_EQ(frozen.GetCounter(), live.GetCounter());
    EXPECT_EQ(frozen.GetBPP(), 0);
    EXPECT_EQ(frozen.GetRescaleSlope(), 1.0f);
    const unsigned int* table = live.GetProtocol()->GetColorTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(frozen.GetProtocol()->GetColorTable(), table);

    // A source without protocol: the counter only; the own protocol stays.
    Params empty;
    ++empty;
    ++empty;
    ++empty;
    frozen.SetSource(&empty);
    VXR_VOLR_ColorProtocol* held = frozen.GetProtocol();
    frozen.Freeze();
    EXPECT_EQ(frozen.GetProtocol(), held);
    EXPECT_EQ(frozen.GetCounter(), 3);

    // A source of another class: the counter only.
    VXR_RotationParams rotation;
    frozen.SetSource(&rotation);
    frozen.Freeze();
    EXPECT_EQ(frozen.GetCounter(), rotation.GetCounter());
    EXPECT_EQ(frozen.GetProtocol(), held);
    frozen.Defrost();
    EXPECT_EQ(frozen.GetProtocol(), held);
}

TEST(VXR_VOLR_ProtocolParams, RecordDDPInfoReportsTheProtocolsIdentifyingName) {
    DDPInfoVector info;
    Params params;
    params.RecordDDPInfo(info, true);
    EXPECT_EQ(info.GetCount(), 0u) << "no protocol";

    for (const char16_t* unnamed : {static_cast<const char16_t*>(nullptr), u""}) {
        auto p = GreyRampProtocol("x");
        p->SetName(_bstr_t(unnamed));
        params.SetProtocol(p.get(), false);
        params.RecordDDPInfo(info, false);
        EXPECT_EQ(info.GetCount(), 0u);
    }

    auto p = GreyRampProtocol("ct_bones");
    params.SetProtocol(p.get(), false);
    params.RecordDDPInfo(info, false);
    ASSERT_EQ(info.GetCount(), 1u);
    EXPECT_EQ(info.GetAt(0)->GetKey(), _bstr_t("color_protocol"));
    EXPECT_FALSE(info.GetAt(0)->GetQualifier().is_null());
    EXPECT_EQ(info.GetAt(0)->GetQualifier(), _bstr_t(""));
    EXPECT_EQ(info.GetAt(0)->GetValue(), _bstr_t("ct_bones")) << "not the displayed name";
}

TEST(VXR_VOLR_ProtocolParams, UpdateFromDicomNeedsAMessage) {
    Params params = DescribedParams();
    EXPECT_FALSE(params.UpdateFromDicom(nullptr));
    EXPECT_EQ(params.GetRescaleIntercept(), -1024);

    IOD_Msg msg;
    msg.PutText(Dicom_Tags::RescaleIntercept, Dicom_VRs::DS, "-20.7");
    msg.PutText(Dicom_Tags::RescaleSlope, Dicom_VRs::DS, "0.5");
    auto p = GreyRampProtocol("a");
    params.SetProtocol(p.get(), false);
    EXPECT_TRUE(params.UpdateFromDicom(&msg));
    EXPECT_EQ(params.GetRescaleIntercept(), -20);
    EXPECT_EQ(params.GetRescaleSlope(), 0.5f);
    EXPECT_EQ(params.GetProtocol()->GetRescaleIntercept(), -1024)
        << "the protocol waits for SetProtocol";
}

// The host's sequence on a CT series: the description from the file, a
// protocol, a rendering copy frozen from the live object, a window drag, a
// second freeze; then the two are destroyed in either order.
TEST(VXR_VOLR_ProtocolParams, HostSequenceOnACTFileSharesOneTableBlockThroughEveryFreeze) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("vxrp_protocol_params_ct_" + std::to_string(::getpid()) + ".dcm");
    ASSERT_TRUE(vxrp_test::write_dicom_file(file, vxrp_test::ct_like_content("-1024", "1")));
    IOD_Msg msg;
    ASSERT_TRUE(msg.ReadFileHeader(file.string()));
    std::filesystem::remove(file);
    double bits = 0.0;
    ASSERT_TRUE(msg.GetNumber(Dicom_Tags::BitsStored, bits));

    for (bool liveFirst : {true, false}) {
        SCOPED_TRACE(liveFirst);
        auto live = std::make_unique<Params>();
        ASSERT_TRUE(live->UpdateFromDicom(&msg));
        live->SetBPP(static_cast<int>(bits));
        live->SetSigned(false);
        auto p = GreyRampProtocol("grey");
        live->SetProtocol(p.get(), true);

        std::unique_ptr<Params> copy(dynamic_cast<Params*>(live->Clone()));
        ASSERT_NE(copy, nullptr);
        copy->SetSource(live.get());
        copy->Freeze();
        const unsigned int* table = copy->GetProtocol()->GetColorTable();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table, live->GetProtocol()->GetColorTable()) << "one block, not a copy";

        // Unsigned 12 bits at intercept -1024, slope 1: raw = HU + 1024 over a
        // range of 4095. HU 0: w = 1024 / 4095 = 0.25006, grey 63.77 -> 64;
        // HU 1000: w = 0.49426, grey 126.04 -> 126.
        EXPECT_EQ(table[0], Entry(0, 0, 0, 255)) << "HU -1024";
        EXPECT_EQ(table[1024], Entry(64, 64, 64, 255)) << "HU 0";
        EXPECT_EQ(table[2024], Entry(126, 126, 126, 255)) << "HU 1000";
        EXPECT_EQ(table[4095], Entry(255, 255, 255, 255)) << "HU 3071";

        // The user narrows the window on the live protocol; the next freeze
        // recalculates into the same block.
        live->GetProtocol()->AddWidth(-0.5f);
        ASSERT_FALSE(live->GetProtocol()->IsColorTableValid());
        copy->Freeze();
        EXPECT_EQ(copy->GetProtocol()->GetColorTable(), table);
        EXPECT_TRUE(live->GetProtocol()->IsColorTableValid());
        EXPECT_NE(table[1024], Entry(64, 64, 64, 255)) << "the frozen copy sees the new window";
        EXPECT_EQ(copy->GetCounter(), live->GetCounter());

        if (liveFirst) {
            live.reset();
            copy.reset();
        } else {
            copy.reset();
            EXPECT_EQ(live->GetProtocol()->GetColorTable(), table) << "the owner keeps its block";
            live.reset();
        }
    }
}
