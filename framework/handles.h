// Owners for the handles and blocks the library and its engine touch: each closes or frees
// what it holds exactly once, on every path, and leaves the thread's last error as it was,
// so clean-up on a failure path never hides the error being reported. Move-only.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace orrelin {

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() noexcept : m_value(Traits::Empty()) {}
    explicit UniqueAny(Type value) noexcept : m_value(value) {}
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    Type get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Empty(); }

    void reset(Type value = Traits::Empty()) noexcept
    {
        Type old = std::exchange(m_value, value);
        if (old != Traits::Empty()) {
            const DWORD lastError = GetLastError();
            Traits::Close(old);
            SetLastError(lastError);
        }
    }
    Type release() noexcept { return std::exchange(m_value, Traits::Empty()); }

    // For APIs that fill in a new handle; anything held before is closed first.
    Type* put() noexcept
    {
        reset();
        return &m_value;
    }

private:
    Type m_value;
};

namespace traits {
struct Handle {  // process, thread, event: empty is NULL
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct FileHandle {  // CreateFileW: empty is INVALID_HANDLE_VALUE
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct HKey {
    using Type = HKEY;
    static Type Empty() noexcept { return nullptr; }
    // The predefined roots are never closed.
    static void Close(Type h) noexcept
    {
        const LONG_PTR value = reinterpret_cast<LONG_PTR>(h);
        if (value >= static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u)) &&
            value <= static_cast<LONG_PTR>(static_cast<LONG>(0x80000007u)))
            return;
        RegCloseKey(h);
    }
};
struct Module {
    using Type = HMODULE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};
struct LocalMemory {
    using Type = HLOCAL;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { LocalFree(h); }
};
struct CoTaskMemory {
    using Type = void*;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type p) noexcept { CoTaskMemFree(p); }
};
struct Bstr {
    using Type = BSTR;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type s) noexcept { SysFreeString(s); }
};
struct Menu {
    using Type = HMENU;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DestroyMenu(h); }
};
struct GdiObject {  // fonts, brushes, pens, bitmaps
    using Type = HGDIOBJ;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};
struct MemoryDc {  // CreateCompatibleDC
    using Type = HDC;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteDC(h); }
};
struct Window {
    using Type = HWND;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DestroyWindow(h); }
};
struct ActCtx {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ReleaseActCtx(h); }
};
}  // namespace traits

using UniqueHandle = UniqueAny<traits::Handle>;
using UniqueFileHandle = UniqueAny<traits::FileHandle>;
using UniqueHKey = UniqueAny<traits::HKey>;
using UniqueModule = UniqueAny<traits::Module>;
using UniqueLocalMemory = UniqueAny<traits::LocalMemory>;
using UniqueCoTaskMemory = UniqueAny<traits::CoTaskMemory>;
using UniqueBstr = UniqueAny<traits::Bstr>;
using UniqueActCtx = UniqueAny<traits::ActCtx>;
using UniqueMenu = UniqueAny<traits::Menu>;
using UniqueGdiObject = UniqueAny<traits::GdiObject>;
using UniqueMemoryDc = UniqueAny<traits::MemoryDc>;
using UniqueWindow = UniqueAny<traits::Window>;

// A COM interface pointer that holds one reference.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ComPtr(const ComPtr& other) noexcept : m_ptr(other.m_ptr)
    {
        if (m_ptr) m_ptr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* ptr) noexcept
    {
        ComPtr result;
        result.m_ptr = ptr;
        return result;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    void reset() noexcept
    {
        if (T* old = std::exchange(m_ptr, nullptr)) old->Release();
    }
    T* detach() noexcept { return std::exchange(m_ptr, nullptr); }
    T** put() noexcept
    {
        reset();
        return &m_ptr;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* m_ptr = nullptr;
};

}  // namespace orrelin
