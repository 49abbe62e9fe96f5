#pragma once
// Move-only owners for Win32 handles: every owning handle in the program is one of these, or one of
// the scoped helpers below, so nothing is ever released by hand.

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace base {

// Closes with a plain function (CloseHandle, DeleteObject, ...).
template <auto Close>
struct FunctionCloser {
    template <class H>
    void operator()(H h) const noexcept { Close(h); }
};

// The one owner of a handle: H is closed by a Closer, which may carry state (the registry table a key
// was opened with) or be a plain function (UniqueHandle below).
template <class H, class Closer, H Invalid = H{}>
class OwnedHandle {
public:
    OwnedHandle() noexcept = default;
    explicit OwnedHandle(H h) noexcept : m_h(h) {}
    explicit OwnedHandle(Closer closer) noexcept : m_close(closer) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : m_close(other.m_close), m_h(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
            m_close = other.m_close;
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    H Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Invalid; }
    H Release() noexcept { return std::exchange(m_h, Invalid); }
    void Reset(H h = Invalid) noexcept {
        H old = std::exchange(m_h, h);
        if (old != Invalid) m_close(old);
    }
    // For out-parameters: whatever was held is released first, so a reused owner never leaks.
    H* Put() noexcept {
        Reset();
        return &m_h;
    }

private:
    [[no_unique_address]] Closer m_close{};
    H m_h = Invalid;
};

template <class H, auto Close, H Invalid = H{}>
using UniqueHandle = OwnedHandle<H, FunctionCloser<Close>, Invalid>;

template <class H>
inline void DeleteGdiObject(H h) noexcept { DeleteObject(h); }
inline void CloseKernelHandle(HANDLE h) noexcept { CloseHandle(h); }
inline void DeleteMemoryDc(HDC dc) noexcept { DeleteDC(dc); }

using UniqueHfont = UniqueHandle<HFONT, &DeleteGdiObject<HFONT>>;
using UniqueHbrush = UniqueHandle<HBRUSH, &DeleteGdiObject<HBRUSH>>;
using UniqueHbitmap = UniqueHandle<HBITMAP, &DeleteGdiObject<HBITMAP>>;
using UniqueMemoryDc = UniqueHandle<HDC, &DeleteMemoryDc>;
// Process, thread and event handles (null when empty; a function that fails with
// INVALID_HANDLE_VALUE is checked before its handle is put in one of these).
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseKernelHandle>;
// A registry key opened with advapi32 directly (the Remote Desktop values go through the settings'
// table and its ScopedKey instead).
inline void CloseRegistryKey(HKEY key) noexcept { RegCloseKey(key); }
using UniqueRegistryKey = UniqueHandle<HKEY, &CloseRegistryKey>;

// Releases a COM interface at the end of a scope.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T** Put() noexcept {
        Reset();
        return &m_p;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    T* operator->() const noexcept { return m_p; }
    T* Get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void Reset() noexcept {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// A window's (or, with null, the screen's) device context, released at the end of the scope.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {}
    ~ScopedWindowDc() {
        if (m_dc) ReleaseDC(m_hwnd, m_dc);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// Selects an object into a DC and puts the previous one back at the end of the scope.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (m_old && m_old != HGDI_ERROR) SelectObject(m_dc, m_old);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

}  // namespace base
