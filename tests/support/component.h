// Test support for tests that drive the real component: the module loaded from beside the
// test program (no registration needed), objects created through its class objects, and
// late-bound calls made the way a script host makes them.
#pragma once

#include "base/LateBinding.h"
#include "base/Owners.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace testing_support {

using base::ComPtr;

// The loaded component module; loaded once per test program.
HMODULE ComponentModule();

// A new object of the class, or a failure of the creation.
HRESULT CreateComponentObject(REFCLSID clsid, REFIID iid, void** object);
ComPtr<IDispatch> CreateDispatch(REFCLSID clsid);

// A late-bound call's outcome: its HRESULT, its result and what the exception information
// carried (the member's own HRESULT when hr is DISP_E_EXCEPTION).
using CallOutcome = base::Invocation;

// A late-bound argument. Arguments are given in call order.
base::UniqueVariant Arg(const wchar_t* text);
base::UniqueVariant Arg(long value);
base::UniqueVariant ArgBool(bool value);

// The member's DISPID, or DISPID_UNKNOWN when the object has none.
DISPID DispIdOf(IDispatch* object, const wchar_t* name);

// Calls member `name` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT)
// and the arguments in call order, as a script host would; DISP_E_UNKNOWNNAME when the object
// has no such member.
CallOutcome Invoke(IDispatch* object, const wchar_t* name, WORD flags,
                   std::vector<VARIANT*> args = {});

// Convenience forms of Invoke.
CallOutcome Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args = {});
CallOutcome Get(IDispatch* object, const wchar_t* name);
CallOutcome Put(IDispatch* object, const wchar_t* name, VARIANT* value);

std::wstring TextOf(const VARIANT& value);

// Each test runs in a single-threaded apartment of its own.
class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A unique path for a file of this test in the temporary directory; deleted at TearDown.
    std::wstring TempPath(const std::wstring& suffix);

private:
    std::vector<std::wstring> tempFiles_;
};

} // namespace testing_support
