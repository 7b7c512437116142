#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "RW/RW_Errors.h"
#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorProtocolSamples.h"

using vxrp_test::MakeClass;
using vxrp_test::MakeFlatClass;

namespace {

// Counts its destructions so that ownership can be checked.
class CountedClass : public VXR_VOLR_ColorClass {
  public:
    using VXR_VOLR_ColorClass::operator=;
    explicit CountedClass(int* deaths)
        : VXR_VOLR_ColorClass(_bstr_t("counted"), new VXR_VOLR_TrapezeOpacityGraph),
          m_pDeaths(deaths) {}
    ~CountedClass() override { ++*m_pDeaths; }

  private:
    int* m_pDeaths;
};

VXR_VOLR_ColorClass* Named(const char* name) {
    return MakeFlatClass(name, 1, 2, 3, 1.0f);
}

std::string NameOf(const VXR_VOLR_ColorClass* cls) {
    return cls->GetName().utf8();
}

}  // namespace

// --- functors ------------------------------------------------------------------------------

// The class hash keys by name: names compare case-sensitively code unit by code
// unit, equal names hash alike, the order agrees with equality, and a null name
// is the empty one.
TEST(VXR_VOLR_ColorProtocol, NameFunctorsAgreeWithEachOtherAndAreCaseSensitive) {
    const std::vector<_bstr_t> names = {_bstr_t(),
                                        _bstr_t(""),
                                        _bstr_t("a"),
                                        _bstr_t("bone"),
                                        _bstr_t("Bone"),
                                        _bstr_t("bones"),
                                        _bstr_t("lung"),
                                        _bstr_t("bone"),
                                        _bstr_t(u"\u00e9"),
                                        _bstr_t(u"\u00c9"),
                                        _bstr_t(VXR_VOLR_AFTER_DEFINE_PLUS)};
    std::set<unsigned int> hashes;
    for (const _bstr_t& a : names) {
        hashes.insert(StrHash()(a));
        for (const _bstr_t& b : names) {
            const std::u16string_view ua = a.view();
            const std::u16string_view ub = b.view();
            SCOPED_TRACE(a.utf8() + " / " + b.utf8());
            EXPECT_EQ(StrComp()(a, b), ua == ub);
            EXPECT_EQ(StrLess()(a, b), ua < ub);
            if (StrComp()(a, b)) {
                EXPECT_EQ(StrHash()(a), StrHash()(b));
            }
        }
    }
    EXPECT_GE(hashes.size(), names.size() - 3) << "distinct names spread over distinct hashes";
}

TEST(VXR_VOLR_ColorProtocol, TissueNamesAndConstantNamesAreTheStoredOnes) {
    const char* names[] = {"GENERAL", "VESSEL", "BONE", "LUNG", "LESION"};
    for (int t = 0; t < TIS_TissueTypeCount; ++t) {
        EXPECT_EQ(_bstr_t(VXR_VOLR_TissueTypeNames[t]).utf8(), names[t]);
    }
    EXPECT_EQ(_bstr_t(VXR_VOLR_DEFINE_PLUS).utf8(), "define_plus");
    EXPECT_EQ(_bstr_t(VXR_VOLR_AFTER_DEFINE_PLUS).utf8(), "after_define_plus");
    EXPECT_EQ(_bstr_t(VXR_VOLR_MINUS).utf8(), "minus");
}

// --- construction and defaults ----------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, ANewProtocolIsEmptyAndHasNoTableUntilItHasBits) {
    VXR_VOLR_ColorProtocol protocol;
    EXPECT_EQ(protocol.GetClassCount(), 0u);
    for (int t = 0; t < TIS_TissueTypeCount; ++t) {
        EXPECT_EQ(protocol.GetTissuePlaceHolder(static_cast<TIS_TissueType>(t)), nullptr);
    }
    EXPECT_EQ(protocol.GetBPP(), 0);
    EXPECT_EQ(protocol.GetColorTable(), nullptr);
    EXPECT_TRUE(protocol.GetName().is_null());

    VXR_VOLR_ColorProtocol named(_bstr_t("Soft tissue"), 0.75f);
    EXPECT_EQ(named.GetDisplayedName().utf8(), "Soft tissue");
    EXPECT_EQ(named.GetMaxOpacity(), 0.75f);
}

