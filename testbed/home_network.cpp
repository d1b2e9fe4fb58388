#include "testbed/home_network.h"

#include "base/Owners.h"

#include <objbase.h>
#include <oleauto.h>

#include <functional>
#include <type_traits>
#include <utility>

namespace testbed {

struct HomeNetworkStandIn::Seen {
    std::vector<HomeConnection> connections;
    std::wstring moniker;
    std::wstring query;
};

namespace {

using Seen = HomeNetworkStandIn::Seen;

// The reference counting and interface lookup of the stand-in's objects, which implement one
// interface (with IDispatch when it derives from it).
template <class Interface> class StandInObject : public Interface {
public:
    virtual ~StandInObject() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == __uuidof(Interface) ||
            (std::is_base_of_v<IDispatch, Interface> && iid == IID_IDispatch)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

private:
    LONG references_ = 1;
};

// An automation object whose members' DISPIDs are their indexes in `names`; `call` answers a
// call of a member (or of DISPID_NEWENUM, which has no name) with the arguments that Invoke
// received, last first.
class StandInDispatch : public StandInObject<IDispatch> {
public:
    using Call = std::function<HRESULT(DISPID, const DISPPARAMS&, VARIANT&)>;
    StandInDispatch(std::vector<std::wstring> names, Call call)
        : names_(std::move(names)), call_(std::move(call)) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t member = 0; member < names_.size(); ++member) {
                if (::_wcsicmp(names[i], names_[member].c_str()) == 0) {
                    ids[i] = static_cast<DISPID>(member);
                }
            }
            if (ids[i] == DISPID_UNKNOWN) {
                hr = DISP_E_UNKNOWNNAME;
            }
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        if (!params) {
            return E_INVALIDARG;
        }
        base::UniqueVariant answer;
        const HRESULT hr = call_(id, *params, answer);
        if (SUCCEEDED(hr) && result) {
            *result = answer.release();
        }
        return hr;
    }

private:
    std::vector<std::wstring> names_;
    Call call_;
};

void Hand(IDispatch* object, VARIANT& result) {
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
}

IDispatch* NewConnection(const HomeConnection& connection) {
    return new StandInDispatch(
        {L"Name", L"IsLANConnection"}, [connection](DISPID id, const DISPPARAMS&, VARIANT& result) {
            if (id == 0) {
                result.vt = VT_BSTR;
                result.bstrVal = ::SysAllocString(connection.name.c_str());
            } else {
                result.vt = VT_BOOL;
                result.boolVal = connection.lan ? VARIANT_TRUE : VARIANT_FALSE;
            }
            return S_OK;
        });
}

class ConnectionEnumerator : public StandInObject<IEnumVARIANT> {
public:
    explicit ConnectionEnumerator(std::shared_ptr<Seen> seen) : seen_(std::move(seen)) {}

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        ULONG given = 0;
        for (; given < count && next_ < seen_->connections.size(); ++given) {
            Hand(NewConnection(seen_->connections[next_++]), items[given]);
        }
        if (fetched) {
            *fetched = given;
        }
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        next_ += count;
        return next_ <= seen_->connections.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::shared_ptr<Seen> seen_;
    size_t next_ = 0;
};

IDispatch* NewObjectSet(std::shared_ptr<Seen> seen) {
    return new StandInDispatch({}, [seen](DISPID id, const DISPPARAMS&, VARIANT& result) {
        if (id != DISPID_NEWENUM) {
            return DISP_E_MEMBERNOTFOUND;
        }
        result.vt = VT_UNKNOWN;
        result.punkVal = new ConnectionEnumerator(seen);
        return S_OK;
    });
}

IDispatch* NewNamespace(std::shared_ptr<Seen> seen) {
    return new StandInDispatch({L"ExecQuery"},
                               [seen](DISPID, const DISPPARAMS& params, VARIANT& result) {
                                   if (params.cArgs == 0) {
                                       return DISP_E_BADPARAMCOUNT;
                                   }
                                   // The first argument is the last one passed.
                                   const VARIANT& query = params.rgvarg[params.cArgs - 1];
                                   if (query.vt != VT_BSTR) {
                                       return DISP_E_TYPEMISMATCH;
                                   }
                                   seen->query = query.bstrVal ? query.bstrVal : L"";
                                   Hand(NewObjectSet(seen), result);
                                   return S_OK;
                               });
}

// The class object that stands in for "winmgmts": it turns every moniker into one that binds
// to the stand-in namespace.
class MonikerParser : public StandInObject<IParseDisplayName> {
public:
    explicit MonikerParser(std::shared_ptr<Seen> seen) : seen_(std::move(seen)) {}

    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR name, ULONG* eaten,
                                  IMoniker** moniker) override {
        seen_->moniker = name;
        *eaten = static_cast<ULONG>(seen_->moniker.size());
        base::ComPtr<IDispatch> space;
        space.reset(NewNamespace(seen_));
        return ::CreatePointerMoniker(space.get(), moniker);
    }

private:
    std::shared_ptr<Seen> seen_;
};

} // namespace

HomeNetworkStandIn::HomeNetworkStandIn(std::vector<HomeConnection> connections)
    : seen_(std::make_shared<Seen>()) {
    seen_->connections = std::move(connections);
    CLSID winmgmts{};
    registered_ = ::CLSIDFromProgID(L"winmgmts", &winmgmts);
    if (FAILED(registered_)) {
        return;
    }
    base::ComPtr<IUnknown> parser;
    parser.reset(new MonikerParser(seen_));
    registered_ = ::CoRegisterClassObject(winmgmts, parser.get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_);
}

HomeNetworkStandIn::~HomeNetworkStandIn() {
    if (SUCCEEDED(registered_)) {
        ::CoRevokeClassObject(cookie_);
    }
}

std::wstring HomeNetworkStandIn::moniker() const {
    return seen_->moniker;
}

std::wstring HomeNetworkStandIn::query() const {
    return seen_->query;
}

} // namespace testbed
