// The type library embedded in the module, read back as a host reads it.
#include "tests/support/component.h"

#include "ZUVezEradez3.h"

namespace {

using testing_support::ComponentModule;
using testing_support::ComponentTest;
using tools::ComPtr;

class TypeLibTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(ComponentModule(), path, MAX_PATH);
        ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, &lib_), S_OK);
    }
    void TearDown() override {
        lib_.Reset();
        ComponentTest::TearDown();
    }

    ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibTest, Loads) { EXPECT_EQ(lib_->GetTypeInfoCount(), 5u); }

} // namespace
