#pragma once
// The port change made from inside a Remote Desktop session, where a new port that something on the
// way filters locks the administrator out at the restart: the window offers to put it into effect at
// once with a revert armed, which puts the old port back unless the administrator logs on through the
// new one within 10 minutes. And what the window shows and refuses while a revert is pending.

#include <windows.h>

#include <cstdint>
#include <string>

#include "revert/Arming.h"

namespace ui {

// The command links of the dialog (Cancel carries IDCANCEL, so Esc and closing choose it).
inline constexpr int kChoiceApplyWithRevert = 1101;
inline constexpr int kChoicePortOnly = 1102;

enum class RemoteWay { Cancel, ApplyWithRevert, PortOnly };

// Asks how to change the port from `from` to `to`; the first way is greyed out when there is no
// rdpport.com beside the program to run the revert.
RemoteWay AskRemoteWay(std::uint16_t from, std::uint16_t to, bool consoleBeside);

// How long the window's revert waits for the administrator to log on through the new port.
inline constexpr std::uint32_t kWindowRevertSeconds = 600;

struct RevertedChange {
    std::uint16_t from = 0;
    std::uint16_t to = 0;
    std::uint32_t seconds = kWindowRevertSeconds;
    bool openFirewall = false;  // the firewall dialog chose to open the new port first
    std::wstring console;       // the rdpport.com the revert's task runs a copy of
    revert::WatchWait wait;     // the window shows the wait for the watch and answers its messages
};

// What `rdpport.com set-port {to} --apply --revert-after 10m` does, in its order, with boxes for its
// outcomes: the right to restart Remote Desktop checked; under the write lock, the port read again, no
// other revert pending, the revert armed, the firewall opened when asked, both port keys written (the
// revert taken back when nothing was written); then the box that the restart comes, and the restart.
// True once the port keys were written to, whatever the outcome (the window then takes the text as
// applied, as after a plain change); false when it stopped before.
bool ChangeWithRevert(const RevertedChange& change);

// The red line while a revert is pending: when it is due, or that it counts once the new port takes
// effect.
std::wstring PendingLineText(const revert::PendingLookup& pending);

// What "确定修改" and "撤销修改" say instead of writing while a revert is pending.
std::wstring PendingRefusalText(const revert::PendingRevert& plan);

}  // namespace ui
