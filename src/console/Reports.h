#pragma once
// What a console command found and did, as plain data: the commands fill these in, and the text and
// JSON renderers only read them, so what is printed can never disagree with what was done.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "console/Arguments.h"
#include "guard/Guard.h"
#include "guard/ServiceRestart.h"
#include "revert/PendingRevert.h"
#include "revert/Sessions.h"
#include "settings/SettingsCore.h"
#include "settings/WriteLock.h"

namespace console {

// The program's exit codes (help and the README list them).
inline constexpr int kExitDone = 0;     // done, or nothing to do
inline constexpr int kExitFailed = 1;   // a read, write or firewall change failed
inline constexpr int kExitUsage = 2;    // bad usage or a port text that is not a port
inline constexpr int kExitRefused = 3;  // refused because of a hazard (--force goes ahead)

// The code is 0 when there is none (kUnreadType included).
using Failure = base::Failure;

// One of the two port keys as read.
struct PortKeyState {
    settings::PortKey key = settings::PortKey::RdpTcp;
    long status = ERROR_SUCCESS;
    std::wstring value;                // the stored value as text, "" when not read
    bool isDword = false;              // the stored value is a REG_DWORD
    std::optional<std::uint16_t> port; // when the value is a REG_DWORD from 0 to 65535
    std::optional<Failure> error;      // when it could not be read
};

// Network Level Authentication as status reports it: the local value, Group Policy's, and the result.
struct NlaStatus {
    long localStatus = ERROR_SUCCESS;         // of reading the local value (2: missing)
    bool localIsDword = false;                // the local value is a REG_DWORD
    std::optional<std::uint32_t> localValue;  // the local REG_DWORD
    settings::PolicyReading policy;
    // Reads that failed for a reason other than "missing".
    std::optional<Failure> localError;
    std::optional<Failure> policyError;

    // 1 requires it and 0 does not; any other value, or none, is not known to decide (nothing).
    // What a missing local value means is not documented. Microsoft's unattend reference names 0 as the
    // setting's default ("UserAuthentication", Microsoft-Windows-TerminalServices-RDP-WinStationExtensions,
    // learn.microsoft.com/windows-hardware/customize/desktop/unattend/
    // microsoft-windows-terminalservices-rdp-winstationextensions-userauthentication), while Group
    // Policy's explanation of "Require user authentication for remote connections by using Network
    // Level Authentication" (terminalserver.admx) says NLA is enforced by default since Windows 8 and
    // Windows Server 2012. Neither says how Remote Desktop reads a missing value, so none is guessed.
    static std::optional<bool> RequiredBy(std::optional<std::uint32_t> value) {
        if (value == 1u) return true;
        if (value == 0u) return false;
        return std::nullopt;
    }
    std::optional<bool> Required() const { return RequiredBy(localValue); }
    std::optional<bool> PolicyRequires() const { return policy.Set() ? RequiredBy(policy.number) : std::nullopt; }
    // A policy value that is set decides; without one, the local value; nothing when it cannot be told.
    std::optional<bool> Effective() const {
        if (policy.Set()) return PolicyRequires();
        return policy.Missing() ? Required() : std::nullopt;
    }
};

struct StatusReport {
    PortKeyState keys[2];
    std::optional<bool> allowed;       // by the local deny flag; nothing when it could not be read
    std::optional<Failure> allowedError;
    // Group Policy's flag, when one is set: it then governs, and the local flag does not count. Set
    // with a value that is no REG_DWORD, it has no policyValue; Windows interprets it.
    bool policySet = false;
    std::optional<std::uint32_t> policyValue;
    std::optional<Failure> policyError;  // the policy could not be read (missing is no failure)
    std::optional<bool> effective;     // connections allowed in effect; nothing when it cannot be told
    std::optional<std::vector<std::uint16_t>> listening;
    guard::ServiceSummary service;     // the service's start type and state, the listener switch
    // TCP and UDP on the configured port, each profile's verdict (Summary(): Admits when open in all
    // three, Closed when closed in a current one, else Unknown); the program's own rules, and how many
    // rules could not be read.
    guard::FirewallSummary firewall;
    NlaStatus nla;
    // The revert waiting for a connection on the new port, as its task says; nothing when none is
    // pending (or, with pendingRevertError, when the Task Scheduler could not be asked).
    std::optional<revert::PendingRevert> pendingRevert;
    std::wstring pendingRevertArmedAt;
    std::optional<ULONGLONG> pendingRevertEffectiveAt;  // UTC, once the new port took effect
    bool pendingRevertWatchRunning = false;
    std::optional<Failure> pendingRevertError;
    std::optional<Failure> error;      // the first read that failed for a reason other than "missing"
    int exitCode = kExitDone;

