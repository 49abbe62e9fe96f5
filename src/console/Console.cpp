#include "console/Console.h"

#include "console/Arguments.h"
#include "console/Commands.h"
#include "console/OpenWindow.h"
#include "console/Progress.h"
#include "console/Render.h"
#include "console/Texts.h"

namespace console {
namespace {

int OpenWindow(OutputSink& sink) {
    const std::wstring path = WindowProgramPath();
    const DWORD status = StartProgramCall()(path);
    if (status == ERROR_SUCCESS) return kExitDone;
    sink.Err(L"无法启动 " + path + L"：" + SystemErrorText(static_cast<long>(status)) + L"\r\n");
    return kExitFailed;
}

int RefuseUsage(const Invocation& call, OutputSink& sink) {
    if (call.options.json) {
        sink.Out(UsageErrorJson(call));
    } else {
        sink.Err(L"错误：" + call.usageError + L"\r\n用法见 rdpport.com help。\r\n");
    }
    return kExitUsage;
}

// One JSON object, or text for people; the command's exit code.
template <class R>
int Show(const R& report, bool json, std::wstring (*asJson)(const R&), void (*asText)(const R&, OutputSink&),
         OutputSink& sink) {
    if (json) {
        sink.Out(asJson(report));
    } else {
        asText(report, sink);
    }
    return report.exitCode;
}

}  // namespace

int Run(const std::vector<std::wstring>& args, OutputSink& sink) {
    const Invocation call = ParseArguments(args);
    if (!call.Usable()) return RefuseUsage(call, sink);
    const bool json = call.options.json;
    SetProgressSink(json ? nullptr : &sink);
    struct ProgressEnds {
        ~ProgressEnds() { SetProgressSink(nullptr); }
    } progressEnds;
    switch (*call.command) {
        case Command::OpenWindow:
            return OpenWindow(sink);
        case Command::Help:
            sink.Out(json ? HelpJson() : UsageText());
            return kExitDone;
        case Command::Status:
            return Show(RunStatus(), json, &StatusJson, &PrintStatusText, sink);
        case Command::SetPort:
            return Show(RunSetPort(*call.port, call.options), json, &ChangeJson, &PrintChangeText, sink);
        case Command::Enable:
        case Command::Disable:
            return Show(RunSwitch(*call.command == Command::Enable, call.options), json, &ChangeJson,
                        &PrintChangeText, sink);
        case Command::Nla:
            return Show(RunNla(*call.nlaRequired, call.options), json, &ChangeJson, &PrintChangeText, sink);
        case Command::Watch:
            return Show(RunWatch(call.options), json, &WatchJson, &PrintWatchText, sink);
        case Command::Confirm:
            return Show(RunConfirm(call.options), json, &ConfirmJson, &PrintConfirmText, sink);
        case Command::Firewall:
            return Show(RunFirewall(call.port, call.options), json, &FirewallJson, &PrintFirewallText, sink);
    }
    return kExitUsage;
}

}  // namespace console
