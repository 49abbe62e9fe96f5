#include "registry/RegTable.h"

#include "common/UserLocale.h"
#include "ui/toolkit/MessageBox.h"

namespace RegTable {
namespace {

const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

}  // namespace

std::wstring TextForm(const TypedValue& value) { return settings::TextForm(value); }

bool SetDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& valueText) {
    // The number is taken from the text as it will be written: an empty text, replaced by " " below,
    // converts to 0 either way.
    const auto bits = static_cast<std::uint32_t>(common::ToPortNumber(valueText.empty() ? L" " : valueText));
    const settings::DwordWrite write = settings::WriteDword(root, keyPath, valueName, bits);
    if (!write.KeyOpened()) return false;
    if (valueText.empty()) valueText = L" ";
    // A write refused after the key opened is a failure too: the caller must not report success.
    return write.valueStatus == ERROR_SUCCESS;
}

std::wstring GetValueText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    return settings::ReadValueText(root, keyPath, valueName).text;
}

long QueryValueVariant(HKEY key, const std::wstring& valueName, TypedValue& out) {
    return settings::QueryValue(key, valueName, out);
}

std::wstring GetRemotePort() {
    const settings::PortReading reading = settings::ReadPort();
    const std::wstring text = reading.Text();
    if (!reading.Ok()) toolkit::ShowMessage(kPortReadFailed, toolkit::kStyleWarning);
    return text;
}

bool SetRemotePort(std::wstring& portText) {
    const bool first = SetDwordValue(kLocalMachine, kRdpTcpKey, kPortValue, portText);
    const bool second = SetDwordValue(kLocalMachine, kRdpwdTcpKey, kPortValue, portText);
    return first && second;
}

bool IsRemoteEnabled() { return settings::ReadDenyFlag().Allowed(); }

bool SetRemoteEnabled(bool allow) {
    std::wstring text = allow ? L"0" : L"1";
    return SetDwordValue(kLocalMachine, kTerminalServerKey, kDenyValue, text);
}

}  // namespace RegTable
