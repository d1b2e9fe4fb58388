// A member that runs out of memory still returns E_OUTOFMEMORY: publishing its error
// information allocates nothing that can throw, so the boundary cannot end the process.
#include "component/framework/boundary.h"
#include "component/framework/error_info.h"

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

// While set, every allocation through operator new fails, as in an exhausted address space.
// (The runtime's operator delete frees with free(), which matches the malloc() below.)
bool exhausted = false;

} // namespace

void* operator new(std::size_t size) {
    void* block = exhausted ? nullptr : std::malloc(size ? size : 1);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

namespace {

TEST(ErrorInfo, ReportedWhileMemoryIsExhausted) {
    exhausted = true;
    HRESULT hr = component::CatchAtBoundary([] { throw std::bad_alloc(); },
                                            [](HRESULT failure, std::wstring_view description) {
                                                return component::ReportError(
                                                    failure, description, L"ZUVezEradez3.QKCache",
                                                    IID_IDispatch);
                                            });
    exhausted = false;
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR description = nullptr;
    EXPECT_EQ(info->GetDescription(&description), S_OK);
    EXPECT_STREQ(description, L"Not enough memory to complete the call");
    SysFreeString(description);
    info->Release();
}

} // namespace
