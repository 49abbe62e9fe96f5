#pragma once
// Child controls created from a layout table. Every control is a real child window holding its own
// text, so screen readers and UI automation can read it. Properties are kept in twips and placed in
// pixels at the parent's DPI.

#include <windows.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "ui/toolkit/Layout.h"
#include "ui/toolkit/Picture.h"

namespace toolkit {

class ControlSet;

class Control {
public:
    int Id() const { return m_spec->id; }
    ControlKind Kind() const { return m_spec->kind; }
    int TabIndex() const { return m_spec->tabIndex; }
    HWND Hwnd() const { return m_hwnd; }

    int Left() const { return m_rectTw.left; }
    void SetLeft(int twips);
    int Width() const { return m_rectTw.width; }
    void SetWidth(int twips);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);

    std::wstring Text() const;  // caption of a label, button or frame; text of a text box
    void SetText(const std::wstring& text);
    COLORREF ForeColor() const { return m_foreColor; }
    void SetForeColor(COLORREF color);

    // Image boxes show their picture at its own size, not stretched, from their top-left corner.
    const PicturePtr& Picture() const { return m_picture; }
    void SetPicture(PicturePtr picture);

    // The control's rectangle in the parent's client pixels.
    RECT RectPx() const;

private:
    friend class ControlSet;
    Control(ControlSet& set, const ControlSpec& spec) : m_set(&set), m_spec(&spec), m_rectTw(spec.rectTw) {}
    void Place() const;

    ControlSet* m_set;
    const ControlSpec* m_spec;
    HWND m_hwnd = nullptr;  // owned by the parent window, destroyed with it
    RectTw m_rectTw;
    bool m_visible = true;
    COLORREF m_foreColor = kDefaultColor;
    COLORREF m_backColor = kDefaultColor;
    PicturePtr m_picture;
};

class ControlSet {
public:
    ControlSet();
    ControlSet(const ControlSet&) = delete;
    ControlSet& operator=(const ControlSet&) = delete;

    // Creates one child window per row, in tab order, frames last so they lie beneath their contents.
    void Create(HWND parent, std::span<const ControlSpec> specs);
    Control& operator[](int id);
    const Control& operator[](int id) const;
    Control* FromHwnd(HWND hwnd);
    const Control* FromHwnd(HWND hwnd) const;
    UINT Dpi() const { return m_dpi; }

    // Re-places every control and rebuilds the fonts for a new DPI.
    void SetDpi(UINT dpi);

    // Answers the messages the controls send their parent (colours, owner drawing); false for the rest.
    bool OnParentMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& answer);
    // The button that Enter runs while no button has the focus (0 when there is none).
    int DefaultButtonId() const;
    // Draws the focused push button as the default, or the default button while no button has the
    // focus, as the dialog manager does; the dialog manager's Enter then runs the button drawn so.
    void FollowFocusWithDefault(HWND focus);

    POINT OriginPx(int containerId) const;
    int ToPx(int twips) const;

private:
    HBRUSH OnCtlColor(HDC dc, HWND child);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    HFONT FontFor(const FontSpec* font);
    HBRUSH Brush(COLORREF color);
    void CreateOne(Control& control);
    void AddTooltip(const Control& control);
    void ApplyFont(const Control& control);

    HWND m_parent = nullptr;
    UINT m_dpi = 96;
    std::vector<Control> m_controls;
    base::UniqueHfont m_defaultFont;
    std::map<const FontSpec*, base::UniqueHfont> m_fonts;
    std::map<COLORREF, base::UniqueHbrush> m_brushes;
    HWND m_tooltip = nullptr;  // owned by the parent window, destroyed with it
    // Answers for a control of a window that could not be created: no window, every step fails.
    Control m_detached;
};

}  // namespace toolkit
