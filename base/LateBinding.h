// Late binding: calling an automation object's members by name through IDispatch, the way a
// script host does. The name lookup and the call each have two forms: GetDispatchId and
// TryInvoke hand back what the object answered, a failure included (tests assert on exactly
// that); DispatchId, Invoke and GetProperty throw a failure as base::Error with a readable
// description. Any of them throws std::bad_alloc when memory runs out.
#pragma once

#include "base/Owners.h"

#include <string>
#include <string_view>
#include <vector>

namespace base {

// What a late-bound call gave back.
struct Invocation {
    HRESULT hr = S_OK;        // what Invoke returned: DISP_E_EXCEPTION when the member raised one
    HRESULT scode = S_OK;     // the raised code: scode, or wCode as a FACILITY_CONTROL error
    std::wstring description; // the raised description and source, empty when none was raised
    std::wstring source;
    UniqueVariant result;
};

// Arguments for late-bound calls: a Boolean (VT_BOOL) and a text (VT_BSTR).
UniqueVariant BoolVariant(bool value);
UniqueVariant TextVariant(std::wstring_view text);

// The DISPID of member `name` in `id`; GetIDsOfNames' HRESULT.
HRESULT GetDispatchId(IDispatch* object, std::wstring_view name, DISPID& id);

// The DISPID of member `name`; throws Error(hr, context + the system's message) when the object
// has no such member.
DISPID DispatchId(IDispatch* object, std::wstring_view name, std::wstring_view context);

// Calls member `id` with `flags` (DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT)
// and the arguments in call order. A property put passes its one argument as the named
// DISPID_PROPERTYPUT and asks for no result.
Invocation TryInvoke(IDispatch* object, DISPID id, WORD flags,
                     const std::vector<VARIANT*>& args = {});

// TryInvoke, returning the result. A failure throws Error with the raised code when the member
// raised one, otherwise the call's HRESULT, described as `context` followed by the raised
// description or, when that is empty (Wine raises some errors without one), the system's message.
UniqueVariant Invoke(IDispatch* object, DISPID id, WORD flags, const std::vector<VARIANT*>& args,
                     std::wstring_view context);

// Reads property `name` as script hosts do, as a get that may also be a method call: the objects
// of some systems (WMI's) answer only that form. Throws Error naming the property.
UniqueVariant GetProperty(IDispatch* object, std::wstring_view name);

} // namespace base
