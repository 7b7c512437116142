#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "support/AllocationFailure.h"
#include "support/ColorProtocolSamples.h"
#include "volr/VXR_VOLR_ColorProtocol.h"
#include "volr/VXR_VOLR_DisplayParams.h"

namespace {

using Display = VXR_VOLR_DisplayParams;
using vxrp_test::MakeFlatClass;

// Two opaque classes on 8 bits, counter `counter`.
std::unique_ptr<VXR_VOLR_ColorProtocol> TwoClassProtocol(int counter) {
    auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("two"), 1.0f);
    protocol->SetBPP(8);
    protocol->AddColorClass(MakeFlatClass("red", 255, 0, 0, 1.0f), -1);
    protocol->AddColorClass(MakeFlatClass("blue", 0, 0, 255, 1.0f), -1);
    *protocol = counter;
    return protocol;
}

}  // namespace

TEST(VXR_VOLR_DisplayParams, SetProtocolCountsEveryInstallAsAChange) {
    struct Case {
        int heldBefore;  // -1: no protocol held yet
        int given;
        int expected;
    };
    const Case cases[] = {
        {-1, 5, 5},                           // first install: above 0, p's counter is higher
        {5, 5, 6},                            // the same unchanged protocol again
        {10, 3, 11},                          // an older protocol still counts as a change
        {10, 20, 20},                         // a newer one keeps its own counter
        {-1, 0, 1},                           // a fresh protocol on an empty display
        {-1, -7, 1},  {INT_MAX, 4, INT_MIN},  // the counter wraps instead of counting forever
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        Display display;
        if (c.heldBefore >= 0) {
            auto first = TwoClassProtocol(0);
            display.SetProtocol(first.get());
            *display.GetProtocol() = c.heldBefore;
        }
        auto p = TwoClassProtocol(c.given);
        display.SetProtocol(p.get());
        ASSERT_NE(display.GetProtocol(), nullptr);
        EXPECT_NE(display.GetProtocol(), p.get());
        EXPECT_EQ(display.GetProtocol()->GetCounter(), c.expected);
        EXPECT_EQ(p->GetCounter(), c.given);
    }
}

TEST(VXR_VOLR_DisplayParams, NullProtocolChangesNothing) {
    Display display;
    display.SetProtocol(nullptr);
    EXPECT_EQ(display.GetProtocol(), nullptr);
    auto p = TwoClassProtocol(2);
    display.SetProtocol(p.get());
    VXR_VOLR_ColorProtocol* held = display.GetProtocol();
    display.SetProtocol(nullptr);
    EXPECT_EQ(display.GetProtocol(), held);
    EXPECT_EQ(held->GetCounter(), 2);
}

TEST(VXR_VOLR_DisplayParams, SetVisibleSwitchesEveryClassAndReportsAChangeOnce) {
    Display display;
    auto p = TwoClassProtocol(0);
    display.SetProtocol(p.get());
    VXR_VOLR_ColorProtocol* held = display.GetProtocol();
    ASSERT_NE(held->GetColorTable(), nullptr);

    EXPECT_TRUE(display.SetVisible(false));
    EXPECT_TRUE(held->IsAllClassDeactivated());
    EXPECT_FALSE(held->IsColorTableValid());
    EXPECT_FALSE(display.IsVisible());
    EXPECT_TRUE(display.WasVisible());
    EXPECT_FALSE(display.SetVisible(false));
    EXPECT_FALSE(display.WasVisible());

    EXPECT_TRUE(display.SetVisible(true));
    EXPECT_TRUE(held->GetClass(0)->GetIsActive());
    EXPECT_TRUE(held->GetClass(1)->GetIsActive());

    Display bare;
    EXPECT_TRUE(bare.SetVisible(false)) << "without a protocol only the flags change";
}

TEST(VXR_VOLR_DisplayParams, CopiesOwnSeparateProtocolsAndACopyWithoutOneKeepsTheOwn) {
    Display source;
    auto p = TwoClassProtocol(4);
    source.SetProtocol(p.get());
    source.SetVisible(false);

    Display constructed(source);
    Display assigned;
    assigned = source;
    Display assignedAsBase;
    static_cast<TIS_DisplayParams&>(assignedAsBase) = source;
    std::unique_ptr<TIS_DisplayParams> cloned(source.Clone());
    auto* clone = dynamic_cast<Display*>(cloned.get());
    ASSERT_NE(clone, nullptr);

    for (Display* copy : {&constructed, &assigned, &assignedAsBase, clone}) {
        ASSERT_NE(copy->GetProtocol(), nullptr);
        EXPECT_NE(copy->GetProtocol(), source.GetProtocol());
        EXPECT_EQ(copy->GetProtocol()->GetClassCount(), 2u);
        EXPECT_EQ(copy->GetProtocol()->GetCounter(), 4);
        EXPECT_FALSE(copy->IsVisible());
        EXPECT_TRUE(copy->WasVisible());
    }

    // A copy from a display without protocol (or from a plain one) keeps
    // this display's protocol and takes the flags.
    VXR_VOLR_ColorProtocol* held = assigned.GetProtocol();
    assigned = Display();
    EXPECT_EQ(assigned.GetProtocol(), held);
    EXPECT_TRUE(assigned.IsVisible());
    static_cast<TIS_DisplayParams&>(assigned) = TIS_DisplayParams();
    EXPECT_EQ(assigned.GetProtocol(), held);
    // Copying into a display that holds one assigns into it.
    assigned = source;
    EXPECT_EQ(assigned.GetProtocol(), held);
    assigned = *&assigned;
    EXPECT_EQ(assigned.GetProtocol(), held);
}

TEST(VXR_VOLR_DisplayParams, CreateObjectAndCloneAreOfThisClassOrNullWithoutMemory) {
    Display display;
    std::unique_ptr<TIS_DisplayParams> created(display.CreateObject());
    ASSERT_NE(dynamic_cast<Display*>(created.get()), nullptr);
    EXPECT_EQ(dynamic_cast<Display*>(created.get())->GetProtocol(), nullptr);

    auto p = TwoClassProtocol(1);
    display.SetProtocol(p.get());
    vxrp_test::NothrowNewFailure failing;
    EXPECT_EQ(display.Clone(), nullptr);
    EXPECT_EQ(display.CreateObject(), nullptr);
}

TEST(VXR_VOLR_DisplayParams, FreezeCopySharesTheSourceTableAndTakesTheFlags) {
    Display source;
    auto p = TwoClassProtocol(3);
    source.SetProtocol(p.get());
    source.SetVisible(false);
    source.SetVisible(true);

    Display image;
    image.FreezeCopy(nullptr);
    EXPECT_EQ(image.GetProtocol(), nullptr);
    Display bare;
    bare.SetVisible(false);
    image.FreezeCopy(&bare);
    EXPECT_EQ(image.GetProtocol(), nullptr) << "a source without protocol gives none";
    EXPECT_FALSE(image.IsVisible());

    image.FreezeCopy(&source);
    ASSERT_NE(image.GetProtocol(), nullptr);
    const unsigned int* table = source.GetProtocol()->GetColorTable();
    EXPECT_EQ(image.GetProtocol()->GetColorTable(), table);
    EXPECT_EQ(image.GetProtocol()->GetCounter(), source.GetProtocol()->GetCounter());
    EXPECT_TRUE(image.IsVisible());
    EXPECT_FALSE(image.WasVisible());

    TIS_DisplayParams plain;
    VXR_VOLR_ColorProtocol* held = image.GetProtocol();
    image.FreezeCopy(&plain);
    EXPECT_EQ(image.GetProtocol(), held);
}
