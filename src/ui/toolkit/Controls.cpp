#include "ui/toolkit/Controls.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/toolkit/Dpi.h"
#include "ui/toolkit/Fonts.h"
#include "base/PendingError.h"

namespace toolkit {
namespace {

struct WindowKind {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

WindowKind KindOf(const ControlSpec& spec) {
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (spec.kind) {
        case ControlKind::Frame:
            return {L"BUTTON", child | BS_GROUPBOX, 0};
        case ControlKind::Label:
            return {L"STATIC", child | SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0};
        case ControlKind::TextBox: {
            DWORD style = child | WS_TABSTOP | ES_AUTOHSCROLL;
            if (spec.flags & kCentered) style |= ES_CENTER;
            if (spec.flags & kReadOnly) style |= ES_READONLY;
            return {L"EDIT", style, WS_EX_CLIENTEDGE};
        }
        case ControlKind::Button:
            return {L"BUTTON",
                    child | WS_TABSTOP | ((spec.flags & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0};
        case ControlKind::Image:
        case ControlKind::Bar:
            return {L"STATIC", child | SS_OWNERDRAW, 0};
    }
    return {L"STATIC", child, 0};
}

constexpr ControlSpec kDetachedSpec{.id = 0, .kind = ControlKind::Label, .container = kInWindow, .text = L"",
                                    .rectTw = {0, 0, 0, 0}, .tabIndex = kNoTabStop};

// The order the child windows are created in, which is their z-order from the top and so the order
// in which the dialog manager's Tab walks them: by tab index, controls without one after those with
// one, and frames last so they lie beneath what they contain.
std::vector<Control*> CreationOrder(std::vector<Control>& controls) {
    std::vector<Control*> order;
    for (Control& c : controls) order.push_back(&c);
    auto rank = [](const Control* c) {
        const int group = c->Kind() == ControlKind::Frame ? 2 : (c->TabIndex() == kNoTabStop ? 1 : 0);
        return std::pair{group, c->TabIndex()};
    };
    std::stable_sort(order.begin(), order.end(), [&](const Control* a, const Control* b) { return rank(a) < rank(b); });
    return order;
}

void SetDefaultLook(HWND button, bool isDefault) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE));
    const bool now = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    if (now != isDefault) SendMessageW(button, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

}  // namespace

// ---- Control ---------------------------------------------------------------------------------

RECT Control::RectPx() const {
    const POINT origin = m_set->OriginPx(m_spec->container);
    const int left = origin.x + m_set->ToPx(m_rectTw.left);
    const int top = origin.y + m_set->ToPx(m_rectTw.top);
    int width = m_set->ToPx(m_rectTw.width);
    int height = m_set->ToPx(m_rectTw.height);
    if (m_spec->kind == ControlKind::Image && m_picture) {
        const SIZE shown = m_picture->SizeAtDpi(m_set->Dpi());
        width = shown.cx;
        height = shown.cy;
    }
    return {left, top, left + width, top + height};
}

void Control::Place() const {
    if (!m_hwnd) return;
    const RECT r = RectPx();
    if (!SetWindowPos(m_hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                      SWP_NOZORDER | SWP_NOACTIVATE))
        base::RaiseWin32Error(GetLastError());
}

void Control::SetLeft(int twips) {
    m_rectTw.left = twips;
    Place();
}

void Control::SetWidth(int twips) {
    m_rectTw.width = twips;
    Place();
}

void Control::SetVisible(bool visible) {
    m_visible = visible;
    if (m_hwnd) ShowWindow(m_hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

std::wstring Control::Text() const {
    if (!m_hwnd) return {};
    const int length = GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

void Control::SetText(const std::wstring& text) {
    if (m_hwnd && !SetWindowTextW(m_hwnd, text.c_str())) base::RaiseWin32Error(GetLastError());
}

void Control::SetForeColor(COLORREF color) {
    m_foreColor = color;
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Control::SetPicture(PicturePtr picture) {
    m_picture = std::move(picture);
    Place();  // an image box takes its picture's size
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, TRUE);
}

// ---- ControlSet ------------------------------------------------------------------------------

ControlSet::ControlSet() : m_detached(*this, kDetachedSpec) {}

void ControlSet::Create(HWND parent, std::span<const ControlSpec> specs) {
    static const bool commonControls = [] {
        INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)commonControls;
    m_parent = parent;
    m_dpi = WindowDpi(parent);
    m_controls.clear();
    m_controls.reserve(specs.size());
    for (const ControlSpec& spec : specs) {
        Control control(*this, spec);
        control.m_foreColor = spec.foreColor;
        control.m_backColor = spec.backColor;
        if (spec.pictureResource) control.m_picture = Picture::FromResource(spec.pictureResource);
        m_controls.push_back(std::move(control));
    }
    for (Control* control : CreationOrder(m_controls)) CreateOne(*control);
}

void ControlSet::CreateOne(Control& control) {
    const WindowKind kind = KindOf(*control.m_spec);
    const RECT r = control.RectPx();
    control.m_hwnd = CreateWindowExW(kind.exStyle, kind.className, control.m_spec->text, kind.style, r.left,
                                     r.top, r.right - r.left, r.bottom - r.top, m_parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id())),
                                     GetModuleHandleW(nullptr), nullptr);
    if (!control.m_hwnd) {
        base::RaiseWin32Error(GetLastError());
        return;
    }
    ApplyFont(control);
    // An edit control's own limit (about 32,000 characters) would cut a pasted text silently, and a
    // cut text could pass the port check that the whole text fails: no limit.
    if (control.Kind() == ControlKind::TextBox) SendMessageW(control.m_hwnd, EM_SETLIMITTEXT, 0, 0);
    if (control.m_spec->tooltip) AddTooltip(control);
}

void ControlSet::ApplyFont(const Control& control) {
    SendMessageW(control.m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control.m_spec->font)), TRUE);
}

void ControlSet::AddTooltip(const Control& control) {
    if (!m_tooltip) {
        m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_parent,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!m_tooltip) return;
    }
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = m_parent;
    info.uId = reinterpret_cast<UINT_PTR>(control.m_hwnd);
    info.lpszText = const_cast<wchar_t*>(control.m_spec->tooltip);
    SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

Control& ControlSet::operator[](int id) {
    return const_cast<Control&>(std::as_const(*this)[id]);
}

const Control& ControlSet::operator[](int id) const {
    auto it = std::find_if(m_controls.begin(), m_controls.end(), [id](const Control& c) { return c.Id() == id; });
    if (it != m_controls.end()) return *it;
    base::RaiseError(base::kErrInvalidCall, L"控件不存在");
    return m_detached;
}

Control* ControlSet::FromHwnd(HWND hwnd) {
    return const_cast<Control*>(std::as_const(*this).FromHwnd(hwnd));
}

const Control* ControlSet::FromHwnd(HWND hwnd) const {
    if (!hwnd) return nullptr;
    for (const Control& control : m_controls)
        if (control.m_hwnd == hwnd) return &control;
    return nullptr;
}

int ControlSet::ToPx(int twips) const { return TwipsToPixels(twips, m_dpi); }

POINT ControlSet::OriginPx(int containerId) const {
    if (containerId == kInWindow) return {0, 0};
    const Control& frame = (*this)[containerId];
    const POINT outer = OriginPx(frame.m_spec->container);
    return {outer.x + ToPx(frame.m_rectTw.left), outer.y + ToPx(frame.m_rectTw.top)};
}

void ControlSet::SetDpi(UINT dpi) {
    if (dpi == 0 || dpi == m_dpi) return;
    m_dpi = dpi;
    // The old fonts stay alive until every control holds its new one.
    base::UniqueHfont oldDefault = std::move(m_defaultFont);
    std::map<const FontSpec*, base::UniqueHfont> oldFonts = std::move(m_fonts);
    m_fonts.clear();
    for (const Control& control : m_controls) {
        ApplyFont(control);
        control.Place();
    }
}

HFONT ControlSet::FontFor(const FontSpec* font) {
    if (!font) {
        if (!m_defaultFont) m_defaultFont = CreateDefaultFont(m_dpi);
        return m_defaultFont.Get();
    }
    base::UniqueHfont& slot = m_fonts[font];
    if (!slot) slot = CreateFontFromSpec(*font, m_dpi);
    return slot.Get();
}

HBRUSH ControlSet::Brush(COLORREF color) {
    base::UniqueHbrush& slot = m_brushes[color];
    if (!slot) slot = base::UniqueHbrush(CreateSolidBrush(color));
    return slot.Get();
}

bool ControlSet::OnParentMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
    switch (msg) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            if (HBRUSH brush = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
                answer = reinterpret_cast<LRESULT>(brush);
                return true;
            }
            return false;
        case WM_DRAWITEM:
            answer = TRUE;
            return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        default:
            return false;
    }
}