TEST(VXR_VOLR_ColorProtocol, OpacityThresholdTruncatesInsteadOfRounding) {
    VXR_VOLR_ColorProtocol protocol;
    protocol.SetOpacityThreshold(0.5f);
    EXPECT_EQ(protocol.GetOpacityThreshold(), 127);
    protocol.SetOpacityThreshold(1.0f);
    EXPECT_EQ(protocol.GetOpacityThreshold(), 255);
    protocol.SetOpacityThreshold(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(protocol.GetOpacityThreshold(), 0);
    protocol.SetOpacityThreshold(1e30f);
    EXPECT_EQ(protocol.GetOpacityThreshold(), std::numeric_limits<int>::max());
}

// --- class list ---------------------------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, AddColorClassInsertsAfterTheGivenIndexOrAppendsAndAnswersOne) {
    VXR_VOLR_ColorProtocol protocol;
    EXPECT_EQ(protocol.AddColorClass(Named("a"), -1), 1);
    EXPECT_EQ(protocol.AddColorClass(Named("b"), 0), 1) << "an empty-list append answers 1";
    // a b
    EXPECT_EQ(protocol.AddColorClass(Named("c"), -1), 1);
    // a b c
    EXPECT_EQ(protocol.AddColorClass(Named("d"), 0), 1) << "inserted after index 0 is index 1";
    // a d b c
    EXPECT_EQ(protocol.AddColorClass(Named("e"), 2), 3);
    // a d b e c
    EXPECT_EQ(protocol.AddColorClass(Named("f"), 7), 1) << "beyond the list: appended";
    EXPECT_EQ(protocol.AddColorClass(Named("g"), -5), 1) << "any negative index appends";
    ASSERT_EQ(protocol.GetClassCount(), 7u);
    const char* order[] = {"a", "d", "b", "e", "c", "f", "g"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(NameOf(protocol.GetClass(i)), order[i]) << i;
    }
    EXPECT_EQ(protocol.AddColorClass(nullptr, -1), 0);
    EXPECT_EQ(protocol.GetClassCount(), 7u);
}

TEST(VXR_VOLR_ColorProtocol, AddColorClassGivesTheClassTheProtocolBitsButKeepsTheTableValid) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(12);
    protocol.AddColorClass(Named("a"), -1);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    VXR_VOLR_ColorClass* added = Named("b");
    protocol.AddColorClass(added, -1);
    EXPECT_EQ(added->GetBPP(), 12);
    EXPECT_EQ(added->GetMaxPixelValue(), 4095);
    EXPECT_TRUE(protocol.IsColorTableValid());
    protocol.RemoveColorClass(0);
    EXPECT_TRUE(protocol.IsColorTableValid());
}

TEST(VXR_VOLR_ColorProtocol, BadClassIndexRaisesBoundsErrorAndChangesNothing) {
    int deaths = 0;
    VXR_VOLR_ColorProtocol protocol;
    protocol.AddColorClass(new CountedClass(&deaths), -1);
    protocol.AddColorClass(new CountedClass(&deaths), -1);
    EXPECT_THROW(protocol.GetClass(2), RWBoundsErr);
    EXPECT_THROW(protocol.GetClass(-1), RWBoundsErr);
    EXPECT_THROW(protocol.RemoveColorClass(2), RWBoundsErr);
    EXPECT_THROW(protocol.RemoveColorClass(-1), RWBoundsErr);
    EXPECT_EQ(protocol.GetClassCount(), 2u);
    EXPECT_EQ(deaths, 0);
    protocol.RemoveColorClass(0);
    EXPECT_EQ(deaths, 1) << "a removed class is deleted";
    EXPECT_EQ(protocol.GetClassCount(), 1u);
}

TEST(VXR_VOLR_ColorProtocol, DestroyingOrAssigningDeletesEveryOwnedClassOnce) {
    int deaths = 0;
    {
        VXR_VOLR_ColorProtocol protocol;
        protocol.AddColorClass(new CountedClass(&deaths), -1);
        protocol.AddColorClass(new CountedClass(&deaths), -1);
        CountedClass holder(&deaths);
        protocol.PutTissuePlaceHolder(TIS_BONE, &holder);  // copied as a plain class
        VXR_VOLR_ColorProtocol other;
        protocol = other;
        EXPECT_EQ(deaths, 2);
        EXPECT_EQ(protocol.GetClassCount(), 0u);
    }
    EXPECT_EQ(deaths, 3) << "the holder itself; copies of it are plain classes";
}

