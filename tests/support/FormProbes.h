#pragma once
// Test access to what the windows keep private: the main window's state fields and refreshes, and the
// splash's bar as it was last set (readable after the splash has gone).

#include <string>

#include "ui/main/FormMain.h"
#include "ui/start/FormStart.h"

namespace ui {

class FormMainProbe {
public:
    static FormMain& Form() { return FormMain::Instance(); }
    static bool RemoteEnabled() { return Form().RemoteEnabled; }
    static const std::wstring& OriginalPort() { return Form().OriginalPort; }
    static const std::wstring& CurrentPort() { return Form().CurrentPort; }
    static const std::wstring& LastAppliedPort() { return Form().LastAppliedPort; }
    static void RefreshAll() { Form().RefreshAll(); }
    static toolkit::ControlSet& Controls() { return Form().m_controls; }
};

class FormStartProbe {
public:
    static int BarWidthTw() { return FormStart::Instance().m_controls[PictureProcess].Width(); }
};

}  // namespace ui

namespace testkit {

// Both windows released and the start-up flag cleared, before and after each window test.
void ResetWindows();

// Creates the main window the way the start-up tick does: flag set, then loaded (hidden).
ui::FormMain& LoadMainAsAtStartup();

// Lets the windows handle everything queued (painting, posted clicks).
void Pump();

}  // namespace testkit
