/*
 * The COM object plumbing shared by both classes: reference counting, QueryInterface,
 * type-information-driven IDispatch, ISupportErrorInfo, and the boundary through which every
 * member runs.
 *
 * A class derives from DispatchObject<Class, Interface>, implements the members of its default
 * interface and, when a new object needs setting up, overrides Initialize(). Each member body
 * runs inside Call(): the object holds a reference on itself for the whole call (a host may drop
 * its last reference while a member pumps messages), any base::Error or allocation failure
 * becomes a failing HRESULT with error information, and the [out, retval] location is written on
 * every return with the result as it stood when the body ended. Initialize() runs inside the
 * same boundary when the object is created.
 */
#pragma once

#include "component/framework/boundary.h"
#include "component/framework/error_info.h"
#include "component/framework/module.h"
#include "component/framework/record.h"
#include "base/Error.h"
#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>

namespace component {

// Checks what type-information dispatch does not, before anything runs: argument counts and
// pointers that disagree (no DISPPARAMS, more named arguments than arguments, a count without
// its array) give E_INVALIDARG, and a required parameter that the caller left out gives
// DISP_E_PARAMNOTOPTIONAL. S_OK when every required argument is there or the member is unknown
// (dispatch then reports that itself).
HRESULT CheckRequiredArguments(ITypeInfo* vtable, DISPID member, WORD flags,
                               const DISPPARAMS* params) noexcept;

// How a member's result crosses the interface: the C++ value the body works on, and how it is
// written to the caller's [out, retval] location.
template <class Out> struct Result;
template <> struct Result<BSTR> {
    using Value = std::wstring;
    static HRESULT Write(BSTR* out, const Value& value) {
        *out = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
};
template <> struct Result<VARIANT_BOOL> {
    using Value = bool;
    static HRESULT Write(VARIANT_BOOL* out, Value value) {
        *out = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
};
template <> struct Result<long> {
    using Value = long;
    static HRESULT Write(long* out, Value value) {
        *out = value;
        return S_OK;
    }
};

// Class: the implementing class. Its identity is not its own: the class record that its class
// object creates it from gives the ProgID that its error information names as the source.
template <class Class, class Interface>
class DispatchObject : public Interface, public ISupportErrorInfo {
public:
    // The class object's CreateInstance for the class record cls: a new object that keeps the
    // record's ProgID, initialised, asked for the requested interface.
    static HRESULT Create(const ClassRecord& cls, IUnknown* outer, REFIID iid, void** object) {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        base::ComPtr<Class> created;
        created.reset(new (std::nothrow) Class());
        if (!created) {
            return E_OUTOFMEMORY;
        }
        if (HRESULT hr = created->Start(cls); FAILED(hr)) {
            return hr;
        }
        return created->QueryInterface(iid, object);
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
        } else if (iid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG remaining = ::InterlockedDecrement(&references_);
        if (remaining == 0) {
            delete static_cast<Class*>(this);
        }
        return remaining;
    }

    // IDispatch, driven by the type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        return typeInfo_.published.copy_to(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return ::DispGetIDsOfNames(typeInfo_.vtable.get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        HRESULT hr = CheckRequiredArguments(typeInfo_.vtable.get(), member, flags, params);
        if (FAILED(hr)) {
            return hr;
        }
        return ::DispInvoke(static_cast<Interface*>(this), typeInfo_.vtable.get(), member, flags,
                            params, result, exception, argError);
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Interface) ? S_OK : S_FALSE;
    }

protected:
    DispatchObject() { ObjectCreated(); }
    virtual ~DispatchObject() { ObjectDestroyed(); }

    // Sets up a new object before any caller holds it; a class that needs more than its
    // members' initialisers overrides this. A failure that it throws fails the creation with its
    // HRESULT. Creation publishes no error information of its own: the caller holds no object to
    // ask for it. What the object's own members publish when it calls them stays.
    virtual void Initialize() {}

    // This object as a host sees it, for calls to its own members.
    Interface* Self() { return static_cast<Interface*>(this); }

    // Runs a member without a result.
    template <class Body> HRESULT Call(Body&& body) noexcept {
        base::ComPtr<Interface> keepAlive(Self());
        return Guarded(body);
    }

    // Runs a member whose result goes to *out, written on every return.
    template <class Out, class Body> HRESULT Call(Out* out, Body&& body) noexcept {
        if (!out) {
            return E_POINTER;
        }
        base::ComPtr<Interface> keepAlive(Self());
        typename Result<Out>::Value value{};
        HRESULT hr = Guarded([&] { body(value); });
        HRESULT written = Result<Out>::Write(out, value);
        return FAILED(hr) ? hr : written;
    }

private:
    // Readies a new object made from the class record cls: its ProgID, its type information and
    // its own initialisation.
    HRESULT Start(const ClassRecord& cls) noexcept {
        progId_ = cls.progId;
        return CatchAtBoundary(
            [this] {
                base::ThrowIfFailed(LoadInterfaceTypeInfo(__uuidof(Interface), typeInfo_),
                                    L"Loading the type information");
                Initialize();
            },
            ResultOnly);
    }

    // Runs a member body; a failure becomes error information from this object.
    template <class Body> HRESULT Guarded(Body&& body) noexcept {
        return CatchAtBoundary(
            [&] {
                body();
                ClearErrorInfo();
            },
            [this](HRESULT hr, std::wstring_view description) {
                return ReportError(hr, description, progId_, __uuidof(Interface));
            });
    }

    LONG references_ = 1;
    std::wstring_view progId_;
    InterfaceTypeInfo typeInfo_;
};

} // namespace component
