#include "revert/Permissions.h"

#include <sddl.h>

namespace revert {
namespace {

// Rights that let the holder change, replace or remove a file, a folder or a task (file rights, as
// the Task Scheduler keeps tasks, and the generic ones).
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                        FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL;

// NT SERVICE\TrustedInstaller, which owns Windows' own files.
constexpr const wchar_t* kTrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsTrustedInstaller(PSID sid) {
    PSID trusted = nullptr;
    if (!ConvertStringSidToSidW(kTrustedInstaller, &trusted)) return false;
    const bool same = EqualSid(sid, trusted) != FALSE;
    LocalFree(trusted);
    return same;
}

bool MayChange(PSID sid, PSID alsoAllowed) {
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsTrustedInstaller(sid) || (alsoAllowed && EqualSid(sid, alsoAllowed));
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return L"?";
    std::wstring out = text;
    LocalFree(text);
    return out;
}

}  // namespace

std::wstring OthersWhoMayChange(PSECURITY_DESCRIPTOR descriptor, PSID alsoAllowed, ACCESS_MASK alsoCounting) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return L"?";
    if (!present || !dacl) return L"S-1-1-0";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID sid = &ace->SidStart;
        if ((ace->Mask & (kChangingRights | alsoCounting)) != 0 && !MayChange(sid, alsoAllowed)) return SidText(sid);
    }
    return {};
}

std::wstring OthersWhoMayChange(const wchar_t* sddl, PSID alsoAllowed, ACCESS_MASK alsoCounting) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return L"?";
    std::wstring who = OthersWhoMayChange(descriptor, alsoAllowed, alsoCounting);
    LocalFree(descriptor);
    return who;
}

}  // namespace revert