HBRUSH ControlSet::OnCtlColor(HDC dc, HWND child) {
    Control* control = FromHwnd(child);
    if (!control) return nullptr;
    if (control->m_foreColor != kDefaultColor) SetTextColor(dc, control->m_foreColor);
    if (control->m_spec->flags & kTransparent) {
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    if (control->Kind() == ControlKind::TextBox) {  // locked boxes keep the white of an editable one
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return GetSysColorBrush(COLOR_WINDOW);
    }
    const COLORREF back = control->m_backColor != kDefaultColor ? control->m_backColor : GetSysColor(COLOR_BTNFACE);
    SetBkColor(dc, back);
    return Brush(back);
}

bool ControlSet::OnDrawItem(const DRAWITEMSTRUCT& item) {
    Control* control = FromHwnd(item.hwndItem);
    if (!control) return false;
    const COLORREF back = control->m_backColor != kDefaultColor ? control->m_backColor : GetSysColor(COLOR_BTNFACE);
    FillRect(item.hDC, &item.rcItem, Brush(back));
    if (control->Kind() == ControlKind::Image && control->m_picture)
        control->m_picture->Draw(item.hDC, item.rcItem.left, item.rcItem.top, m_dpi);
    return true;
}

int ControlSet::DefaultButtonId() const {
    for (const Control& c : m_controls)
        if (c.Kind() == ControlKind::Button && (c.m_spec->flags & kDefaultButton)) return c.Id();
    return 0;
}

void ControlSet::FollowFocusWithDefault(HWND focus) {
    const Control* focused = FromHwnd(focus);
    const bool onButton = focused && focused->Kind() == ControlKind::Button;
    for (const Control& c : m_controls) {
        if (c.Kind() != ControlKind::Button || !c.m_hwnd) continue;
        SetDefaultLook(c.m_hwnd, onButton ? &c == focused : (c.m_spec->flags & kDefaultButton) != 0);
    }
}

}  // namespace toolkit
