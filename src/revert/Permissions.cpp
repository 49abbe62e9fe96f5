#include "revert/Permissions.h"

#include <sddl.h>

#include "base/Handles.h"

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
    base::UniqueLocal<PSID> trusted;
    return ConvertStringSidToSidW(kTrustedInstaller, trusted.Put()) && EqualSid(sid, trusted.Get());
}

bool MayChange(PSID sid, PSID alsoAllowed) {
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsTrustedInstaller(sid) || (alsoAllowed && EqualSid(sid, alsoAllowed));
}

std::wstring SidText(PSID sid) {
    base::UniqueLocal<wchar_t*> text;
    if (!ConvertSidToStringSidW(sid, text.Put())) return L"?";
    return text.Get();
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
    base::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.Put(), nullptr))
        return L"?";
    return OthersWhoMayChange(descriptor.Get(), alsoAllowed, alsoCounting);
}

}  // namespace revert
