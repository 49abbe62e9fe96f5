#include "ui/toolkit/Fonts.h"

#include <cwchar>

#include "base/SystemLibrary.h"

namespace toolkit {
namespace {

NONCLIENTMETRICSW MetricsForDpi(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    using ForDpiFn = BOOL WINAPI(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = base::SystemFunctionAs<ForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) return metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    // Older systems report the metrics at the screen's DPI: scale them to the window's.
    const base::ScopedWindowDc screen(nullptr);
    const int screenDpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    if (screenDpi > 0) metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, screenDpi);
    return metrics;
}

}  // namespace

base::UniqueHfont CreateDefaultFont(UINT dpi) {
    NONCLIENTMETRICSW metrics = MetricsForDpi(dpi);
    return base::UniqueHfont(CreateFontIndirectW(&metrics.lfMessageFont));
}

bool FontFaceInstalled(const wchar_t* face, BYTE charset) {
    LOGFONTW query{};
    query.lfCharSet = charset;
    wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    const base::ScopedWindowDc screen(nullptr);
    bool found = false;
    EnumFontFamiliesExW(
        screen.Get(), &query, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM flag) -> int {
            *reinterpret_cast<bool*>(flag) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

base::UniqueHfont CreateFontFromSpec(const FontSpec& spec, UINT dpi) {
    LOGFONTW font{};
    font.lfHeight = -MulDiv(spec.centiPoints, static_cast<int>(dpi), 7200);
    font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = spec.charset;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const wchar_t* candidates[] = {spec.face, L"SimSun", L"NSimSun", L"新宋体", L"Microsoft YaHei", L"微软雅黑"};
    const wchar_t* chosen = nullptr;
    for (const wchar_t* face : candidates) {
        if (FontFaceInstalled(face, spec.charset)) {
            chosen = face;
            break;
        }
    }
    if (chosen) {
        wcsncpy(font.lfFaceName, chosen, LF_FACESIZE - 1);
    } else {
        // No Chinese face found by name: keep the default face, which the system links to one.
        wcsncpy(font.lfFaceName, MetricsForDpi(dpi).lfMessageFont.lfFaceName, LF_FACESIZE - 1);
    }
    return base::UniqueHfont(CreateFontIndirectW(&font));
}

}  // namespace toolkit
