// Owner types for the handles, strings and variants that the component acquires: each frees
// its resource when it leaves scope, so a routine that fails part-way still releases what it
// holds. COM interface pointers use Microsoft::WRL::ComPtr.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <utility>

namespace tools {

using Microsoft::WRL::ComPtr;

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
inline void CloseHandleQuietly(HANDLE h) { ::CloseHandle(h); }
inline void LocalFreeQuietly(HLOCAL h) { ::LocalFree(h); }
inline void RegCloseKeyQuietly(HKEY h) { ::RegCloseKey(h); }
inline void FreeLibraryQuietly(HMODULE h) { ::FreeLibrary(h); }
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
inline std::wstring_view BstrView(BSTR value) { return {value ? value : L"", ::SysStringLen(value)}; }

} // namespace tools
