#include "console/Texts.h"

#include "console/Reports.h"

#include "base/DecimalText.h"
#include "base/PrintableText.h"
#include "base/SystemErrorText.h"
#include "common/ProgramTitle.h"

namespace console {

std::wstring ShortKeyName(settings::PortKey key) {
    return key == settings::PortKey::RdpTcp ? L"WinStations\\RDP-Tcp" : L"Wds\\rdpwd\\Tds\\tcp";
}

std::wstring FullKeyName(settings::PortKey key) { return L"HKLM\\" + std::wstring(settings::PathOf(key)); }


std::wstring FirewallPortUnknownText() {
    return L"无法确定当前端口（" + ShortKeyName(settings::PortKey::RdpTcp) +
           L" 中没有 0 到 65535 之间的 REG_DWORD 端口值），因此无法修改防火墙；未作任何修改。";
}

std::wstring FirewallFailureText(std::uint16_t port, const guard::FirewallOpening& opening) {
    // Rules that could not be taken back are named in the reason: the firewall was changed then.
    return L"未能在 Windows 防火墙中放行端口 " + base::DecimalText64(port) + L"：" + guard::OpenFailureText(opening) +
           (opening.leftBehind.empty() ? L"；防火墙与注册表均未作修改。" : L"；注册表未作修改。");
}

std::wstring PortWriteFailureText(std::int32_t port, const std::vector<PortKeyWrite>& writes) {
    const std::wstring number = base::DecimalText64(port);
    std::wstring text;
    bool someKeyHoldsIt = false;
    for (const PortKeyWrite& write : writes) {
        if (!text.empty()) text += L"；";
        text += ShortKeyName(write.key);
        if (write.heldAlready) {
            text += L" 原已是 " + number + L"，未修改";
        } else if (write.status == ERROR_SUCCESS) {
            text += L" 已写入 " + number;
        } else {
            text += L" 写入失败：" + base::SystemErrorClause(static_cast<unsigned long>(write.status));
        }
        someKeyHoldsIt = someKeyHoldsIt || write.HoldsPort();
    }
    if (someKeyHoldsIt) text += L"。两处端口现在不一致";
    return text + L"。";
}

namespace {

std::wstring ServiceName(const std::wstring& name) {
    return name == guard::kRemoteDesktopServiceName ? L"远程桌面服务（" + name + L"）"
                                                    : L"服务 " + base::Printable(name);
}

std::wstring PortList(const std::vector<std::uint16_t>& ports) {
    std::wstring text;
    for (const std::uint16_t port : ports) text += (text.empty() ? L"" : L"、") + base::DecimalText64(port);
    return text;
}

}  // namespace

std::wstring RestartRefusedText(const guard::RestartPlan& plan) {
    const bool own = plan.failedService == guard::kRemoteDesktopServiceName;
    return L"无法重新启动" + ServiceName(plan.failedService) +
           (own ? L"" : L"（它依赖于远程桌面服务，须随之停止和启动）") + L"：" +
           base::SystemErrorClause(plan.error) + L"；未作任何修改。";
}

std::wstring RestartFailureText(std::uint16_t port, const guard::RestartOutcome& outcome) {
    const std::wstring name = ServiceName(outcome.failedService);
    const bool stop = outcome.step == guard::RestartStep::Stop;
    std::wstring what;
    if (outcome.error == WAIT_TIMEOUT) {
        const DWORD seconds = (guard::ServiceWaitMs() + 999) / 1000;
        what = name + L" 在 " + base::DecimalText64(seconds) + (stop ? L" 秒内未停止" : L" 秒内未启动") + L"，未再等待";
    } else {
        what = (stop ? L"未能停止" : L"未能启动") + name + L"：" + base::SystemErrorClause(outcome.error);
    }
    return what + L"。端口 " + base::DecimalText64(port) + L" 已写入注册表，远程桌面服务下次启动时生效。";
}

std::wstring NotListeningText(std::uint16_t port, const std::optional<std::vector<std::uint16_t>>& seen) {
    const std::wstring number = base::DecimalText64(port);
    std::wstring text = L"远程桌面服务已重新启动，但未见它在端口 " + number + L" 监听（";
    text += seen ? L"它正在监听：" + PortList(*seen) : std::wstring(L"未发现它在监听任何端口");
    return text + L"）。端口 " + number + L" 已写入注册表。";
}

std::wstring RestartDropsConnectionsText() {
    return L"重新启动远程桌面服务会断开本服务器上的所有远程桌面连接，包括您自己的连接（会话保持登录，可重新连接）。";
}

std::wstring UsageText() {
    return L"rdpport.com —— " + std::wstring(common::kProgramTitle) + L"的命令行程序\r\n"
           L"\r\n"
           L"用法：rdpport.com [命令] [选项]\r\n"
           L"\r\n"
           L"命令：\r\n"
           L"  （无）             打开图形界面 rdpport.exe\r\n"
           L"  status             显示两处端口设置、是否允许远程连接和是否要求网络级别身份验证（NLA）\r\n"
           L"                     （本机设置、组策略、实际生效）、远程桌面服务正在监听的端口，\r\n"
           L"                     以及防火墙是否放行所配置的端口；只需读取权限\r\n"
           L"  set-port <端口>    把两处端口设置都改为 <端口>（0 到 65535 的十进制整数，只能由数字 0 到 9 组成）\r\n"
           L"  enable             允许远程连接\r\n"
           L"  disable            禁止远程连接\r\n"
           L"  nla on|off         要求（on）或不要求（off）网络级别身份验证（NLA）；不要求时，\r\n"
           L"                     任何能连到端口的人无需先通过身份验证就能看到 Windows 登录界面\r\n"
           L"  confirm            确认新端口：取消等待中的自动改回，并在旧端口不再配置、不再监听时\r\n"
           L"                     删除本程序为旧端口添加的防火墙规则\r\n"
           L"  watch --from <旧端口> --to <新端口> --revert-after <时长> [--apply]\r\n"
           L"                     自动改回任务所运行的命令：新端口生效后开始计时，其间有管理员从其他计算机\r\n"
           L"                     通过新端口登录远程桌面则确认；到时仍没有则改回旧端口（不成功时每 30 秒再试）\r\n"
           L"  firewall [<端口>] [--export <文件>] [--from <文件>]\r\n"
           L"                     逐个网络配置文件（域、专用、公用）说明 Windows 防火墙对 <端口>（默认为所配置的端口）\r\n"
           L"                     的 TCP 和 UDP 入站连接是否一定放行、一定阻止或无法确定，以及起决定作用的规则或设置。\r\n"
           L"                     --export 另把所判断的防火墙快照保存为 UTF-8 JSON 文件；--from 判断快照文件\r\n"
           L"                     而不读取本机（此时须给出 <端口>）\r\n"
           L"  help               显示本说明（也可用 --help 或 /?）\r\n"
           L"\r\n"
           L"选项：\r\n"
           L"  --json             在标准输出只写一个 JSON 对象（英文键名），不写其他内容\r\n"
           L"  --what-if          只报告将要修改的内容和发现的风险，不写入任何内容\r\n"
           L"  --force            发现风险时仍然修改（set-port、enable、disable、nla）\r\n"
           L"  --open-firewall    先在 Windows 防火墙中放行该端口的 TCP 和 UDP 入站连接（所有网络配置文件），\r\n"
           L"                     确认在域、专用、公用网络中均放行后才修改注册表（set-port、enable）\r\n"
           L"  --apply            （仅 set-port）写入后重新启动远程桌面服务（TermService）及依赖它的服务，\r\n"
           L"                     使新端口立即生效；写入之前先确认有权停止和启动这些服务，否则不作任何修改。\r\n"
           L"                     重新启动会断开本服务器上的所有远程桌面连接，包括您自己的连接\r\n"
           L"                     （会话保持登录，可重新连接）。每次停止和启动最多等待 30 秒；\r\n"
           L"                     只有看到服务在新端口监听才算成功（退出代码 0），否则退出代码为 1\r\n"
           L"                     （JSON 另含 applied、listeningAfter、restartSeconds）\r\n"
           L"  --revert-after <时长>\r\n"
           L"                     （set-port）修改之前先安排自动改回，并等待其监视进程启动（最多 30 秒）：\r\n"
           L"                     新端口生效后 <时长> 内没有管理员通过它登录远程桌面（或运行 confirm），\r\n"
           L"                     就自动改回原来的端口，并把远程桌面服务放回原来的端口。\r\n"
           L"                     <时长> 为数字加 s（秒）、m（分钟）或 h（小时），只写数字按分钟计，\r\n"
           L"                     从 10 秒到 24 小时。安排不成功则不作任何修改\r\n"
           L"\r\n"
           L"安全地修改端口（通过远程桌面连接着服务器时）：\r\n"
           L"  rdpport.com set-port 3390 --open-firewall --apply --revert-after 10m\r\n"
           L"  然后用端口 3390 重新连接并登录：登录即确认。若连不上，等 10 分钟后用端口 3389 重新连接。\r\n"
           L"\r\n"
           L"退出代码：\r\n"
           L"  0  完成，或无需修改\r\n"
           L"  1  失败（例如注册表拒绝访问、防火墙无法修改或无法读取，或 --apply 无法重新启动服务、重新启动后未在新端口监听，\r\n"
           L"     或无法安排自动改回、改回失败）\r\n"
           L"  2  用法错误或端口无效（未读取、未写入任何内容）\r\n"
           L"  3  因发现风险而拒绝修改（确认后可加 --force）\r\n"
           L"\r\n"
           L"修改需要管理员权限：请在以管理员身份运行的会话中执行（status 不需要）。端口修改在重新启动计算机（或加 --apply 重新启动远程桌面服务）后生效。\r\n";
}

}  // namespace console
