#pragma once
// What both windows share: one instance per kind, created on first use; a load that creates the window
// hidden once per window handle and then runs its Load event; show; unload; controls by id; the
// controls' messages to their parent; and the keyboard focus kept across deactivation, as the system's
// dialog manager keeps it, so closing a message box or coming back from another program puts the
// focus back where it was.

#include <windows.h>

#include "ui/toolkit/Controls.h"
#include "ui/toolkit/FormInstance.h"
#include "ui/toolkit/Window.h"

namespace toolkit {

template <class Derived, class ControlId>
class Form : public Window {
public:
    static Derived& Instance() { return FormInstance<Derived>::Get(); }
    static bool Exists() { return FormInstance<Derived>::Exists(); }
    // Unloads and forgets the instance; the next Instance() starts from the design state.
    static void Release() { FormInstance<Derived>::Release(); }

    ~Form() override { DestroyHwnd(); }  // the window goes before the controls' fonts and brushes

    // Creates the window hidden, then runs Form_Load as its load event. Does nothing when loaded.
    void Load() {
        if (IsLoaded() || m_creating) return;
        m_creating = true;
        const bool created = CreateForm();
        m_creating = false;
        if (created) Form_Load();
    }
    bool IsLoaded() const { return Hwnd() != nullptr; }
    // The window handle; loads the window first.
    HWND Handle() {
        Load();
        return Hwnd();
    }
    void Show() {
        Load();
        if (!Hwnd()) return;
        const bool first = !IsWindowVisible(Hwnd());
        ShowWindow(Hwnd(), SW_SHOW);
        OnShown(first);
    }
    void Unload() {
        OnUnload();
        DestroyHwnd();
    }
    // A control by name; loads the window first.
    Control& Ctl(ControlId id) {
        Load();
        return m_controls[id];
    }

    virtual void Form_Load() = 0;

    void BeforeDialogMessage() override { m_controls.FollowFocusWithDefault(GetFocus()); }

protected:
    // Creates the window and its controls, hidden; false when the window could not be created.
    virtual bool CreateForm() = 0;
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept { return Default(msg, wParam, lParam); }
    virtual void OnShown(bool /*first*/) {}
    virtual void OnUnload() {}

    bool Creating() const { return m_creating; }

    ControlSet m_controls;

private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept final {
        if (LRESULT answer = 0; m_controls.OnParentMessage(msg, wParam, lParam, answer)) return answer;
        switch (msg) {
            case WM_ACTIVATE:
                if (LOWORD(wParam) == WA_INACTIVE) {
                    RememberFocus();
                } else if (!HIWORD(wParam) && RestoreFocus()) {
                    return 0;  // DefWindowProc would put the focus on the window itself
                }
                break;
            case WM_SETFOCUS:
                if (RestoreFocus()) return 0;
                break;
            case DM_GETDEFID:
                if (const int id = m_controls.DefaultButtonId()) return MAKELRESULT(id, DC_HASDEFID);
                break;
            default:
                break;
        }
        return OnMessage(msg, wParam, lParam);
    }

    void RememberFocus() {
        HWND focus = GetFocus();
        if (focus && IsChild(Hwnd(), focus)) m_focusBeforeDeactivation = focus;
    }

    bool RestoreFocus() {
        HWND focus = m_focusBeforeDeactivation;
        if (!focus || !IsChild(Hwnd(), focus) || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) return false;
        SetFocus(focus);
        return true;
    }

    bool m_creating = false;
    HWND m_focusBeforeDeactivation = nullptr;  // a child of this window, owned by it
};

}  // namespace toolkit
