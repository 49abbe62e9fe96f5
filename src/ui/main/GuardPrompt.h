#pragma once
// What the windows show when the lockout guard saw a hazard before a command's own confirmation: the
// OK/Cancel warning box, or, when the firewall does not admit the port, a task dialog that offers to
// open it.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "guard/Guard.h"

namespace ui {

// Cancel is the default: Enter refuses.
inline constexpr UINT kStyleLockoutWarning = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;

// The command links of the task dialog (Cancel carries IDCANCEL, so Esc and closing choose it).
inline constexpr int kChoiceOpenFirewall = 1001;
inline constexpr int kChoiceContinue = 1002;

enum class GuardedCommand { PortChange, TurnOn };

enum class GuardChoice { Cancel, Continue, OpenFirewall };

// Shows the guard's warning text with the program's title and returns true when there was nothing to
// show or the user pressed OK.
bool ProceedDespite(const std::vector<guard::Hazard>& hazards);

// Nothing seen: Continue. A firewall-closed hazard: the task dialog (open the port and continue, continue
// without the firewall, or cancel). Other hazards only: the OK/Cancel box.
GuardChoice AskDespite(const std::vector<guard::Hazard>& hazards, GuardedCommand command);

// The port of the firewall-closed hazard (0 when there is none).
std::uint16_t FirewallClosedPort(const std::vector<guard::Hazard>& hazards);

// Makes a command's writes under the machine-wide write lock, the firewall first when the user chose to
// open it, and the registry (`write`) only once the firewall is seen to admit the port. Returns what
// `write` returned, or nothing when nothing was written, after a warning box that says why (the lock
// could not be had, or the firewall could not be opened). The boxes come after the lock is released.
std::optional<bool> WriteGuarded(GuardChoice choice, std::uint16_t firewallPort, GuardedCommand command,
                                 const std::function<bool()>& write);

// The warning when the firewall could not be made to admit the port: nothing else was changed.
std::wstring FirewallFailureText(std::uint16_t port, const guard::FirewallOpening& opening, GuardedCommand command);

}  // namespace ui