// --- bits and the table's validity ---------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, SetBPPForwardsANewDepthToEveryClassAndInvalidatesTheTable) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.AddColorClass(Named("a"), -1);
    protocol.AddColorClass(Named("b"), -1);
    protocol.SetBPP(12);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    EXPECT_TRUE(protocol.IsColorTableValid());
    protocol.SetBPP(12);
    EXPECT_TRUE(protocol.IsColorTableValid()) << "the same depth changes nothing";
    protocol.SetBPP(10);
    EXPECT_FALSE(protocol.IsColorTableValid());
    for (unsigned int i = 0; i < protocol.GetClassCount(); ++i) {
        EXPECT_EQ(protocol.GetClass(static_cast<int>(i))->GetBPP(), 10);
        EXPECT_EQ(protocol.GetClass(static_cast<int>(i))->GetOpacityGraph()->GetBPP(), 10);
    }
}

TEST(VXR_VOLR_ColorProtocol, DataSettersOtherThanBitsLeaveTheTableValid) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(Named("a"), -1);
    protocol.GetColorTable();
    protocol.SetSigned(true);
    protocol.SetRescaleSlope(2.0f);
    protocol.SetRescaleIntercept(5);
    protocol.SetIsHounsfield(true);
    protocol.SetIsDecreseOpMode(true);
    protocol.SetIsLighting(true);
    protocol.SetIsGrayscale(true);
    protocol.SetOpacityThreshold(0.2f);
    protocol.SetCenter(0.1f);
    protocol.SetWidth(0.2f);
    protocol.ApplyWindowing();
    EXPECT_TRUE(protocol.IsColorTableValid());
    protocol.InvalidateColorTable();
    EXPECT_FALSE(protocol.IsColorTableValid());
}

// --- windowing and activation --------------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, AddCenterCallsEveryClassAndInvalidatesOnlyWhenOneMoved) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(Named("fixed"), -1);
    protocol.AddColorClass(Named("moving"), -1);
    protocol.GetClass(0)->SetAllowWindowing(false);
    protocol.GetColorTable();
    protocol.AddCenter(0.3f);
    EXPECT_FALSE(protocol.IsColorTableValid());
    EXPECT_EQ(protocol.GetClass(0)->GetCenter(), 0.0f);
    EXPECT_EQ(protocol.GetClass(1)->GetCenter(), 0.3f);

    // At the clamp no class moves: the table stays valid.
    protocol.AddCenter(5.0f);
    EXPECT_EQ(protocol.GetClass(1)->GetCenter(), 1.0f);
    protocol.GetColorTable();
    protocol.AddCenter(0.5f);
    EXPECT_TRUE(protocol.IsColorTableValid());

    // Every class is called even after one reported a change.
    protocol.GetClass(0)->SetAllowWindowing(true);
    protocol.AddCenter(-0.5f);
    EXPECT_EQ(protocol.GetClass(0)->GetCenter(), -0.5f);
    EXPECT_EQ(protocol.GetClass(1)->GetCenter(), 0.5f);
}

TEST(VXR_VOLR_ColorProtocol, AddWidthForwardsAndResetWindowingClearsAndInvalidates) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(MakeClass("a", {{0.0f, 0, 0, 0}}, {{0.2f, 0.0f}, {0.6f, 1.0f}}), -1);
    protocol.GetColorTable();
    protocol.AddWidth(0.5f);
    EXPECT_FALSE(protocol.IsColorTableValid());
    EXPECT_EQ(protocol.GetClass(0)->GetWidth(), 0.5f);
    EXPECT_FLOAT_EQ(protocol.GetClass(0)->GetPivot(), 0.4f);

    protocol.GetColorTable();
    protocol.SetCenter(0.25f);
    EXPECT_EQ(protocol.GetClass(0)->GetCenter(), 0.25f);
    protocol.ResetWindowing();
    EXPECT_FALSE(protocol.IsColorTableValid());
    EXPECT_EQ(protocol.GetClass(0)->GetCenter(), 0.0f);
    EXPECT_EQ(protocol.GetClass(0)->GetWidth(), 0.0f);

    VXR_VOLR_ColorProtocol empty;
    empty.AddWidth(0.5f);  // no classes: nothing happens
    empty.AddCenter(0.5f);
    EXPECT_EQ(empty.GetClassCount(), 0u);
}

