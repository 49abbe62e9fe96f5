#pragma once
// A decoded picture (GIF or JPEG from the program's resources) held as a 32-bit premultiplied DIB,
// so transparent surrounds blend over whatever lies behind them.

#include <windows.h>

#include <memory>

#include "base/Handles.h"

namespace toolkit {

class Picture {
public:
    // Decodes an RCDATA resource of the running module with the Windows Imaging Component.
    // Returns null when the resource is missing or cannot be decoded.
    static std::shared_ptr<const Picture> FromResource(int resourceId);
    static std::shared_ptr<const Picture> FromBytes(const void* data, size_t size);

    // Size in the picture's own pixels (at 96 DPI).
    SIZE SizePx() const { return m_sizePx; }
    // The size it is shown at on a display of the given DPI: its own physical size, like any other
    // part of the layout.
    SIZE SizeAtDpi(UINT dpi) const;
    void Draw(HDC dc, int x, int y, UINT dpi) const;

private:
    Picture(base::UniqueHbitmap bitmap, SIZE sizePx) : m_bitmap(std::move(bitmap)), m_sizePx(sizePx) {}
    base::UniqueHbitmap m_bitmap;
    SIZE m_sizePx{};
};

using PicturePtr = std::shared_ptr<const Picture>;

}  // namespace toolkit
