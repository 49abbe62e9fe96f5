#include "driver/MessageBoxReader.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "driver/Wait.h"
#include "driver/WindowFinder.h"

namespace e2e {
namespace {

// Control ids inside Wine's (and Windows') message box template.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x0440;

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> data;  // row by row, 0x00RRGGBB as the DIB holds it
};

class MemoryCanvas {
public:
    MemoryCanvas(int width, int height) : m_width(width), m_height(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        if (m_dc && m_bitmap) m_previous = SelectObject(m_dc, m_bitmap);
    }
    ~MemoryCanvas() {
        if (m_previous) SelectObject(m_dc, m_previous);
        if (m_bitmap) DeleteObject(m_bitmap);
        if (m_dc) DeleteDC(m_dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    bool Valid() const { return m_bits != nullptr; }
    HDC Dc() const { return m_dc; }
    Pixels Take() const {
        GdiFlush();
        Pixels p{m_width, m_height, {}};
        p.data.assign(m_bits, m_bits + static_cast<size_t>(m_width) * m_height);
        for (COLORREF& c : p.data) c &= 0x00FFFFFF;
        return p;
    }

private:
    int m_width;
    int m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    COLORREF* m_bits = nullptr;
};

// The screen under the rectangle, with a margin of `margin` pixels around it.
Pixels GrabScreen(const RECT& rect, int margin) {
    const int width = rect.right - rect.left + 2 * margin;
    const int height = rect.bottom - rect.top + 2 * margin;
    MemoryCanvas canvas(width, height);
    if (!canvas.Valid()) return {};
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.Dc(), 0, 0, width, height, screen, rect.left - margin, rect.top - margin, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return canvas.Take();
}

// A foreign HICON cannot be drawn here, so the system icon is drawn locally over the box's background
// and compared pixel by pixel with what the screen shows.
Pixels DrawSystemIcon(LPCWSTR which, int width, int height, COLORREF background) {
    MemoryCanvas canvas(width, height);
    if (!canvas.Valid()) return {};
    HBRUSH brush = CreateSolidBrush(RGB(GetBValue(background), GetGValue(background), GetRValue(background)));
    const RECT all{0, 0, width, height};
    FillRect(canvas.Dc(), &all, brush);
    DeleteObject(brush);
    DrawIconEx(canvas.Dc(), 0, 0, LoadIconW(nullptr, which), width, height, 0, nullptr, DI_NORMAL);
    return canvas.Take();
}

int DifferingPixels(const Pixels& shown, int margin, const Pixels& drawn) {
    int differing = 0;
    for (int y = 0; y < drawn.height; ++y)
        for (int x = 0; x < drawn.width; ++x)
            if (shown.data[static_cast<size_t>(y + margin) * shown.width + x + margin] !=
                drawn.data[static_cast<size_t>(y) * drawn.width + x])
                ++differing;
    return differing;
}

BoxIcon ClassifyOnce(HWND iconStatic) {
    constexpr int kMargin = 2;
    const RECT rect = ScreenRectOf(iconStatic);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return BoxIcon::Unrecognised;
    const Pixels shown = GrabScreen(rect, kMargin);
    if (shown.data.empty()) return BoxIcon::Unrecognised;
    const COLORREF background = shown.data.front();  // a corner of the margin: the box's own face
    struct Candidate {
        BoxIcon icon;
        LPCWSTR resource;
    };
    const std::array<Candidate, 3> candidates{{{BoxIcon::Exclamation, IDI_EXCLAMATION},
                                               {BoxIcon::Information, IDI_INFORMATION},
                                               {BoxIcon::Question, IDI_QUESTION}}};
    for (const Candidate& c : candidates) {
        const Pixels drawn = DrawSystemIcon(c.resource, width, height, background);
        if (!drawn.data.empty() && DifferingPixels(shown, kMargin, drawn) == 0) return c.icon;
    }
    return BoxIcon::Unrecognised;
}

// Wine keeps the icon static in a box without an icon, but empty and sized 0 x 0.
HWND IconStatic(HWND box) {
    HWND icon = GetDlgItem(box, kIconId);
    if (!icon || !IsWindowVisible(icon)) return nullptr;
    const RECT place = ScreenRectOf(icon);
    if (IsRectEmpty(&place)) return nullptr;
    DWORD_PTR handle = 0;
    if (!SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 2000, &handle) || !handle)
        return nullptr;
    return icon;
}

bool IsMessageBox(HWND window) { return IsClass(window, L"#32770") && IsWindowVisible(window); }

}  // namespace

const char* NameOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::None:
            return "no icon";
        case BoxIcon::Exclamation:
            return "exclamation";
        case BoxIcon::Information:
            return "information";
        case BoxIcon::Question:
            return "question";
        case BoxIcon::Unrecognised:
            return "an unrecognised icon";
    }
    return "?";
}

int MessageBoxView::DefaultButtonId() const {
    int found = 0;
    for (const BoxButton& b : buttons) {
        if (!b.isDefault) continue;
        if (found) return 0;
        found = b.id;
    }
    return found;
}

std::vector<HWND> MessageBoxesOf(DWORD processId) {
    std::vector<HWND> boxes;
    for (HWND window : TopLevelWindowsOf(processId))
        if (IsMessageBox(window)) boxes.push_back(window);
    return boxes;
}

HWND WaitForMessageBox(DWORD processId, std::chrono::milliseconds timeout) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> boxes = MessageBoxesOf(processId);
            box = boxes.empty() ? nullptr : boxes.front();
            return box != nullptr;
        },
        timeout);
    return box;
}

MessageBoxView ReadMessageBox(HWND box) {
    MessageBoxView view;
    view.hwnd = box;
    view.owner = GetWindow(box, GW_OWNER);
    view.caption = TextOf(box);
    if (HWND text = GetDlgItem(box, kTextId)) view.text = TextOf(text);
    for (HWND child : ChildrenOf(box)) {
        if (!IsClass(child, L"Button") || !IsWindowVisible(child)) continue;
        const DWORD type = StyleOf(child) & BS_TYPEMASK;
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
        view.buttons.push_back({GetDlgCtrlID(child), TextOf(child), type == BS_DEFPUSHBUTTON});
    }
    std::sort(view.buttons.begin(), view.buttons.end(),
              [](const BoxButton& a, const BoxButton& b) { return a.id < b.id; });
    if (HWND icon = IconStatic(box)) {
        // The box may not be painted yet when it is first seen: look again until the icon is recognised.
        view.icon = BoxIcon::Unrecognised;
        WaitUntil([&] { return (view.icon = ClassifyOnce(icon)) != BoxIcon::Unrecognised; }, 2s, 20ms);
    }
    return view;
}

bool AnswerMessageBox(HWND box, int buttonId, std::chrono::milliseconds timeout) {
    HWND button = GetDlgItem(box, buttonId);
    if (!button) return false;
    PostButtonClick(button);
    return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeout);
}

}  // namespace e2e
