#include "revert/TaskXml.h"

#include "base/DecimalText.h"

namespace revert {
namespace {

// Zero-padded to `width` digits.
std::wstring Digits(unsigned value, size_t width) {
    const std::wstring digits = base::DecimalText64(value);
    return std::wstring(digits.size() < width ? width - digits.size() : 0, L'0') + digits;
}

struct Entity {
    wchar_t character;
    std::wstring_view name;
};
constexpr Entity kEntities[] = {
    {L'&', L"&amp;"}, {L'<', L"&lt;"}, {L'>', L"&gt;"}, {L'"', L"&quot;"}, {L'\'', L"&apos;"}};

std::wstring Unescaped(std::wstring_view text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        for (const Entity& e : kEntities) {
            if (text.substr(i, e.name.size()) == e.name) {
                out += e.character;
                i += e.name.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i];
    }
    return out;
}

}  // namespace

std::wstring DateTimeText(const SYSTEMTIME& t) {
    return Digits(t.wYear, 4) + L"-" + Digits(t.wMonth, 2) + L"-" + Digits(t.wDay, 2) + L"T" + Digits(t.wHour, 2) +
           L":" + Digits(t.wMinute, 2) + L":" + Digits(t.wSecond, 2);
}

std::wstring XmlEscaped(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        bool replaced = false;
        for (const Entity& e : kEntities) {
            if (c == e.character) {
                out += e.name;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += c;
    }
    return out;
}

std::wstring RevertTaskXml(const PendingRevert& plan, const std::wstring& program, const SYSTEMTIME& localNow) {
    // Three triggers keep one watch alive: the registration trigger starts it at once, before anything
    // is changed; the boot trigger at every start of the computer; the time trigger, from now and
    // repeating every 5 minutes without end, starts it again if it was killed (IgnoreNew: never two
    // at once). No limit on the run: the watch ends by itself, and a limit could end it mid-revert.
    // The path is quoted: Program Files has a space in it.
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
           L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           L"<RegistrationInfo><Description>" +
           XmlEscaped(L"在端口 " + base::DecimalText64(plan.to) + L" 生效后等待管理员登录确认；" +
                      DurationText(plan.seconds) + L"内未确认则改回端口 " + base::DecimalText64(plan.from) + L"。") +
           L"</Description></RegistrationInfo>"
           L"<Triggers><RegistrationTrigger><Enabled>true</Enabled></RegistrationTrigger>"
           L"<BootTrigger><Enabled>true</Enabled></BootTrigger>"
           L"<TimeTrigger><Repetition><Interval>PT5M</Interval><StopAtDurationEnd>false</StopAtDurationEnd>"
           L"</Repetition><StartBoundary>" +
           DateTimeText(localNow) /* no zone: the Task Scheduler reads it as local */ +
           L"</StartBoundary><Enabled>true</Enabled></TimeTrigger>"
           L"</Triggers>"
           L"<Principals><Principal id=\"System\"><UserId>S-1-5-18</UserId><LogonType>ServiceAccount</LogonType>"
           L"<RunLevel>HighestAvailable</RunLevel></Principal></Principals>"
           L"<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
           L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
           L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"
           L"<StartWhenAvailable>true</StartWhenAvailable>"
           L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Enabled>true</Enabled></Settings>"
           L"<Actions Context=\"System\"><Exec><Command>" +
           XmlEscaped(L"\"" + program + L"\"") + L"</Command><Arguments>" + XmlEscaped(WatchArguments(plan)) +
           L"</Arguments></Exec></Actions></Task>";
}

std::wstring UnquotedCommand(std::wstring_view command) {
    if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"')
        command = command.substr(1, command.size() - 2);
    return std::wstring(command);
}

std::optional<std::wstring> ElementText(std::wstring_view xml, std::wstring_view name) {
    const std::wstring open = L"<" + std::wstring(name) + L">";
    const std::wstring close = L"</" + std::wstring(name) + L">";
    const size_t start = xml.find(open);
    if (start == std::wstring_view::npos) return std::nullopt;
    const size_t from = start + open.size();
    const size_t end = xml.find(close, from);
    if (end == std::wstring_view::npos) return std::nullopt;
    return Unescaped(xml.substr(from, end - from));
}

}  // namespace revert
