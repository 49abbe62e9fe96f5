#pragma once
// The texts of the program's message boxes that both test programs expect, written out here on their
// own, character for character, as the user reads them. They are never taken from the program: a test
// that compared the program's text with the program's own routine would compare it with itself.

#include <string>

namespace testkit {

// The confirmation before a port change: the port read at start and the new port text exactly as it
// was taken (trimmed, not converted).
inline std::wstring ChangeQuestion(const std::wstring& from, const std::wstring& to) {
    return L"您确定要将远程连接端口由 " + from + L" 修改为 " + to +
           L" 吗？\r\n\r\n修改后，需要重启计算机才能生效。\r\n\r\n请务必注意未禁用" + to + L"端口。";
}

inline const std::wstring kPortRefused = L"端口必须为数字，并且建议在1025与65534之间！";
inline const std::wstring kPortChanged = L"端口修改成功，您需要重新启动服务器才能生效。";
inline const std::wstring kRegistryRefused = L"修改失败，可能是系统禁止了注册表修改。";
inline const std::wstring kTurnOnQuestion = L"确定要打开远程连接吗？";
inline const std::wstring kTurnOffQuestion =
    L"您确定要关闭远程连接吗？\r\n\r\n注意：关闭后，您将不能通过远程连接进入服务器。";
inline const std::wstring kDone = L"操作完成！";
inline const std::wstring kUnknownFailure = L"操作失败！错误 未知。";

// The lockout guard's warnings: one line per hazard, then this question.
inline const std::wstring kGuardTail = L"\r\n\r\n仍要继续吗？";
inline const std::wstring kPolicyDenies = L"组策略已设置为拒绝远程连接，此处的开启不会生效。";
inline const std::wstring kPolicyAllows = L"组策略已设置为允许远程连接，此处的关闭不会生效。";
inline const std::wstring kPortZeroWarning =
    L"端口 0 不能用作监听端口：绑定端口 0 时由系统另选一个临时端口，重启后将无法通过端口 0 远程连接。";
// A port in the TCP dynamic range; Windows' default range unless told otherwise.
inline std::wstring DynamicRangeWarning(const std::wstring& port, const std::wstring& first = L"49152",
                                        const std::wstring& last = L"65535") {
    return L"端口 " + port + L" 位于系统的 TCP 动态端口范围（" + first + L" 至 " + last +
           L"）内，Hyper-V、WinNAT 或容器等可能在启动时保留该端口，重启后远程桌面可能无法在此端口监听。";
}
// Nothing will listen after the restart: the port concerned, or "" when it is not known.
inline std::wstring NoListenerAfterRestart(const std::wstring& port) {
    return port.empty() ? L"重启后远程桌面不会监听任何端口，将无法远程连接。"
                        : L"重启后远程桌面不会在端口 " + port + L" 监听，将无法远程连接。";
}
inline std::wstring ServiceDisabledWarning(const std::wstring& port) {
    return L"远程桌面服务（TermService）的启动类型为“禁用”，" + NoListenerAfterRestart(port);
}
inline std::wstring ListenerDisabledWarning(const std::wstring& port) {
    return L"远程桌面的 RDP-Tcp 连接已被停用（fEnableWinStation 为 0），" + NoListenerAfterRestart(port);
}

}  // namespace testkit
