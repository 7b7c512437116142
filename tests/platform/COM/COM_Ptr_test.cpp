#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "COM/COM_Error.h"
#include "COM/COM_Ptr.h"

namespace {

class Counted : public COM_Unknown {
  public:
    explicit Counted(int* pDestroyed) : m_pDestroyed(pDestroyed) {}
    int Value() const { return 42; }

  private:
    ~Counted() override { ++*m_pDestroyed; }
    int* m_pDestroyed;
};

using CountedPtr = COM_Ptr<Counted>;

}  // namespace

TEST(COM_Ptr, CopiesAddReferencesAndTheLastReleaseDeletes) {
    int destroyed = 0;
    {
        CountedPtr a(new Counted(&destroyed));
        {
            CountedPtr b = a;
            CountedPtr c;
            c = b;
            EXPECT_EQ(a.GetInterfacePtr(), c.GetInterfacePtr());
            EXPECT_EQ(a->AddRef(), 4u);  // a, b, c and this one
            EXPECT_EQ(a->Release(), 3u);
        }
        EXPECT_EQ(destroyed, 0);
        CountedPtr moved = std::move(a);
        EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move): moved-from is null
        EXPECT_EQ(moved->Value(), 42);
        moved = moved;  // self-assignment keeps the object
        EXPECT_EQ(destroyed, 0);
        EXPECT_EQ(moved->Value(), 42);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(COM_Ptr, AdoptingTakesOverAReferenceWithoutAddingOne) {
    int destroyed = 0;
    Counted* raw = new Counted(&destroyed);
    raw->AddRef();
    { CountedPtr adopted(raw, false); }
    EXPECT_EQ(destroyed, 1);
}

TEST(COM_Ptr, AssigningReleasesTheOldObject) {
    int destroyedA = 0;
    int destroyedB = 0;
    CountedPtr p(new Counted(&destroyedA));
    p = CountedPtr(new Counted(&destroyedB));
    EXPECT_EQ(destroyedA, 1);
    p = nullptr;
    EXPECT_EQ(destroyedB, 1);
    EXPECT_TRUE(p == nullptr);
}

TEST(COM_Ptr, CallingThroughNullRaisesEPointer) {
    CountedPtr p;
    try {
        (void)p->Value();
        FAIL() << "no error raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}

TEST(_com_error, CarriesTheCodeAndAReadableMessage) {
    const _com_error withText(E_INVALIDARG, _bstr_t("CFG_ITree::GetInt(\"r\"): bad"));
    EXPECT_EQ(withText.Error(), E_INVALIDARG);
    EXPECT_STREQ(withText.what(), "CFG_ITree::GetInt(\"r\"): bad (HRESULT 0x80070057)");
    EXPECT_STREQ(withText.ErrorMessage(), withText.what());
    EXPECT_EQ(withText.Description().utf8(), "CFG_ITree::GetInt(\"r\"): bad");
    const _com_error bare(E_FAIL);
    EXPECT_STREQ(bare.what(), "COM error (HRESULT 0x80004005)");
    EXPECT_TRUE(bare.Description().is_null());
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_OK));
    // Callers that only know standard exceptions still see it.
    EXPECT_THROW(COM_RaiseError(E_OUTOFMEMORY, "x"), std::exception);
}
