#pragma once
// The main window: the Remote Desktop status frame, the port frame, the link, and the commands.

#include <cstdint>
#include <string>

#include "ui/main/FormMainLayout.h"
#include "revert/Arming.h"
#include "ui/main/GuardPrompt.h"
#include "ui/toolkit/Form.h"

namespace ui {

class FormMain final : public toolkit::Form<FormMain, MainControl> {
public:
    // Public operations, also used by the start-up sequence and the splash.
    void Form_Load() override;
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
    void SetRemoteAccess(bool allow, GuardChoice choice, std::uint16_t firewallPort);
    void ReportChangeFailure();

    // The revert of a port change made from a Remote Desktop session (FormMainRevert.cpp).
    void RefreshPending();
    void ShowPendingLine(const std::wstring& text);
    bool RefusedWhilePending();
    bool ChangeWithRevert(std::uint16_t from, std::uint16_t to, GuardChoice choice);
    revert::WatchWait ArmingWait();
    void OnSessionChange(WPARAM change);
    void OnPendingTimer();
    void OnUnload() override;

    bool CreateForm() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept override;
    void OnShown(bool first) override;
    void OnCommand(int id, int notification);
    void OnDpiChanged(UINT dpi, const RECT& suggested);

    // The window's own state, as the last refresh and the last confirmed change left it.
    bool RemoteEnabled = false;
    std::wstring OriginalPort;
    std::wstring CurrentPort;
    std::wstring LastAppliedPort;
    // Looks left after a session notification for the revert's task to go (its watch confirms within
    // seconds of a logon).
    int PendingLooksLeft = 0;
    static constexpr UINT_PTR kPendingTimer = 1;
    static constexpr UINT kPendingLookMs = 2000;
    static constexpr int kPendingLooks = 15;
};

}  // namespace ui
