#pragma once
// The main window: the Remote Desktop status frame, the port frame, the link, and the commands.

#include <memory>
#include <string>

#include "ui/main/FormMainLayout.h"
#include "ui/toolkit/Controls.h"
#include "ui/toolkit/FormInstance.h"
#include "ui/toolkit/Window.h"

namespace ui {

class FormMain final : public toolkit::Window {
public:
    // One instance, created on first use and not loaded until something needs its window.
    static FormMain& Instance();
    static bool Exists();
    // Unloads and forgets the instance; the next Instance() starts from the design state.
    static void Release();

    ~FormMain() override;

    // Creates the window hidden, then runs Form_Load as its load event. Does nothing when loaded.
    void Load();
    bool IsLoaded() const { return IsCreated(); }
    // The window handle; loads the window first.
    HWND Handle();
    void Show();
    void Unload();
    // A control by name; loads the window first.
    toolkit::Control& Ctl(MainControl id);

    // Public operations, also used by the start-up sequence and the splash.
    void Form_Load();
    void Cmd_ContactUs_Click();
    void ClickUrl(const std::wstring& myurl);

    // Event handlers.
    void Cmd_Change_Click();
    void Cmd_Revert_Click();
    void Cmd_Open_Click();
    void Cmd_Close_Click();
    void Cmd_Quit_Click();
    void Label2_Click();
    void Form_Resize();

private:
    friend class FormMainProbe;  // tests read the state fields and run the refreshes
    friend class toolkit::FormInstance<FormMain>;
    FormMain() = default;

    void RefreshRemoteStatus();
    void RefreshPort();
    void RefreshAll();
    void OneTimeLoadBody();
    void SetRemoteAccess(bool allow);
    void ReportChangeFailure();

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept override;
    bool PreTranslateMessage(MSG& msg) override;
    void OnCommand(int id, int notification);
    void OnDpiChanged(UINT dpi, const RECT& suggested);

    toolkit::ControlSet m_controls;
    bool m_creating = false;

    // The window's own state, as the last refresh and the last confirmed change left it.
    bool RemoteEnabled = false;
    std::wstring OriginalPort;
    std::wstring CurrentPort;
    std::wstring LastAppliedPort;
};

}  // namespace ui
