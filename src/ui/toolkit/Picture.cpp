#include "ui/toolkit/Picture.h"

#include <objbase.h>
#include <wincodec.h>

namespace toolkit {
namespace {

using base::ComPtr;

// A factory per decode: the program decodes three pictures, all during start-up, and keeping the
// decoder alive afterwards would only hold memory for the rest of the run.
// wincodec.h's CLSID_WICImagingFactory (Windows 7's factory) and GUID_WICPixelFormat32bppPBGRA, as
// values: taking them from libuuid would link that library's whole table of imaging ids.
constexpr CLSID kClsidWicImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID kPixelFormat32bppPBGRA = {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, 0x10}};

bool CreateFactory(ComPtr<IWICImagingFactory>& factory) {
    // The program initialises COM at its start; tests and tools may not have (then this does it once).
    static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    return SUCCEEDED(CoCreateInstance(kClsidWicImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                      reinterpret_cast<void**>(factory.Put())));
}

base::UniqueHbitmap CreateDib(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, like WIC's rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return base::UniqueHbitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

}  // namespace

std::shared_ptr<const Picture> Picture::FromResource(int resourceId) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return nullptr;
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? FromBytes(data, SizeofResource(module, info)) : nullptr;
}

std::shared_ptr<const Picture> Picture::FromBytes(const void* data, size_t size) {
    ComPtr<IWICImagingFactory> factory;
    if (!data || size == 0 || !CreateFactory(factory)) return nullptr;
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), static_cast<DWORD>(size))))
        return nullptr;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), kPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) return nullptr;
    void* bits = nullptr;
    base::UniqueHbitmap bitmap = CreateDib(static_cast<int>(width), static_cast<int>(height), &bits);
    if (!bitmap) return nullptr;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits))))
        return nullptr;
    SIZE sizePx{static_cast<LONG>(width), static_cast<LONG>(height)};
    return std::shared_ptr<const Picture>(new Picture(std::move(bitmap), sizePx));
}

SIZE Picture::SizeAtDpi(UINT dpi) const {
    return {MulDiv(m_sizePx.cx, static_cast<int>(dpi), 96), MulDiv(m_sizePx.cy, static_cast<int>(dpi), 96)};
}

void Picture::Draw(HDC dc, int x, int y, UINT dpi) const {
    base::UniqueMemoryDc memory(CreateCompatibleDC(dc));
    if (!memory) return;
    base::ScopedSelectObject selected(memory.Get(), m_bitmap.Get());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const SIZE shown = SizeAtDpi(dpi);
    // gdi32's own export: msimg32 is not a known DLL and could be planted beside the exe.
    GdiAlphaBlend(dc, x, y, shown.cx, shown.cy, memory.Get(), 0, 0, m_sizePx.cx, m_sizePx.cy, blend);
}

}  // namespace toolkit
