#include "console/Arguments.h"

#include "console/PortArgument.h"

namespace console {
namespace {

struct NamedCommand {
    const wchar_t* name;
    Command command;
};
constexpr NamedCommand kCommands[] = {
    {L"help", Command::Help},     {L"status", Command::Status},   {L"set-port", Command::SetPort},
    {L"enable", Command::Enable}, {L"disable", Command::Disable}, {L"nla", Command::Nla},
};

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::optional<Command> CommandNamed(const std::wstring& lowered) {
    for (const NamedCommand& c : kCommands)
        if (lowered == c.name) return c.command;
    return std::nullopt;
}

// Sets the option a word names; false when the word names none.
bool TakeOption(const std::wstring& lowered, Options& options, bool& help) {
    if (lowered == L"--json") return options.json = true;
    if (lowered == L"--what-if") return options.whatIf = true;
    if (lowered == L"--force") return options.force = true;
    if (lowered == L"--open-firewall") return options.openFirewall = true;
    if (lowered == L"--apply") return options.apply = true;
    if (lowered == L"--help" || lowered == L"-h" || lowered == L"/?") return help = true;
    return false;
}

bool IsOptionLike(const std::wstring& word) { return word.size() > 1 && word[0] == L'-' && word[1] == L'-'; }

// The options that only some commands take; empty when the command takes all it was given.
std::wstring MisplacedOption(Command command, const Options& options) {
    const bool writes = command == Command::SetPort || command == Command::Enable || command == Command::Disable ||
                        command == Command::Nla;
    if (options.force && !writes) return L"--force";
    if (options.openFirewall && command != Command::SetPort && command != Command::Enable) return L"--open-firewall";
    if (options.apply && command != Command::SetPort) return L"--apply";
    return {};
}

// nla's operand: on or off, in any ASCII case.
void TakeNlaSwitch(Invocation& call, const std::wstring& word) {
    const std::wstring lowered = AsciiLower(word);
    if (lowered == L"on" || lowered == L"off") {
        call.nlaRequired = lowered == L"on";
    } else {
        call.usageError = L"nla 只接受 on 或 off，不接受“" + word + L"”。";
    }
}

void CheckOperands(Invocation& call, const std::vector<std::wstring>& operands) {
    const bool takesOne = call.command == Command::SetPort || call.command == Command::Nla;
    const size_t wanted = takesOne ? 1 : 0;
    if (operands.size() < wanted) {
        call.usageError = call.command == Command::Nla ? L"nla 需要 on 或 off，例如：rdpport.com nla on"
                                                       : L"set-port 需要一个端口号，例如：rdpport.com set-port 3390";
        return;
    }
    if (operands.size() > wanted) {
        call.usageError = L"多余的参数：" + operands[wanted];
        return;
    }
    if (call.command == Command::Nla) {
        TakeNlaSwitch(call, operands[0]);
        return;
    }
    if (call.command != Command::SetPort) return;
    call.portText = operands[0];
    call.port = PortArgument(call.portText);
    if (!call.port) call.usageError = PortArgumentError(call.portText);
}

}  // namespace

const wchar_t* CommandName(Command command) {
    if (command == Command::OpenWindow) return L"";
    for (const NamedCommand& c : kCommands)
        if (c.command == command) return c.name;
    return L"";
}

Invocation ParseArguments(const std::vector<std::wstring>& args) {
    Invocation call;
    if (args.empty()) {
        call.command = Command::OpenWindow;
        return call;
    }
    bool help = false;
    std::vector<std::wstring> operands;
    // The whole line is read even after a mistake, so a --json further on still gets its JSON answer;
    // the first mistake is the one reported.
    std::wstring firstError;
    for (const std::wstring& word : args) {
        const std::wstring lowered = AsciiLower(word);
        if (TakeOption(lowered, call.options, help)) continue;
        if (IsOptionLike(word)) {
            if (firstError.empty()) firstError = L"未知选项：" + word;
        } else if (!call.command && operands.empty() && firstError.empty()) {
            call.command = CommandNamed(lowered);
            if (!call.command) firstError = L"未知命令：" + word;
        } else {
            operands.push_back(word);
        }
    }
    if (!firstError.empty()) {
        call.usageError = firstError;
        return call;
    }
    // Asking for help is never a usage error, whatever else is on the line.
    if (help || call.command == Command::Help) {
        call.command = Command::Help;
        return call;
    }
    if (!call.command) {
        call.usageError = L"缺少命令。";
        return call;
    }
    if (const std::wstring option = MisplacedOption(*call.command, call.options); !option.empty()) {
        call.usageError = option + L" 不能用于 " + CommandName(*call.command) + L" 命令。";
        return call;
    }
    CheckOperands(call, operands);
    return call;
}

}  // namespace console
