#include "guard/Hazard.h"
#include "base/DecimalText.h"
#include "base/PrintableText.h"

namespace guard {
namespace {

constexpr const wchar_t* kLineBreak = L"\r\n";

// PID 4 is the system itself: a port it holds is HTTP.sys's, which IIS, WinRM and others listen through.
constexpr unsigned long kSystemPid = 4;

std::wstring PidText(unsigned long pid) { return L"PID " + base::DecimalText64(pid); }

// The owner in brackets as far as Windows tells it ("（svchost.exe 中的服务 WinRM，PID 1234）"), or nothing.
// Its names are whatever the program that holds the port chose: shown printable.
std::wstring OwnerText(const Hazard& hazard) {
    const std::wstring image = base::Printable(hazard.ownerImage);
    std::wstring who;
    if (!hazard.ownerService.empty()) {
        who = (image.empty() ? L"" : image + L" 中的") + L"服务 " + base::Printable(hazard.ownerService);
    } else if (hazard.ownerPid != 0) {
        who = image;
    }
    if (hazard.ownerPid != 0) who += (who.empty() ? L"" : L"，") + PidText(hazard.ownerPid);
    return who.empty() ? who : L"（" + who + L"）";
}

std::wstring PortInUse(const Hazard& hazard) {
    const std::wstring head = L"端口 " + base::DecimalText64(hazard.port);
    const wchar_t* tail = L"占用，重启后远程桌面将无法在此端口监听。";
    if (hazard.ownerPid == kSystemPid)
        return head + L" 已被系统的 HTTP.sys（" + PidText(kSystemPid) + L"，IIS、WinRM 等经由它监听）" + tail;
    return head + L" 已被其他程序" + OwnerText(hazard) + tail;
}

std::wstring PortInDynamicRange(const Hazard& hazard) {
    return L"端口 " + base::DecimalText64(hazard.port) + L" 位于系统的 TCP 动态端口范围（" +
           base::DecimalText64(hazard.rangeFirst) + L" 至 " + base::DecimalText64(hazard.rangeLast) +
           L"）内，Hyper-V、WinNAT 或容器等可能在启动时保留该端口，重启后远程桌面可能无法在此端口监听。";
}

// What follows for the service and listener hazards: no listener after the restart, on the port if known.
std::wstring NoListener(const Hazard& hazard) {
    const std::wstring where = hazard.port ? L"在端口 " + base::DecimalText64(hazard.port) + L" 监听" : L"监听任何端口";
    return L"重启后远程桌面不会" + where + L"，将无法远程连接。";
}

std::wstring FirewallClosed(const Hazard& hazard) {
    const wchar_t* consequence =
        hazard.isCurrentPort ? L"开启后仍将无法远程连接。" : L"重启后将无法通过新端口远程连接。";
    const std::wstring where = hazard.closedProfiles ? L"在" + ProfileNames(hazard.closedProfiles) + L"网络中" : L"";
    return L"Windows 防火墙" + where + L"没有放行 TCP " + base::DecimalText64(hazard.port) + L" 端口的入站连接，" +
           consequence + L"请先在防火墙（以及云服务器的安全组）中放行该端口。";
}

}  // namespace

std::wstring Describe(const Hazard& hazard) {
    switch (hazard.kind) {
        case HazardKind::PortInUse:
            return PortInUse(hazard);
        case HazardKind::PortForbidden:
            return L"端口 " + base::DecimalText64(hazard.port) +
                   L" 属于系统保留或禁止使用的端口，远程桌面可能无法在此端口监听。";
        case HazardKind::FirewallClosed:
            return FirewallClosed(hazard);
        case HazardKind::PolicyDenies:
            return L"组策略已设置为拒绝远程连接，此处的开启不会生效。";
        case HazardKind::PolicyAllows:
            return L"组策略已设置为允许远程连接，此处的关闭不会生效。";
        case HazardKind::PolicyOverridesNla:
            return L"组策略对网络级别身份验证（NLA）的设置与此相反，且优先于本机设置，此处的修改不会生效。";
        case HazardKind::PortZero:
            return L"端口 0 不能用作监听端口：绑定端口 0 时由系统另选一个临时端口，重启后将无法通过端口 0 远程连接。";
        case HazardKind::PortInDynamicRange:
            return PortInDynamicRange(hazard);
        case HazardKind::ServiceDisabled:
            return L"远程桌面服务（TermService）的启动类型为“禁用”，" + NoListener(hazard);
        case HazardKind::FirewallOtherProfiles:
            return L"Windows 防火墙在当前未连接的" + ProfileNames(hazard.closedProfiles) + L"网络中未确认放行 TCP " +
                   base::DecimalText64(hazard.port) + L" 端口；计算机重启后若处于这些网络，可能无法远程连接。";
        case HazardKind::ListenerDisabled:
            return L"远程桌面的 RDP-Tcp 连接已被停用（fEnableWinStation 为 0），" + NoListener(hazard);
    }
    return {};
}

std::wstring ProfileNames(long profileBits) {
    // NET_FW_PROFILE2_DOMAIN, _PRIVATE, _PUBLIC, as Windows names them in Chinese.
    constexpr struct {
        long bit;
        const wchar_t* name;
    } kNames[] = {{0x1, L"域"}, {0x2, L"专用"}, {0x4, L"公用"}};
    std::wstring names;
    for (const auto& profile : kNames) {
        if ((profileBits & profile.bit) == 0) continue;
        if (!names.empty()) names += L"、";
        names += profile.name;
    }
    return names;
}

std::wstring HazardLines(const std::vector<Hazard>& hazards) {
    std::wstring text;
    for (const Hazard& hazard : hazards) text += Describe(hazard) + kLineBreak;
    return text;
}

std::wstring WarningText(const std::vector<Hazard>& hazards) {
    if (hazards.empty()) return {};
    return HazardLines(hazards) + kLineBreak + L"仍要继续吗？";
}

}  // namespace guard
