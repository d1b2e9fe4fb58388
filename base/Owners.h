// Owner types for the handles, strings, variants, COM pointers and type descriptions that the
// code acquires: each frees its resource when it leaves scope, so a routine that fails part-way
// still releases what it holds. Every owner speaks the same words: get() reads what is held,
// reset() frees it (and may take over another), release() hands it to the caller, and put()
// frees it and hands out the slot for an out-parameter.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>
#include <wininet.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace base {

// An owned COM interface pointer. Constructing from a raw pointer adds a reference;
// reset(pointer) takes over a reference that the caller owns.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* pointer) : pointer_(pointer) { AddRefHeld(); }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(other.release()) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) : pointer_(other.get()) {
        AddRefHeld();
    }
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // Releases what is held and takes over `owned`; returns the count that Release reported
    // (0 when nothing was held).
    unsigned long reset(T* owned = nullptr) {
        T* held = std::exchange(pointer_, owned);
        return held ? held->Release() : 0;
    }
    T* release() { return std::exchange(pointer_, nullptr); }
    T** put() {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    // The same object through interface U, or a failing HRESULT.
    template <class U> HRESULT query(ComPtr<U>& other) const {
        if (!pointer_) {
            return E_POINTER;
        }
        return pointer_->QueryInterface(__uuidof(U), other.put_void());
    }
    // A new reference for an out-parameter.
    HRESULT copy_to(T** out) const {
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

// Which values of a handle type own nothing. An owner holds empty() when it holds nothing.
template <class T> struct NullIsInvalid {
    static constexpr T empty() { return T{}; }
    static bool invalid(T value) { return value == T{}; }
};
// For handles that one family of functions reports as INVALID_HANDLE_VALUE and another as
// null: neither is closed.
struct NullOrInvalidHandle {
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static bool invalid(HANDLE value) { return value == nullptr || value == INVALID_HANDLE_VALUE; }
};

// A resource owner parameterised by the function that releases it and the values that own
// nothing.
template <class T, auto Close, class Invalid = NullIsInvalid<T>> class UniqueResource {
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
    explicit operator bool() const { return !Invalid::invalid(value_); }
    T release() { return std::exchange(value_, Invalid::empty()); }
    void reset(T value = Invalid::empty()) {
        if (!Invalid::invalid(value_)) {
            Close(value_);
        }
        value_ = value;
    }
    T* put() {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid::empty();
};

// How each kind of resource is released; what the release call returns is of no use here.
namespace detail {
inline constexpr auto kCloseHandle = [](HANDLE h) { ::CloseHandle(h); };
inline constexpr auto kFindClose = [](HANDLE h) { ::FindClose(h); };
inline constexpr auto kFindCloseUrlCache = [](HANDLE h) { ::FindCloseUrlCache(h); };
inline constexpr auto kLocalFree = [](HLOCAL h) { ::LocalFree(h); };
inline constexpr auto kRegCloseKey = [](HKEY h) { ::RegCloseKey(h); };
inline constexpr auto kFreeLibrary = [](HMODULE h) { ::FreeLibrary(h); };
inline constexpr auto kSysFreeString = [](BSTR text) { ::SysFreeString(text); };
} // namespace detail

// Processes, threads, events, mappings: null when there is none.
using UniqueHandle = UniqueResource<HANDLE, detail::kCloseHandle>;
// CreateFile's handles, which are INVALID_HANDLE_VALUE on failure.
using UniqueFile = UniqueResource<HANDLE, detail::kCloseHandle, NullOrInvalidHandle>;
// A FindFirstFile search.
using UniqueFind = UniqueResource<HANDLE, detail::kFindClose, NullOrInvalidHandle>;
// A FindFirstUrlCacheEntry enumeration.
using UniqueUrlCacheFind = UniqueResource<HANDLE, detail::kFindCloseUrlCache>;
using UniqueLocal = UniqueResource<HLOCAL, detail::kLocalFree>;
using UniqueKey = UniqueResource<HKEY, detail::kRegCloseKey>;
using UniqueModule = UniqueResource<HMODULE, detail::kFreeLibrary>;

// A BSTR that this code owns. Made from text it holds a copy; put() takes one that a call
// hands out.
class UniqueBstr : public UniqueResource<BSTR, detail::kSysFreeString> {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::wstring_view text);
    std::wstring str() const { return {get(), ::SysStringLen(get())}; }
};

// A VARIANT that is cleared when it leaves scope. The owner is the VARIANT itself, so its
// fields read directly; release() hands the whole value over and leaves VT_EMPTY behind.
class UniqueVariant : public VARIANT {
public:
    UniqueVariant() { ::VariantInit(this); }
    UniqueVariant(UniqueVariant&& other) noexcept : VARIANT(other.release()) {}
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { reset(); }

    VARIANT* get() { return this; }
    const VARIANT* get() const { return this; }
    void reset() { ::VariantClear(this); }
    // Clears what is held and takes over what `owned` holds.
    void reset(const VARIANT& owned) {
        reset();
        static_cast<VARIANT&>(*this) = owned;
    }
    VARIANT release() {
        VARIANT held = *this;
        ::VariantInit(this);
        return held;
    }
    VARIANT* put() {
        reset();
        return this;
    }
};

// An EXCEPINFO whose strings are freed when it leaves scope.
class UniqueExcepInfo : public EXCEPINFO {
public:
    UniqueExcepInfo() : EXCEPINFO{} {}
    UniqueExcepInfo(const UniqueExcepInfo&) = delete;
    UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;
    ~UniqueExcepInfo() { reset(); }
    void reset() {
        ::SysFreeString(bstrSource);
        ::SysFreeString(bstrDescription);
        ::SysFreeString(bstrHelpFile);
        static_cast<EXCEPINFO&>(*this) = EXCEPINFO{};
    }
    EXCEPINFO* put() {
        reset();
        return this;
    }
};

// A description that a type information or type library hands out and takes back: TYPEATTR,
// FUNCDESC, VARDESC, TLIBATTR. The owner keeps a reference on the source that gave it.
template <class Source, class Desc, auto Release> class UniqueTypeDesc {
public:
    explicit UniqueTypeDesc(Source* source) : source_(source) {}
    UniqueTypeDesc(const UniqueTypeDesc&) = delete;
    UniqueTypeDesc& operator=(const UniqueTypeDesc&) = delete;
    ~UniqueTypeDesc() { reset(); }

    Desc* get() const { return desc_; }
    Desc* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }
    // Gives back what is held to the source and takes over `owned`, which the same source gave.
    void reset(Desc* owned = nullptr) {
        if (Desc* held = std::exchange(desc_, owned)) {
            (source_.get()->*Release)(held);
        }
    }
    // Hands the description to the caller, who gives it back to the source.
    Desc* release() { return std::exchange(desc_, nullptr); }
    Desc** put() {
        reset();
        return &desc_;
    }

private:
    ComPtr<Source> source_;
    Desc* desc_ = nullptr;
};

using UniqueTypeAttr = UniqueTypeDesc<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using UniqueFuncDesc = UniqueTypeDesc<ITypeInfo, FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using UniqueVarDesc = UniqueTypeDesc<ITypeInfo, VARDESC, &ITypeInfo::ReleaseVarDesc>;
using UniqueTLibAttr = UniqueTypeDesc<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>;

// Runs a clean-up step once: when the scope ends, however it ends, or earlier through reset().
// release() dismisses it, for a step that only a failure part-way needs.
template <class Step> class ScopeExit {
public:
    explicit ScopeExit(Step step) : step_(std::move(step)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { reset(); }

    void reset() {
        if (std::exchange(pending_, false)) {
            step_();
        }
    }
    void release() { pending_ = false; }

private:
    Step step_;
    bool pending_ = true;
};

// The text of a BSTR that may be null: a null BSTR is the empty text.
inline std::wstring_view BstrView(BSTR value) {
    return {value ? value : L"", ::SysStringLen(value)};
}

// The BSTRs that a call writes into an array the caller provides (ITypeInfo::GetNames): every
// slot starts null, and each string written is freed when the owner leaves scope.
class UniqueBstrArray {
public:
    explicit UniqueBstrArray(size_t size) : strings_(size, nullptr) {}
    UniqueBstrArray(const UniqueBstrArray&) = delete;
    UniqueBstrArray& operator=(const UniqueBstrArray&) = delete;
    ~UniqueBstrArray() { reset(); }

    BSTR* get() { return strings_.data(); }
    BSTR operator[](size_t index) const { return strings_[index]; }
    size_t size() const { return strings_.size(); }
    void reset() {
        for (BSTR& string : strings_) {
            ::SysFreeString(std::exchange(string, nullptr));
        }
    }
    BSTR* put() {
        reset();
        return strings_.data();
    }

private:
    std::vector<BSTR> strings_;
};

} // namespace base
