#pragma once
// Owning handles for COM interface pointers, BSTRs and VARIANTs: the only places that call Release,
// SysFreeString and VariantClear.

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace varnok {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) { addRef(); }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~ComPtr() { release(); }

    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr attach(T* raw) noexcept
    {
        ComPtr p;
        p.ptr_ = raw;
        return p;
    }

    // Shares a reference: adds one of its own.
    static ComPtr copy(T* raw) noexcept
    {
        ComPtr p;
        p.ptr_ = raw;
        p.addRef();
        return p;
    }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // For out-parameters: drops what was held and hands out the slot.
    T** put() noexcept
    {
        release();
        return &ptr_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    T* detach() noexcept { return std::exchange(ptr_, nullptr); }
    void reset() noexcept { release(); }

    template <typename U>
    ComPtr<U> query(REFIID iid) const noexcept
    {
        ComPtr<U> result;
        if (ptr_)
            ptr_->QueryInterface(iid, result.putVoid());
        return result;
    }

private:
    void addRef() noexcept
    {
        if (ptr_)
            ptr_->AddRef();
    }
    void release() noexcept
    {
        if (T* p = std::exchange(ptr_, nullptr))
            p->Release();
    }

    T* ptr_ = nullptr;
};

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::u16string_view text) : str_(allocate(text)) {}
    Bstr(const Bstr& other) : str_(other.str_ ? allocate(other.view()) : nullptr) {}
    Bstr(Bstr&& other) noexcept : str_(std::exchange(other.str_, nullptr)) {}
    ~Bstr() { ::SysFreeString(str_); }

    Bstr& operator=(Bstr other) noexcept
    {
        std::swap(str_, other.str_);
        return *this;
    }

    static Bstr attach(BSTR raw) noexcept
    {
        Bstr b;
        b.str_ = raw;
        return b;
    }

    BSTR get() const noexcept { return str_; }
    BSTR* put() noexcept
    {
        ::SysFreeString(std::exchange(str_, nullptr));
        return &str_;
    }
    BSTR detach() noexcept { return std::exchange(str_, nullptr); }

    // A null BSTR counts as the empty text.
    std::u16string_view view() const noexcept { return viewOf(str_); }
    std::u16string text() const { return std::u16string(view()); }

    static std::u16string_view viewOf(BSTR s) noexcept
    {
        return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s), ::SysStringLen(s))
                 : std::u16string_view();
    }

private:
    static BSTR allocate(std::u16string_view text)
    {
        BSTR s = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
        if (!s)
            throw std::bad_alloc();
        return s;
    }

    BSTR str_ = nullptr;
};

class Variant {
public:
    Variant() noexcept { ::VariantInit(&v_); }
    explicit Variant(const Bstr& text) : Variant()
    {
        Bstr copy(text.view());
        v_.vt = VT_BSTR;
        v_.bstrVal = copy.detach();
    }
    explicit Variant(bool value) noexcept : Variant()
    {
        v_.vt = VT_BOOL;
        v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    explicit Variant(long value) noexcept : Variant()
    {
        v_.vt = VT_I4;
        v_.lVal = value;
    }
    explicit Variant(ComPtr<IUnknown> object) noexcept : Variant()
    {
        v_.vt = VT_UNKNOWN;
        v_.punkVal = object.detach();
    }
    Variant(Variant&& other) noexcept : v_(other.v_) { ::VariantInit(&other.v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&v_); }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT& value() const noexcept { return v_; }
    VARIANT* put() noexcept
    {
        ::VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// The strings an IDispatch exception hands back, freed with it.
class ExcepInfo {
public:
    ExcepInfo() noexcept = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo()
    {
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
    }

    EXCEPINFO* get() noexcept { return &info_; }
    SCODE scode() const noexcept { return info_.scode; }
    std::u16string_view description() const noexcept { return Bstr::viewOf(info_.bstrDescription); }

private:
    EXCEPINFO info_{};
};

inline std::wstring_view wideView(std::u16string_view s) noexcept
{
    return {reinterpret_cast<const wchar_t*>(s.data()), s.size()};
}

inline std::u16string_view u16View(std::wstring_view s) noexcept
{
    return {reinterpret_cast<const char16_t*>(s.data()), s.size()};
}

}  // namespace varnok
