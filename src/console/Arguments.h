#pragma once
// The console program's command line, checked before anything is read or written: which command,
// its port and its options. Pure: it reads no registry and prints nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace console {

enum class Command {
    OpenWindow,  // no arguments at all: start rdpport.exe
    Help,
    Status,
    SetPort,
    Enable,
    Disable,
    Nla,  // nla on | nla off: Network Level Authentication
    Watch,    // the revert task's action: wait for a connection on the new port, or put the old one back
    Confirm,  // keep the new port: the pending revert is dropped
    Firewall, // how the Windows Firewall treats a port, profile by profile (this machine or a snapshot)
};

struct Options {
    bool json = false;
    bool whatIf = false;
    bool force = false;
    bool openFirewall = false;
    bool apply = false;  // set-port: restart the Remote Desktop service so the port takes effect now
    // set-port and watch: put the old port back after this many seconds unless a connection from
    // outside reaches the new one.
    std::optional<std::uint32_t> revertAfterSeconds;
    std::optional<std::int32_t> from;  // watch: the port put back
    std::optional<std::int32_t> to;    // watch: the port watched
    std::optional<std::wstring> fromText;  // --from as given: watch's port, or firewall's snapshot file
    std::optional<std::wstring> exportPath;  // firewall: where to save the snapshot judged
    std::optional<std::wstring> snapshotPath;  // firewall --from: the snapshot judged instead of this machine
};

struct Invocation {
    std::optional<Command> command;  // nothing when the command itself is missing or unknown
    Options options;
    std::wstring portText;           // set-port and firewall: the operand as given
    std::optional<std::int32_t> port;  // set-port and firewall: the port it stands for, when accepted
    std::optional<bool> nlaRequired;   // nla: on (true) or off (false)
    std::wstring usageError;         // empty when the command line is usable

    bool Usable() const { return usageError.empty(); }
};

// The arguments after the program name. Commands and options are matched without regard to ASCII
// case, as Windows users expect; options may stand before or after the command.
Invocation ParseArguments(const std::vector<std::wstring>& args);

// The command's name as typed on the command line and as it appears in the JSON ("set-port", ...).
const wchar_t* CommandName(Command command);

}  // namespace console