TEST(VXR_VOLR_ColorProtocol, AddWidthInvalidatesWhatEarlierClassesChangedBeforeALaterOneRaises) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(MakeClass("a", {{0.0f, 0, 0, 0}}, {{0.2f, 0.0f}, {0.6f, 1.0f}}), -1);
    ASSERT_NE(protocol.GetColorTable(), nullptr);
    // Added after the calculation (adding keeps the table valid): a class whose
    // graph has no points, so that its width cannot be pivoted.
    protocol.AddColorClass(
        new VXR_VOLR_ColorClass(_bstr_t("empty graph"), new VXR_VOLR_TrapezeOpacityGraph), -1);
    ASSERT_TRUE(protocol.IsColorTableValid());
    EXPECT_THROW(protocol.AddWidth(0.5f), RWBoundsErr);
    EXPECT_EQ(protocol.GetClass(0)->GetWidth(), 0.5f) << "the first class moved";
    EXPECT_EQ(protocol.GetClass(1)->GetWidth(), 0.0f);
    EXPECT_FALSE(protocol.IsColorTableValid());

    // When nothing moved before the raise, the table stays as valid as it was.
    VXR_VOLR_ColorProtocol first(_bstr_t("p"), 1.0f);
    first.SetBPP(4);
    first.AddColorClass(MakeClass("a", {{0.0f, 0, 0, 0}}, {{0.2f, 0.0f}, {0.6f, 1.0f}}), -1);
    ASSERT_NE(first.GetColorTable(), nullptr);
    first.AddColorClass(
        new VXR_VOLR_ColorClass(_bstr_t("empty graph"), new VXR_VOLR_TrapezeOpacityGraph), 0);
    first.GetClass(0)->SetAllowWindowing(false);
    EXPECT_THROW(first.AddWidth(0.5f), RWBoundsErr);
    EXPECT_TRUE(first.IsColorTableValid());

    // The centre needs no graph points: AddCenter moves both classes.
    protocol.AddCenter(0.25f);
    EXPECT_EQ(protocol.GetClass(1)->GetCenter(), 0.25f);
    EXPECT_FALSE(protocol.IsColorTableValid());
}

TEST(VXR_VOLR_ColorProtocol, ApplyWindowingBakesEveryClassWindowIntoItsPoints) {
    VXR_VOLR_ColorProtocol protocol;
    protocol.AddColorClass(
        MakeClass("a", {{0.1f, 0, 0, 0}, {0.5f, 9, 9, 9}}, {{0.1f, 0.0f}, {0.5f, 1.0f}}), -1);
    protocol.AddColorClass(MakeClass("b", {{0.2f, 0, 0, 0}}, {{0.2f, 1.0f}}), -1);
    protocol.SetCenter(0.2f);
    protocol.ApplyWindowing();
    EXPECT_FLOAT_EQ(protocol.GetClass(0)->GetColorPoint(0).m_fValue, 0.3f);
    EXPECT_FLOAT_EQ(protocol.GetClass(1)->GetColorPoint(0).m_fValue, 0.4f);
    EXPECT_EQ(protocol.GetClass(0)->GetCenter(), 0.0f);
    EXPECT_EQ(protocol.GetClass(1)->GetCenter(), 0.0f);
}

TEST(VXR_VOLR_ColorProtocol, ActivationSwitchesEveryClassAndIsReported) {
    VXR_VOLR_ColorProtocol protocol;
    EXPECT_TRUE(protocol.IsAllClassDeactivated()) << "no classes count as all deactivated";
    protocol.AddColorClass(Named("a"), -1);
    protocol.AddColorClass(Named("b"), -1);
    EXPECT_FALSE(protocol.IsAllClassDeactivated());
    protocol.GetClass(0)->SetIsActive(false);
    EXPECT_FALSE(protocol.IsAllClassDeactivated());
    protocol.SetBPP(2);
    protocol.GetColorTable();
    protocol.SetActivatedAllClasses(false);
    EXPECT_TRUE(protocol.IsAllClassDeactivated());
    EXPECT_FALSE(protocol.IsColorTableValid());
    protocol.SetActivatedAllClasses(true);
    EXPECT_TRUE(protocol.GetClass(0)->GetIsActive());
    EXPECT_TRUE(protocol.GetClass(1)->GetIsActive());
}

