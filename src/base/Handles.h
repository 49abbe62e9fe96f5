#pragma once
// Move-only owners for Win32 handles: every owning handle in the program is one of these, or one of
// the scoped helpers below, so nothing is ever released by hand.

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <utility>

namespace base {

// How many GDI objects and device contexts the owners below hold now. Task Manager's count of a
// process (GetGuiResources) is 0 under Wine, where the tests run, so the window tests read this one:
// opening and closing the windows many times must bring it back where it was.
inline std::atomic<long>& GdiObjectsHeld() {
    static std::atomic<long> held{0};
    return held;
}

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
    explicit OwnedHandle(H h) noexcept : m_h(h) { Took(h); }
    explicit OwnedHandle(Closer closer) noexcept : m_close(closer) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : m_close(other.m_close), m_h(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Replace(other.Release());
            m_close = other.m_close;
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    H Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Invalid; }
    // A counted object given away stays counted: the program never deletes one by hand.
    H Release() noexcept { return std::exchange(m_h, Invalid); }
    void Reset(H h = Invalid) noexcept {
        Took(h);
        Replace(h);
    }
    // For out-parameters: whatever was held is released first, so a reused owner never leaks.
    H* Put() noexcept {
        static_assert(!kCounts, "a counted owner takes its object through the constructor or Reset");
        Reset();
        return &m_h;
    }

private:
    static constexpr bool kCounts = requires(const Closer& c) { c.Took(); };
    void Took(H h) const noexcept {
        if constexpr (kCounts)
            if (h != Invalid) m_close.Took();
    }
    void Replace(H h) noexcept {
        H old = std::exchange(m_h, h);
        if (old != Invalid) m_close(old);
    }

    [[no_unique_address]] Closer m_close{};
    H m_h = Invalid;
};

template <class H, auto Close, H Invalid = H{}>
using UniqueHandle = OwnedHandle<H, FunctionCloser<Close>, Invalid>;

template <class H>
inline void DeleteGdiObject(H h) noexcept { DeleteObject(h); }
inline void CloseKernelHandle(HANDLE h) noexcept { CloseHandle(h); }
inline void DeleteMemoryDc(HDC dc) noexcept { DeleteDC(dc); }

// Deletes with a plain function and keeps GdiObjectsHeld.
template <auto Delete>
struct GdiCloser {
    void Took() const noexcept { ++GdiObjectsHeld(); }
    template <class H>
    void operator()(H h) const noexcept {
        --GdiObjectsHeld();
        Delete(h);
    }
};

using UniqueHfont = OwnedHandle<HFONT, GdiCloser<&DeleteGdiObject<HFONT>>>;
using UniqueHbrush = OwnedHandle<HBRUSH, GdiCloser<&DeleteGdiObject<HBRUSH>>>;
using UniqueHbitmap = OwnedHandle<HBITMAP, GdiCloser<&DeleteGdiObject<HBITMAP>>>;
using UniqueMemoryDc = OwnedHandle<HDC, GdiCloser<&DeleteMemoryDc>>;
// Process, thread and event handles (null when empty; a function that fails with
// INVALID_HANDLE_VALUE is checked before its handle is put in one of these).
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseKernelHandle>;
// A registry key opened with advapi32 directly (the Remote Desktop values go through the settings'
// table and its ScopedKey instead).
inline void CloseRegistryKey(HKEY key) noexcept { RegCloseKey(key); }
using UniqueRegistryKey = UniqueHandle<HKEY, &CloseRegistryKey>;
// Memory Windows hands out for LocalFree (security descriptors, SIDs, SID strings), typed as the call
// that fills it wants.
template <class P>
inline void FreeLocal(P memory) noexcept { LocalFree(memory); }
template <class P>
using UniqueLocal = UniqueHandle<P, &FreeLocal<P>>;

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
    explicit ScopedWindowDc(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {
        if (m_dc) ++GdiObjectsHeld();
    }
    ~ScopedWindowDc() {
        if (!m_dc) return;
        --GdiObjectsHeld();
        ReleaseDC(m_hwnd, m_dc);
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
