#pragma once
// The base of the in-process cases that use the windows or the Remote Desktop values. Every case starts
// and ends the same way: both windows released, the start-up flag cleared, and the registry as a server
// holds it (port 3389 at both keys, connections refused). The seams are already in place then: the
// listener in Seams.cpp installs them before every test.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

#include "support/Seams.h"
#include "ui/main/FormMain.h"

namespace testkit {

class SeededTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The main window as the start-up tick leaves it over a registry seeded with `deny`: the windows
    // released, the values seeded, the main window loaded (hidden), and the script emptied of any box
    // the load showed.
    static void StartMain(DWORD deny = 1);

    static ui::FormMain& Form() { return ui::FormMain::Instance(); }
    static toolkit::Control& Ctl(ui::MainControl id) { return Form().Ctl(id); }
    static MessageBoxScript& Script() { return MessageBoxScript::Instance(); }

    // The values as the registry holds them now: the two port keys and the deny flag.
    static std::optional<DWORD> Port1();  // WinStations\RDP-Tcp
    static std::optional<DWORD> Port2();  // Wds\rdpwd\Tds\tcp
    static std::optional<DWORD> Deny();
};

}  // namespace testkit