// --- value range ------------------------------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, ValueRangeFollowsBitsSignednessSlopeAndIntercept) {
    VXR_VOLR_ColorProtocol protocol;
    protocol.SetBPP(12);
    protocol.SetRescaleIntercept(-1024);
    EXPECT_EQ(protocol.GetStartRange(), -1024);
    EXPECT_EQ(protocol.GetEndRange(), 3071);
    EXPECT_EQ(protocol.GetTotalRange(), 4096);

    protocol.SetBPP(16);
    protocol.SetSigned(true);
    protocol.SetRescaleIntercept(0);
    EXPECT_EQ(protocol.GetStartRange(), -32768);
    EXPECT_EQ(protocol.GetEndRange(), 32767);
    EXPECT_EQ(protocol.GetTotalRange(), 65536);

    protocol.SetRescaleSlope(0.5f);
    protocol.SetRescaleIntercept(10);
    EXPECT_EQ(protocol.GetStartRange(), 10 - 16384);
    EXPECT_EQ(protocol.GetEndRange(), 10 + 16383);  // trunc(32767 * 0.5)

    protocol.SetIsHounsfield(true);
    EXPECT_EQ(protocol.GetStartRange(), -1024);
    EXPECT_EQ(protocol.GetEndRange(), 3095);
    EXPECT_EQ(protocol.GetTotalRange(), 4120);
}

TEST(VXR_VOLR_ColorProtocol, ValueRangeSaturatesForSlopesThatOverflow) {
    VXR_VOLR_ColorProtocol protocol;
    protocol.SetBPP(16);
    protocol.SetSigned(true);
    protocol.SetRescaleIntercept(-2000000000);
    protocol.SetRescaleSlope(1e9f);
    EXPECT_EQ(protocol.GetStartRange(), std::numeric_limits<int>::min());
    EXPECT_EQ(protocol.GetEndRange(), 2147483647 - 2000000000);
    protocol.SetRescaleSlope(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(protocol.GetStartRange(), -2000000000);
    EXPECT_EQ(protocol.GetEndRange(), -2000000000);
    EXPECT_EQ(protocol.GetTotalRange(), 1);
    protocol.SetRescaleIntercept(2000000000);
    protocol.SetRescaleSlope(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(protocol.GetStartRange(), std::numeric_limits<int>::max());
    EXPECT_EQ(protocol.GetTotalRange(), std::numeric_limits<int>::min());
    protocol.SetBPP(40);  // no shift by the bit count anywhere
    protocol.SetRescaleSlope(1.0f);
    // 2^39 truncates to the int limit: 2000000000 - 2147483647 and a saturated end.
    EXPECT_EQ(protocol.GetStartRange(), -147483647);
    EXPECT_EQ(protocol.GetEndRange(), std::numeric_limits<int>::max());
}

TEST(VXR_VOLR_ColorProtocol, InterceptAndSlopeConversionsTruncateTheProduct) {
    VXR_VOLR_ColorProtocol protocol;
    protocol.SetRescaleSlope(0.5f);
    protocol.SetRescaleIntercept(10);
    EXPECT_EQ(protocol.ApplyInterceptAndSlop(3), 11);
    EXPECT_EQ(protocol.ApplyInterceptAndSlop(-3), 9);  // trunc(-1.5) = -1
    EXPECT_EQ(protocol.InverseInterceptAndSlop(11), 2);
    EXPECT_EQ(protocol.InverseInterceptAndSlop(7), -6);
    protocol.SetRescaleSlope(0.0f);
    EXPECT_EQ(protocol.InverseInterceptAndSlop(11), std::numeric_limits<int>::max());
    EXPECT_EQ(protocol.InverseInterceptAndSlop(10), 0) << "0 / 0 is NaN, which truncates to 0";
}

TEST(VXR_VOLR_ColorProtocol, InterceptSlopeAndRangeAreEvaluatedInDoubleNotRoundedToFloatFirst) {
    VXR_VOLR_ColorProtocol protocol;
    // 0.7f is 0.699999988: 10 * 0.7f is 6.99999988 and truncates to 6 (the
    // product rounded to float would be 7).
    protocol.SetRescaleSlope(0.7f);
    EXPECT_EQ(protocol.ApplyInterceptAndSlop(10), 6);
    protocol.SetRescaleIntercept(5);
    EXPECT_EQ(protocol.ApplyInterceptAndSlop(10), 11);
    // 3 / 0.3f (0.300000012) is 9.9999996 (rounded to float it would be 10).
    protocol.SetRescaleIntercept(0);
    protocol.SetRescaleSlope(0.3f);
    EXPECT_EQ(protocol.InverseInterceptAndSlop(3), 9);
    // (2^23 - 1) * 0.7f is 5872024.8 (rounded to float it would be 5872025).
    protocol.SetRescaleSlope(0.7f);
    protocol.SetBPP(23);
    EXPECT_EQ(protocol.GetEndRange(), 5872024);
    protocol.SetSigned(true);
    protocol.SetBPP(24);
    EXPECT_EQ(protocol.GetEndRange(), 5872024);
    EXPECT_EQ(protocol.GetStartRange(), -5872025);  // 2^23 * 0.7f = 5872025.5 exactly
}

// --- tissues ---------------------------------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, TissueLookUpLowerCasesTheKeyOnly) {
    VXR_VOLR_ColorProtocol protocol;
    std::unique_ptr<VXR_VOLR_ColorClass> vessel(Named("vessel"));
    std::unique_ptr<VXR_VOLR_ColorClass> upper(Named("BONE"));
    VXR_VOLR_TissueClassHash hash;
    hash.insertKeyAndValue(_bstr_t("vessel"), vessel.get());
    hash.insertKeyAndValue(_bstr_t("BONE"), upper.get());
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("vessel")), nullptr) << "no hash yet";
    protocol.PutTissueClassHash(&hash);
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("vessel")), vessel.get());
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("Vessel")), vessel.get());
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("VESSEL")), vessel.get());
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("BONE")), nullptr)
        << "a key stored in upper case is never found";
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t("lung")), nullptr);
    EXPECT_EQ(protocol.GetTissueDefClass(_bstr_t()), nullptr);
}