    std::optional<std::uint16_t> ConfiguredPort() const { return keys[0].port; }
    bool PortsAgree() const { return keys[0].port && keys[0].port == keys[1].port; }
    // As the guard judges the policy: 1 certainly refuses, 0 certainly allows, any other value is
    // Windows' to interpret (nothing).
    std::optional<bool> PolicyDenies() const {
        if (policyValue == 1u) return true;
        if (policyValue == 0u) return false;
        return std::nullopt;
    }
};

// One port key in set-port's write: a key that already held the port is not written again.
struct PortKeyWrite {
    settings::PortKey key = settings::PortKey::RdpTcp;
    bool heldAlready = false;
    long status = ERROR_SUCCESS;  // of the write, when one was made
    bool HoldsPort() const { return heldAlready || status == ERROR_SUCCESS; }
};

enum class FirewallStep {
    NotAsked,         // no --open-firewall
    AlreadyAdmitted,  // the firewall admitted the port (TCP and UDP) before: nothing added
    WouldAdd,         // --what-if
    Added,            // the rules were added, and the port was then seen admitted
    Failed,           // nothing is left added: the port could not be seen admitted
    Unreadable,       // the watch's revert: the firewall could not be read, so it was left as it was
};

struct FirewallOutcome {
    FirewallStep step = FirewallStep::NotAsked;
    std::uint16_t port = 0;
    std::vector<std::wstring> rules;  // Added: the rules written
};

// set-port --apply: the restart of the Remote Desktop service after the write.
struct ApplyOutcome {
    bool restartTried = false;  // the service manager was asked to stop the service
    bool restarted = false;     // it (and its dependents) stopped and ran again
    bool applied = false;       // and it was then seen listening on the port asked for
    std::optional<std::vector<std::uint16_t>> listeningAfter;
    std::optional<double> restartSeconds;
};

// set-port --revert-after: the revert armed before anything else is written.
struct RevertArming {
    bool asked = false;
    bool armed = false;      // its task and record are in place (--what-if: would be)
    bool disarmed = false;   // armed, then taken away again because nothing else could be written
    revert::PendingRevert plan;
    std::wstring program;    // the copy of rdpport.com the task runs
    std::wstring notArmed;   // why nothing was armed although asked, when that is no failure
};

// set-port, enable, disable and nla.
struct ChangeReport {
    Command command = Command::SetPort;
    Options options;
    std::int32_t port = 0;                      // set-port: the port asked for
    std::optional<std::uint16_t> previousPort;  // the port at the first key before
    std::optional<bool> previousAllowed;        // enable/disable: the local flag before
    bool required = false;                      // nla: on (true) or off
    std::optional<bool> previousRequired;       // nla: the local value before (nothing: missing or other)
    bool alreadySet = false;                    // the registry already held what was asked for
    std::vector<guard::Hazard> hazards;         // every hazard the guard saw
    bool refused = false;                       // hazards stopped it (no --force)
    bool forced = false;                        // hazards were seen and --force went ahead
    bool changed = false;                       // something was (--what-if: would be) changed
    FirewallOutcome firewall;
    ApplyOutcome apply;
    RevertArming revert;
    std::optional<Failure> error;
    int exitCode = kExitDone;
};

enum class WatchOutcome {
    Confirmed,   // the administrator logged on through the new port: the task is gone
    Cancelled,   // the task was gone (confirm ran): nothing written
    Reverted,    // the deadline passed: the old port is back
    Superseded,  // the deadline passed, but the port had been changed again since: nothing written
    Failed,      // the revert could not be made (the task stays, so the next start tries again)
};

// watch: the revert task's action.
struct WatchReport {
    Options options;
    revert::PendingRevert plan;
    WatchOutcome outcome = WatchOutcome::Failed;
    std::optional<revert::Session> confirmedBy;  // Confirmed: the administrator's session
    double waitedSeconds = 0;
    std::vector<PortKeyWrite> writes;    // Reverted: the old port at both keys
    FirewallOutcome firewall;            // Reverted: the old port's rule (kept since the change)
    ApplyOutcome apply;                  // Reverted with --apply: the restart
    std::optional<Failure> error;
    int exitCode = kExitDone;
};

// confirm: the new port is kept.
struct ConfirmReport {
    Options options;
    bool confirmed = false;                     // a revert was pending, and is no more
    std::optional<revert::PendingRevert> plan;  // the one that was pending
    // The program's own firewall rules for the old port, taken away once nothing uses that port.
    std::vector<std::wstring> rulesRemoved;
    std::wstring rulesKept;                     // why they were not taken away, when there were any to take
    std::optional<Failure> error;
    int exitCode = kExitDone;
};

// firewall: how the Windows Firewall treats the port, per protocol and profile.
struct FirewallReport {
    Options options;
    std::optional<std::uint16_t> port;
    bool fromFile = false;                // judged a snapshot (--from) rather than this machine
    long currentProfiles = 0;
    guard::firewall::Assessment tcp;
    guard::firewall::Assessment udp;
    std::wstring exported;                // --export: the file written
    std::optional<Failure> error;
    int exitCode = kExitDone;
};

// The error's text as Windows words it (FormatMessage), or the program's own for kUnreadType.
std::wstring SystemErrorText(long code);
Failure FailureOf(long code);
// A command's report failed: its error and exit code 1.
template <class Report>
void Fail(Report& report, Failure failure) {
    report.error = std::move(failure);
    report.exitCode = kExitFailed;
}

// The write lock could not be taken: its reason, then what that means ("；未作任何修改。").
Failure LockFailure(const settings::WriteLock& lock, const wchar_t* consequence);

}  // namespace console
