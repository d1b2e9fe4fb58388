#include "component/framework/class_factory.h"

#include "component/framework/module.h"
#include "base/Owners.h"

#include <new>

namespace component {

namespace {

// A class object. While anyone holds it, the module stays loaded, as for any object of the
// module: a host may keep a class object and create instances from it long after it got it,
// and CoFreeUnusedLibraries would otherwise unload the code under it. LockServer counts too.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ClassRecord& cls) : class_(cls) { ObjectCreated(); }
    ~ClassFactory() { ObjectDestroyed(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG remaining = ::InterlockedDecrement(&references_);
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        return class_.create(class_, outer, iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        component::LockServer(lock != FALSE);
        return S_OK;
    }

private:
    const ClassRecord& class_;
    LONG references_ = 1;
};

} // namespace

const ClassRecord* FindClass(const RegistrationRecord& record, REFCLSID clsid) {
    for (const auto& cls : record.classes) {
        if (*cls.clsid == clsid) {
            return &cls;
        }
    }
    return nullptr;
}

HRESULT GetClassObject(const RegistrationRecord& record, REFCLSID clsid, REFIID iid,
                       void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    const ClassRecord* cls = FindClass(record, clsid);
    if (!cls) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    base::ComPtr<IClassFactory> factory;
    factory.reset(new (std::nothrow) ClassFactory(*cls));
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    return factory->QueryInterface(iid, object);
}

} // namespace component
