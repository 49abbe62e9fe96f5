#include "console/Console.h"

#include "console/Arguments.h"
#include "console/Commands.h"
#include "console/OpenWindow.h"
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

int Report(const ChangeReport& report, OutputSink& sink) {
    if (report.options.json) {
        sink.Out(ChangeJson(report));
    } else {
        PrintChangeText(report, sink);
    }
    return report.exitCode;
}

}  // namespace

int Run(const std::vector<std::wstring>& args, OutputSink& sink) {
    const Invocation call = ParseArguments(args);
    if (!call.Usable()) return RefuseUsage(call, sink);
    const bool json = call.options.json;
    switch (*call.command) {
        case Command::OpenWindow:
            return OpenWindow(sink);
        case Command::Help:
            sink.Out(json ? HelpJson() : UsageText());
            return kExitDone;
        case Command::Status: {
            const StatusReport report = RunStatus();
            if (json) {
                sink.Out(StatusJson(report));
            } else {
                PrintStatusText(report, sink);
            }
            return report.exitCode;
        }
        case Command::SetPort:
            return Report(RunSetPort(*call.port, call.options), sink);
        case Command::Enable:
        case Command::Disable:
            return Report(RunSwitch(*call.command == Command::Enable, call.options), sink);
        case Command::Nla:
            return Report(RunNla(*call.nlaRequired, call.options), sink);
        case Command::Watch: {
            const WatchReport report = RunWatch(call.options);
            if (json) {
                sink.Out(WatchJson(report));
            } else {
                PrintWatchText(report, sink);
            }
            return report.exitCode;
        }
        case Command::Confirm: {
            const ConfirmReport report = RunConfirm(call.options);
            if (json) {
                sink.Out(ConfirmJson(report));
            } else {
                PrintConfirmText(report, sink);
            }
            return report.exitCode;
        }
    }
    return kExitUsage;
}

}  // namespace console
