// firewall: how the Windows Firewall treats a port, per protocol and profile, and what decides it; from
// this machine, or from a snapshot another machine exported. Either way the same model judges: the
// snapshot fills exactly the state this machine's reader fills.

#include <windows.h>

#include "base/FileContents.h"
#include "base/Handles.h"
#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "guard/FirewallSnapshot.h"

namespace console {
namespace {

// Large enough for any firewall's rules; a bigger file is refused before it is read into memory.
constexpr DWORD kMostSnapshotBytes = 4 * 1024 * 1024;

// CreateFileW's handle, null when it failed (INVALID_HANDLE_VALUE).
base::UniqueKernelHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    const HANDLE file =
        CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return base::UniqueKernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

std::optional<Failure> ReadFile(const std::wstring& path, std::string& out) {
    const base::FileRead read = base::ReadWholeFile(path, kMostSnapshotBytes, out);
    if (read.tooLarge) return Failure{0, L"文件 " + path + L" 太大，不是防火墙快照"};
    if (!read.Ok()) return FailureOf(static_cast<long>(read.error));
    return std::nullopt;
}

// Written whole to a temporary name, then moved over the target: never half a snapshot.
std::optional<Failure> WriteFile(const std::wstring& path, const std::string& text) {
    const std::wstring temporary = path + L".tmp";
    {
        const base::UniqueKernelHandle file = OpenFile(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!file) return FailureOf(static_cast<long>(GetLastError()));
        DWORD written = 0;
        if (!::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.Get())) {
            const long status = static_cast<long>(GetLastError());
            DeleteFileW(temporary.c_str());
            return FailureOf(status);
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const long status = static_cast<long>(GetLastError());
        DeleteFileW(temporary.c_str());
        return FailureOf(status);
    }
    return std::nullopt;
}

// The state judged: the snapshot's, or this machine's.
std::optional<guard::firewall::State> StateToJudge(FirewallReport& report) {
    if (!report.options.snapshotPath) {
        guard::firewall::State state = Guard().ReadFirewallState();
        if (state.known) return state;
        Fail(report, {0, L"无法读取 Windows 防火墙的设置"});
        return std::nullopt;
    }
    const std::wstring& path = *report.options.snapshotPath;
    std::string text;
    if (std::optional<Failure> failure = ReadFile(path, text)) {
        failure->text = L"无法读取 " + path + L"：" + failure->text;
        Fail(report, std::move(*failure));
        return std::nullopt;
    }
    guard::firewall::SnapshotReading reading = guard::firewall::ReadSnapshot(text);
    if (!reading.state) Fail(report, {0, path + L" 不是有效的防火墙快照：" + reading.error});
    return std::move(reading.state);
}

}  // namespace

FirewallReport RunFirewall(std::optional<std::int32_t> port, const Options& options) {
    FirewallReport report;
    report.options = options;
    report.fromFile = options.snapshotPath.has_value();
    if (port) {
        report.port = static_cast<std::uint16_t>(*port);
    } else {
        report.port = ReadPortKey(settings::PortKey::RdpTcp).port;
        if (!report.port) {
            Fail(report, {0, L"无法确定所配置的端口，请给出端口，例如：rdpport.com firewall 3390"});
            return report;
        }
    }
    const std::optional<guard::firewall::State> state = StateToJudge(report);
    if (!state) return report;
    report.currentProfiles = state->currentProfiles;
    report.tcp = guard::firewall::Assess(*state, *report.port, guard::firewall::kProtocolTcp);
    report.udp = guard::firewall::Assess(*state, *report.port, guard::firewall::kProtocolUdp);
    if (options.exportPath) {
        if (std::optional<Failure> failure = WriteFile(*options.exportPath, guard::firewall::SnapshotJson(*state))) {
            failure->text = L"无法写入 " + *options.exportPath + L"：" + failure->text;
            Fail(report, std::move(*failure));
            return report;
        }
        report.exported = *options.exportPath;
    }
    return report;
}

}  // namespace console
