// Owner types for the handles, strings, variants and COM pointers that the component acquires:
// each frees its resource when it leaves scope, so a routine that fails part-way still
// releases what it holds.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tools {

template <class T> class ComPtr;

// What `&ptr` gives for a ComPtr: the slot of an out-parameter (the pointer held is released
// first), or the ComPtr itself for As().
template <class T> class ComPtrSlot {
public:
    explicit ComPtrSlot(ComPtr<T>* owner) : owner_(owner) {}
    operator T**() const { return owner_->ReleaseAndGetAddressOf(); }
    operator void**() const { return reinterpret_cast<void**>(owner_->ReleaseAndGetAddressOf()); }
    operator ComPtr<T>*() const { return owner_; }

private:
    ComPtr<T>* owner_;
};

// An owned COM interface pointer, with the members of WRL's ComPtr that this code uses.
// (MinGW's own WRL ComPtr adds a reference in Attach, which would leak every object.)
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* pointer) : pointer_(pointer) { AddRefHeld(); }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : pointer_(other.Get()) {
        AddRefHeld();
    }
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // Releases what is held; returns the count that Release reported (0 when nothing was held).
    unsigned long Reset() {
        T* held = std::exchange(pointer_, nullptr);
        return held ? held->Release() : 0;
    }
    // Takes over a reference that the caller owns.
    void Attach(T* pointer) {
        Reset();
        pointer_ = pointer;
    }
    // Hands the reference over to the caller.
    T* Detach() { return std::exchange(pointer_, nullptr); }

    T** GetAddressOf() { return &pointer_; }
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &pointer_;
    }

    ComPtrSlot<T> operator&() { return ComPtrSlot<T>(this); }

    template <class U> HRESULT As(ComPtr<U>* other) const {
        if (!pointer_) {
            return E_POINTER;
        }
        return pointer_->QueryInterface(__uuidof(U),
                                        reinterpret_cast<void**>(other->ReleaseAndGetAddressOf()));
    }
    template <class U> HRESULT As(ComPtrSlot<U> other) const {
        return As(static_cast<ComPtr<U>*>(other));
    }
    HRESULT CopyTo(T** out) const {
        AddRefHeld();
        *out = pointer_;
        return S_OK;
    }

private:
    void AddRefHeld() const {
        if (pointer_) {
            pointer_->AddRef();
        }
    }

    T* pointer_ = nullptr;
};

// A resource owner parameterised by the function that releases it.
template <class T, auto Close, T Invalid = T{}> class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid) {
            Close(value_);
        }
        value_ = value;
    }
    // For out-parameters: frees what is held and hands out the slot.
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

namespace detail {
inline void CloseHandleQuietly(HANDLE h) {
    ::CloseHandle(h);
}
inline void LocalFreeQuietly(HLOCAL h) {
    ::LocalFree(h);
}
inline void RegCloseKeyQuietly(HKEY h) {
    ::RegCloseKey(h);
}
inline void FreeLibraryQuietly(HMODULE h) {
    ::FreeLibrary(h);
}
} // namespace detail

using UniqueHandle = UniqueResource<HANDLE, detail::CloseHandleQuietly>;
using UniqueLocal = UniqueResource<HLOCAL, detail::LocalFreeQuietly>;
using UniqueKey = UniqueResource<HKEY, detail::RegCloseKeyQuietly>;
using UniqueModule = UniqueResource<HMODULE, detail::FreeLibraryQuietly>;

// A BSTR that this code owns.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text);
    UniqueBstr(UniqueBstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        reset(std::exchange(other.value_, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    BSTR get() const { return value_; }
    BSTR release() { return std::exchange(value_, nullptr); }
    void reset(BSTR value = nullptr) {
        ::SysFreeString(value_);
        value_ = value;
    }
    BSTR* put() {
        reset();
        return &value_;
    }
    std::wstring str() const { return {value_, ::SysStringLen(value_)}; }

private:
    BSTR value_ = nullptr;
};

// A VARIANT that is cleared when it leaves scope.
class UniqueVariant : public VARIANT {
public:
    UniqueVariant() { ::VariantInit(this); }
    UniqueVariant(UniqueVariant&& other) noexcept : VARIANT(other) { ::VariantInit(&other); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(this);
            static_cast<VARIANT&>(*this) = other;
            ::VariantInit(&other);
        }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { ::VariantClear(this); }
    VARIANT* put() {
        ::VariantClear(this);
        return this;
    }
};

// The text of a BSTR that may be null: a null BSTR is the empty text.
inline std::wstring_view BstrView(BSTR value) {
    return {value ? value : L"", ::SysStringLen(value)};
}

} // namespace tools
