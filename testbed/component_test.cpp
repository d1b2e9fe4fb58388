#include "testbed/component_test.h"

namespace testbed {

ComPtr<IDispatch> CreateDispatch(REFCLSID clsid) {
    ComPtr<IDispatch> object;
    HRESULT hr = CreateComponentObject(clsid, IID_IDispatch, object.put_void());
    EXPECT_EQ(hr, S_OK) << "creating the object";
    return object;
}

void ComponentTest::SetUp() {
    ASSERT_EQ(apartment_.entered(), S_OK);
}

std::wstring ComponentTest::TempPath(std::wstring_view suffix) {
    return tempFiles_.emplace_back(suffix).path();
}

} // namespace testbed
