// The owners' words that hand over, take over or dismiss what they hold: a slip there frees a
// resource twice or never.
#include "base/LateBinding.h"
#include "base/Owners.h"

#include <gtest/gtest.h>

namespace {

TEST(ScopeExit, RunsItsStepOnceWhenRunEarlyAndNeverWhenDismissed) {
    int runs = 0;
    {
        base::ScopeExit early([&] { ++runs; });
        early.reset();
        EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 1);
    {
        base::ScopeExit dismissed([&] { ++runs; });
        dismissed.release();
    }
    EXPECT_EQ(runs, 1);
}

TEST(UniqueVariant, HandsItsValueOverAndTakesOneOver) {
    base::UniqueVariant text = base::TextVariant(L"kept");
    VARIANT handed = text.release();
    EXPECT_EQ(text.vt, VT_EMPTY);
    ASSERT_EQ(handed.vt, VT_BSTR);
    base::UniqueVariant owner;
    owner.reset(handed);
    EXPECT_EQ(owner.get()->bstrVal, handed.bstrVal);
    EXPECT_EQ(base::BstrView(owner.bstrVal), L"kept");
}

TEST(UniqueTypeDesc, HandsItsDescriptionOverAndTakesOneOver) {
    base::ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, library.put()), S_OK);
    base::UniqueTLibAttr attr(library.get());
    ASSERT_EQ(library->GetLibAttr(attr.put()), S_OK);
    TLIBATTR* handed = attr.release();
    EXPECT_FALSE(attr);
    ASSERT_NE(handed, nullptr);
    base::UniqueTLibAttr owner(library.get());
    owner.reset(handed);
    EXPECT_EQ(owner.get(), handed);
}

} // namespace
