// Late-bound calls made the way a script host makes them: members found by name, arguments
// given in call order.
#pragma once

#include "base/LateBinding.h"
#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace testbed {

// A late-bound call's outcome: its HRESULT, its result and what the exception information
// carried (the member's own HRESULT when hr is DISP_E_EXCEPTION).
using CallOutcome = base::Invocation;

// A late-bound argument; a null text is a null BSTR, which automation reads as "".
base::UniqueVariant Arg(const wchar_t* text);
base::UniqueVariant Arg(long value);
base::UniqueVariant ArgBool(bool value);

// The member's DISPID, or DISPID_UNKNOWN when the object has none.
DISPID DispIdOf(IDispatch* object, const wchar_t* name);

// Calls member `name` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT)
// and the arguments in call order; DISP_E_UNKNOWNNAME when the object has no such member.
CallOutcome Invoke(IDispatch* object, const wchar_t* name, WORD flags,
                   std::vector<VARIANT*> args = {});

// Convenience forms of Invoke.
CallOutcome Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args = {});
CallOutcome Get(IDispatch* object, const wchar_t* name);
CallOutcome Put(IDispatch* object, const wchar_t* name, VARIANT* value);

std::wstring TextOf(const VARIANT& value);

} // namespace testbed
