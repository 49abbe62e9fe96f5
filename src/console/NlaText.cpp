#include "console/NlaText.h"

#include "base/DecimalText.h"

namespace console {
namespace {

// The local value, whose meaning when missing Windows does not document (see NlaStatus).
std::wstring NlaLocalText(const NlaStatus& nla) {
    if (nla.localError) return L"无法读取：" + nla.localError->text;
    if (nla.localStatus == ERROR_FILE_NOT_FOUND) return L"未设置（缺少该值时是否要求，Windows 没有公开说明）";
    if (!nla.localIsDword) return L"不是 REG_DWORD，由 Windows 解释";
    if (const std::optional<bool> required = nla.Required()) return *required ? L"要求" : L"不要求";
    return L"值为 " + base::DecimalText64(*nla.localValue) + L"，由 Windows 解释";
}

std::wstring NlaPolicyText(const NlaStatus& nla) {
    if (nla.policyError) return L"无法读取：" + nla.policyError->text;
    if (!nla.policy.Set()) return L"未设置";
    if (!nla.policy.number) return L"已设置，但不是 REG_DWORD，由 Windows 解释";
    if (const std::optional<bool> required = nla.PolicyRequires())
        return *required ? L"要求（优先于本机设置）" : L"不要求（优先于本机设置）";
    return L"值为 " + base::DecimalText64(*nla.policy.number) + L"，由 Windows 解释";
}

}  // namespace

std::wstring NlaStatusLines(const NlaStatus& nla) {
    const std::optional<bool> effective = nla.Effective();
    return L"网络级别身份验证（NLA，本机设置）：" + NlaLocalText(nla) + L"\r\n网络级别身份验证（组策略）：" +
           NlaPolicyText(nla) + L"\r\n网络级别身份验证（实际生效）：" +
           (effective ? (*effective ? L"要求" : L"不要求") : L"无法确定") + L"\r\n";
}

std::wstring NlaOutcome(const ChangeReport& report) {
    const std::wstring what = report.required ? L"要求网络级别身份验证（NLA）" : L"不要求网络级别身份验证（NLA）";
    if (report.alreadySet) return L"本机设置已经" + what + L"，无需修改。";
    if (report.options.whatIf) return L"将把本机设置改为" + what + L"。";
    return L"本机设置已改为" + what + L"。";
}

std::wstring NlaOffNote() {
    return L"注意：不要求 NLA 时，任何能连到此端口的人无需先通过身份验证，就能看到 Windows 登录界面。";
}

}  // namespace console