TEST(VXR_VOLR_ColorProtocol, PlaceHoldersAreCopiesAndFallBackToTheHostClass) {
    VXR_VOLR_ColorProtocol protocol;
    std::unique_ptr<VXR_VOLR_ColorClass> hostVessel(Named("host vessel"));
    VXR_VOLR_TissueClassHash hash;
    hash.insertKeyAndValue(_bstr_t("vessel"), hostVessel.get());
    protocol.PutTissueClassHash(&hash);
    EXPECT_EQ(protocol.GetTissuePlaceHolder(TIS_VESSEL), hostVessel.get());
    EXPECT_EQ(protocol.GetTissuePlaceHolder(TIS_BONE), nullptr);

    std::unique_ptr<VXR_VOLR_ColorClass> mine(Named("my vessel"));
    protocol.PutTissuePlaceHolder(TIS_VESSEL, mine.get());
    VXR_VOLR_ColorClass* held = protocol.GetTissuePlaceHolder(TIS_VESSEL);
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, mine.get()) << "the protocol holds a copy";
    EXPECT_EQ(NameOf(held), "my vessel");
    mine->SetName(_bstr_t("changed"));
    EXPECT_EQ(NameOf(protocol.GetTissuePlaceHolder(TIS_VESSEL)), "my vessel");

    protocol.PutTissuePlaceHolder(TIS_VESSEL, nullptr);
    EXPECT_EQ(protocol.GetTissuePlaceHolder(TIS_VESSEL), hostVessel.get());

    EXPECT_EQ(protocol.GetTissuePlaceHolder(static_cast<TIS_TissueType>(5)), nullptr);
    EXPECT_EQ(protocol.GetTissuePlaceHolder(static_cast<TIS_TissueType>(-1)), nullptr);
    EXPECT_THROW(protocol.PutTissuePlaceHolder(static_cast<TIS_TissueType>(5), hostVessel.get()),
                 RWBoundsErr);
    EXPECT_THROW(protocol.PutTissuePlaceHolder(static_cast<TIS_TissueType>(-1), hostVessel.get()),
                 RWBoundsErr);
}

// --- copying and freezing ---------------------------------------------------------------------

