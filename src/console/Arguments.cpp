#include "console/Arguments.h"

#include "console/DurationArgument.h"
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
    {L"watch", Command::Watch},   {L"confirm", Command::Confirm}, {L"firewall", Command::Firewall},
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

// The options that take a value: "--name value" or "--name=value".
enum class ValueOption { RevertAfter, From, To, Export };
struct NamedValueOption {
    const wchar_t* name;
    ValueOption option;
};
constexpr NamedValueOption kValueOptions[] = {
    {L"--revert-after", ValueOption::RevertAfter}, {L"--from", ValueOption::From}, {L"--to", ValueOption::To},
    {L"--export", ValueOption::Export}};

// The value option the word names, with the value written into it after "=", if any.
std::optional<ValueOption> ValueOptionNamed(const std::wstring& lowered, std::optional<std::wstring>& inlineValue) {
    for (const NamedValueOption& o : kValueOptions) {
        const std::wstring name = o.name;
        if (lowered == name) return o.option;
        if (lowered.size() > name.size() && lowered.compare(0, name.size() + 1, name + L"=") == 0) {
            inlineValue = lowered.substr(name.size() + 1);
            return o.option;
        }
    }
    return std::nullopt;
}

// Takes the value into the invocation; the usage error when it is not one.
std::wstring TakeValue(Invocation& call, ValueOption option, const std::wstring& name, const std::wstring& value) {
    if (option == ValueOption::RevertAfter) {
        call.options.revertAfterSeconds = DurationArgument(value);
        return call.options.revertAfterSeconds ? L"" : DurationArgumentError(value);
    }
    // --from is watch's port or firewall's file: which, the command decides once it is known.
    if (option == ValueOption::From) return call.options.fromText = value, L"";
    if (option == ValueOption::Export) return call.options.exportPath = value, L"";
    call.options.to = PortArgument(value);
    return call.options.to ? L"" : name + L"：" + PortArgumentError(value);
}

// --from as the command takes it; the usage error when it is not that.
std::wstring TakeFrom(Invocation& call) {
    if (!call.options.fromText) return {};
    if (call.command == Command::Firewall) {
        call.options.snapshotPath = call.options.fromText;
        return call.options.snapshotPath->empty() ? L"--from 缺少它的值。" : L"";
    }
    call.options.from = PortArgument(*call.options.fromText);
    return call.options.from ? L"" : L"--from：" + PortArgumentError(*call.options.fromText);
}

bool IsOptionLike(const std::wstring& word) { return word.size() > 1 && word[0] == L'-' && word[1] == L'-'; }

// The options that only some commands take; empty when the command takes all it was given.
std::wstring MisplacedOption(Command command, const Options& options) {
    const bool writes = command == Command::SetPort || command == Command::Enable || command == Command::Disable ||
                        command == Command::Nla;
    if (options.force && !writes) return L"--force";
    if (options.openFirewall && command != Command::SetPort && command != Command::Enable) return L"--open-firewall";
    if (options.apply && command != Command::SetPort && command != Command::Watch) return L"--apply";
    if (options.revertAfterSeconds && command != Command::SetPort && command != Command::Watch)
        return L"--revert-after";
    if (options.fromText && command != Command::Watch && command != Command::Firewall) return L"--from";
    if (options.exportPath && command != Command::Firewall) return L"--export";
    if (options.to && command != Command::Watch) return L"--to";
    if (options.whatIf && (command == Command::Watch || command == Command::Confirm || command == Command::Firewall))
        return L"--what-if";
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
    const bool takesOne = call.command == Command::SetPort || call.command == Command::Nla ||
                          (call.command == Command::Firewall && !operands.empty());
    const size_t wanted = takesOne ? 1 : 0;
    if (call.command == Command::Firewall && operands.empty() && call.options.snapshotPath) {
        call.usageError = L"firewall --from 需要一个端口号，例如：rdpport.com firewall 3390 --from snapshot.json";
        return;
    }
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
    if (call.command == Command::Watch && !(call.options.from && call.options.to && call.options.revertAfterSeconds)) {
        call.usageError =
            L"watch 需要 --from、--to 和 --revert-after，例如："
            L"rdpport.com watch --from 3389 --to 3390 --revert-after 10m";
        return;
    }
    if (call.command != Command::SetPort && !(call.command == Command::Firewall && wanted == 1)) return;
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
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& word = args[i];
        const std::wstring lowered = AsciiLower(word);
        if (TakeOption(lowered, call.options, help)) continue;
        std::optional<std::wstring> value;
        if (const std::optional<ValueOption> option = ValueOptionNamed(lowered, value)) {
            const std::wstring name = word.substr(0, word.find(L'='));
            if (!value) {
                if (i + 1 < args.size()) value = args[++i];
            } else {
                value = word.substr(name.size() + 1);  // as typed, not lowered
            }
            const std::wstring error = value ? TakeValue(call, *option, name, *value) : name + L" 缺少它的值。";
            if (firstError.empty()) firstError = error;
            continue;
        }
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
    call.usageError = TakeFrom(call);
    if (!call.Usable()) return call;
    CheckOperands(call, operands);
    return call;
}

}  // namespace console
