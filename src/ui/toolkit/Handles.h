#pragma once
// Move-only owners for Win32 handles: every owning handle in the program is one of these.

#include <windows.h>

#include <utility>

namespace toolkit {

template <class H, auto Close, H Invalid = H{}>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(H h) noexcept : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    H Get() const noexcept { return m_h; }
    explicit operator bool() const noexcept { return m_h != Invalid; }
    H Release() noexcept { return std::exchange(m_h, Invalid); }
    void Reset(H h = Invalid) noexcept {
        H old = std::exchange(m_h, h);
        if (old != Invalid) Close(old);
    }

private:
    H m_h = Invalid;
};

template <class H>
inline void DeleteGdiObject(H h) noexcept { DeleteObject(h); }

using UniqueHfont = UniqueHandle<HFONT, &DeleteGdiObject<HFONT>>;
using UniqueHbrush = UniqueHandle<HBRUSH, &DeleteGdiObject<HBRUSH>>;
using UniqueHbitmap = UniqueHandle<HBITMAP, &DeleteGdiObject<HBITMAP>>;

}  // namespace toolkit