TEST(VXR_VOLR_ColorProtocol, CopiesOwnTheirClassesAndPlaceHoldersAndShareTheHash) {
    VXR_VOLR_TissueClassHash hash;
    auto source = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("shown"), 0.6f);
    source->SetName(_bstr_t("id"));
    source->SetBPP(8);
    source->SetSigned(true);
    source->SetIsLighting(true);
    source->SetIsGrayscale(true);
    source->SetOpacityThreshold(0.3f);
    source->SetIsHounsfield(true);
    source->SetRescaleIntercept(-7);
    source->SetRescaleSlope(2.5f);
    source->SetIsDecreseOpMode(true);
    source->SetIsVisible(false);
    source->PutTissueClassHash(&hash);
    source->AddColorClass(Named("a"), -1);
    source->AddColorClass(Named("b"), -1);
    std::unique_ptr<VXR_VOLR_ColorClass> lung(Named("lung"));
    source->PutTissuePlaceHolder(TIS_LUNG, lung.get());
    ++*source;
    ++*source;

    VXR_VOLR_ColorProtocol copy(*source);
    VXR_VOLR_ColorProtocol assigned;
    assigned.AddColorClass(Named("old"), -1);
    assigned = *source;
    for (VXR_VOLR_ColorProtocol* p : {&copy, &assigned}) {
        EXPECT_EQ(p->GetDisplayedName().utf8(), "shown");
        EXPECT_EQ(p->GetName().utf8(), "id");
        EXPECT_EQ(p->GetBPP(), 8);
        EXPECT_TRUE(p->GetSigned());
        EXPECT_TRUE(p->GetIsLighting());
        EXPECT_TRUE(p->IsGrayscale());
        EXPECT_EQ(p->GetOpacityThreshold(), 76);
        EXPECT_TRUE(p->GetIsHounsfield());
        EXPECT_EQ(p->GetRescaleIntercept(), -7);
        EXPECT_EQ(p->GetRescaleSlope(), 2.5f);
        EXPECT_TRUE(p->GetIsDecreseOpMode());
        EXPECT_FALSE(p->GetIsVisible());
        EXPECT_EQ(p->GetMaxOpacity(), 0.6f);
        EXPECT_EQ(p->GetCounter(), 2);
        ASSERT_EQ(p->GetClassCount(), 2u);
        EXPECT_NE(p->GetClass(0), source->GetClass(0));
        EXPECT_EQ(NameOf(p->GetClass(1)), "b");
        EXPECT_NE(p->GetTissuePlaceHolder(TIS_LUNG), source->GetTissuePlaceHolder(TIS_LUNG));
        EXPECT_EQ(NameOf(p->GetTissuePlaceHolder(TIS_LUNG)), "lung");
        EXPECT_FALSE(p->IsColorTableValid());
    }
    std::unique_ptr<VXR_VOLR_ColorClass> hosted(Named("hosted"));
    hash.insertKeyAndValue(_bstr_t("bone"), hosted.get());
    EXPECT_EQ(copy.GetTissuePlaceHolder(TIS_BONE), hosted.get()) << "the hash is shared";

    // The copies live on after the source is gone.
    source.reset();
    EXPECT_EQ(NameOf(copy.GetClass(0)), "a");
    EXPECT_EQ(NameOf(assigned.GetTissuePlaceHolder(TIS_LUNG)), "lung");
}

TEST(VXR_VOLR_ColorProtocol, SelfAssignmentKeepsEverything) {
    VXR_VOLR_ColorProtocol protocol(_bstr_t("p"), 1.0f);
    protocol.SetBPP(4);
    protocol.AddColorClass(Named("a"), -1);
    std::unique_ptr<VXR_VOLR_ColorClass> bone(Named("bone"));
    protocol.PutTissuePlaceHolder(TIS_BONE, bone.get());
    const unsigned int* table = protocol.GetColorTable();
    VXR_VOLR_ColorClass* cls = protocol.GetClass(0);
    VXR_VOLR_ColorProtocol& self = protocol;
    protocol = self;
    EXPECT_EQ(protocol.GetClass(0), cls);
    EXPECT_EQ(NameOf(protocol.GetTissuePlaceHolder(TIS_BONE)), "bone");
    EXPECT_EQ(protocol.GetColorTable(), table);
}

TEST(VXR_VOLR_ColorProtocol, AssignmentKeepsAnOwnedTableForTheNextCalculation) {
    VXR_VOLR_ColorProtocol target(_bstr_t("t"), 1.0f);
    target.SetBPP(8);
    target.AddColorClass(Named("a"), -1);
    const unsigned int* block = target.GetColorTable();
    VXR_VOLR_ColorProtocol source(_bstr_t("s"), 1.0f);
    source.SetBPP(8);
    source.AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    target = source;
    EXPECT_FALSE(target.IsColorTableValid());
    EXPECT_EQ(target.GetColorTable(), block);
    EXPECT_EQ(target.GetColorTable()[0], 0xff0000ffu);
}

TEST(VXR_VOLR_ColorProtocol, FreezeCopyTakesOnlyTheRendererState) {
    VXR_VOLR_ColorProtocol source(_bstr_t("live"), 1.0f);
    source.SetName(_bstr_t("live id"));
    source.SetBPP(6);
    source.SetSigned(true);
    source.SetIsLighting(true);
    source.SetIsGrayscale(true);
    source.SetOpacityThreshold(0.4f);
    source.SetRescaleSlope(3.0f);
    source.SetRescaleIntercept(-1024);
    source.SetIsHounsfield(true);
    source.SetIsVisible(true);
    source.SetIsDecreseOpMode(false);
    source.AddColorClass(Named("a"), -1);
    source.AddColorClass(Named("b"), -1);
    std::unique_ptr<VXR_VOLR_ColorClass> sourceBone(Named("source bone"));
    std::unique_ptr<VXR_VOLR_ColorClass> sourceLung(Named("source lung"));
    source.PutTissuePlaceHolder(TIS_BONE, sourceBone.get());
    source.PutTissuePlaceHolder(TIS_LUNG, sourceLung.get());
    ++source;

    VXR_VOLR_ColorProtocol image(_bstr_t("image"), 0.5f);
    image.SetName(_bstr_t("image id"));
    image.SetRescaleSlope(0.25f);
    image.SetRescaleIntercept(17);
    image.SetIsHounsfield(false);
    image.SetIsVisible(false);
    image.SetIsDecreseOpMode(true);
    image.AddColorClass(Named("own"), -1);
    std::unique_ptr<VXR_VOLR_ColorClass> imageBone(Named("image bone"));
    image.PutTissuePlaceHolder(TIS_BONE, imageBone.get());
    image.FreezeCopy(source);
    EXPECT_EQ(image.GetBPP(), 6);
    EXPECT_TRUE(image.GetSigned());
    EXPECT_TRUE(image.GetIsLighting());
    EXPECT_TRUE(image.IsGrayscale());
    EXPECT_EQ(image.GetOpacityThreshold(), source.GetOpacityThreshold());
    EXPECT_EQ(image.GetCounter(), 1);
    EXPECT_FALSE(image.IsAverageColorValid());
    // Everything else keeps the image's own values.
    EXPECT_FALSE(image.GetIsVisible());
    EXPECT_TRUE(image.GetIsDecreseOpMode());
    EXPECT_EQ(image.GetRescaleIntercept(), 17);
    EXPECT_EQ(image.GetRescaleSlope(), 0.25f);
    EXPECT_FALSE(image.GetIsHounsfield());
    EXPECT_EQ(image.GetMaxOpacity(), 0.5f);
    EXPECT_EQ(image.GetDisplayedName().utf8(), "image");
    EXPECT_EQ(image.GetName().utf8(), "image id");
    ASSERT_EQ(image.GetClassCount(), 1u);
    EXPECT_EQ(NameOf(image.GetClass(0)), "own");
    ASSERT_NE(image.GetTissuePlaceHolder(TIS_BONE), nullptr);
    EXPECT_EQ(NameOf(image.GetTissuePlaceHolder(TIS_BONE)), "image bone");
    EXPECT_EQ(image.GetTissuePlaceHolder(TIS_LUNG), nullptr);
    // ... and the source keeps its own.
    EXPECT_TRUE(source.GetIsVisible());
    EXPECT_EQ(source.GetRescaleIntercept(), -1024);
    EXPECT_EQ(source.GetClassCount(), 2u);
    EXPECT_EQ(NameOf(source.GetTissuePlaceHolder(TIS_BONE)), "source bone");
}

TEST(VXR_VOLR_ColorProtocol, CounterOperatorsOfTheBaseStayAvailable) {
    VXR_VOLR_ColorProtocol protocol;
    protocol = 41;
    ++protocol;
    EXPECT_EQ(*protocol, 42);
    UTL_ChangeCounter counter(7);
    protocol = counter;
    EXPECT_EQ(protocol.GetCounter(), 7);
    // The collectable base is identity-based.
    EXPECT_TRUE(protocol.isEqual(&protocol));
    EXPECT_EQ(protocol.isA(), RWCollectable::classID);
}
