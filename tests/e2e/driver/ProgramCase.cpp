#include "driver/ProgramCase.h"

#include <algorithm>
#include <sstream>

#include "driver/Wait.h"
#include "driver/WindowFinder.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace e2e {
namespace {

constexpr const wchar_t* kStatusCaption = L"状态：";
constexpr const wchar_t* kOkText = L"确定";
constexpr const wchar_t* kCancelText = L"取消";

std::string Quoted(const std::wstring& text) { return "\"" + Utf8(text) + "\""; }

std::string Describe(const MessageBoxView& box) {
    std::ostringstream out;
    out << "box " << Quoted(box.caption) << ": " << Quoted(box.text) << ", buttons {";
    for (const BoxButton& b : box.buttons)
        out << " " << b.id << ":" << Utf8(b.text) << (b.isDefault ? "(default)" : "");
    out << " }, " << NameOf(box.icon);
    return out.str();
}

std::string DescribeBoxes(DWORD processId) {
    std::string all;
    for (HWND box : MessageBoxesOf(processId)) all += (all.empty() ? "" : "; ") + Describe(ReadMessageBox(box));
    return all;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

const BoxKind kWarningBox{"warning", {IDOK}, IDOK, BoxIcon::Exclamation};
const BoxKind kInformationBox{"information", {IDOK}, IDOK, BoxIcon::Information};
const BoxKind kConfirmationBox{"confirmation", {IDOK, IDCANCEL}, IDCANCEL, BoxIcon::Question};
const BoxKind kLockoutWarningBox{"lockout warning", {IDOK, IDCANCEL}, IDCANCEL, BoxIcon::Exclamation};
const BoxKind kPlainConfirmationBox{"plain confirmation", {IDOK, IDCANCEL}, IDOK, BoxIcon::None};

testing::AssertionResult BoxIs(const MessageBoxView& box, HWND owner, const std::wstring& text, const BoxKind& kind) {
    std::vector<std::string> wrong;
    if (box.caption != kBoxCaption) wrong.push_back("caption is not " + Quoted(kBoxCaption));
    if (box.owner != owner) wrong.push_back("not owned by the main window");
    if (box.text != text) wrong.push_back("text is not " + Quoted(text));
    std::vector<int> ids;
    for (const BoxButton& b : box.buttons) {
        ids.push_back(b.id);
        const wchar_t* expected = b.id == IDOK ? kOkText : b.id == IDCANCEL ? kCancelText : nullptr;
        if (expected && b.text != expected)
            wrong.push_back("button " + std::to_string(b.id) + " reads " + Quoted(b.text));
    }
    if (ids != kind.buttonIds) wrong.push_back(std::string("buttons are not those of a ") + kind.name + " box");
    if (box.DefaultButtonId() != kind.defaultId)
        wrong.push_back("default button is " + std::to_string(box.DefaultButtonId()) + ", not " +
                        std::to_string(kind.defaultId));
    if (box.icon != kind.icon) wrong.push_back(std::string("icon is not ") + NameOf(kind.icon));
    if (wrong.empty()) return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "expected " << kind.name << " box " << Quoted(text) << "; got " << Describe(box) << ". Wrong:";
    for (const std::string& w : wrong) failure << "\n  - " << w;
    return failure;
}

void ProgramCase::TearDown() { m_process.Terminate(); }

testing::AssertionResult ProgramCase::Seed(DWORD deny, DWORD port) {
    const LSTATUS status = testkit::SeedRemoteDesktop(port, deny);
    if (status == ERROR_SUCCESS) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "seeding the registry failed with " << status;
}

void ProgramCase::WatchSplash(HWND window, HWND visibleMain) {
    if (m_splash.seen || !IsWindowVisible(window)) return;
    m_splash.seen = true;
    m_splash.mainWindowVisible = visibleMain != nullptr;
    m_splash.className = ClassOf(window);
    m_splash.style = StyleOf(window);
    m_splash.exStyle = ExStyleOf(window);
}

testing::AssertionResult ProgramCase::Launch() {
    const std::wstring path = ProgramPath();
    if (path.empty()) return testing::AssertionFailure() << "RDPPORT_EXE is not set";
    DWORD error = 0;
    if (!m_process.Start(path, error))
        return testing::AssertionFailure() << "cannot start " << Utf8(path) << ": error " << error;

    HWND splash = nullptr;
    bool boxDuringStart = false;
    const bool shown = WaitUntil(
        [&] {
            HWND main = nullptr;
            const std::vector<HWND> windows = TopLevelWindowsOf(ProcessId());
            for (HWND w : windows)
                if (CaptionOf(w) == kMainCaption && IsWindowVisible(w)) main = w;
            for (HWND w : windows) {
                if (CaptionOf(w) != kSplashCaption) continue;
                splash = w;
                WatchSplash(w, main);
            }
            boxDuringStart = !MessageBoxesOf(ProcessId()).empty();
            m_main = main;
            return main != nullptr || boxDuringStart || !m_process.Running();
        },
        kStartTimeout, 2ms);
    if (boxDuringStart)
        return testing::AssertionFailure() << "a message box came up during start-up: " << DescribeBoxes(ProcessId());
    if (const std::optional<DWORD> code = m_process.WaitForExit(0ms))
        return testing::AssertionFailure() << "the program ended during start-up with exit code " << *code;
    if (!shown || !m_main) return testing::AssertionFailure() << "the main window did not appear";
    if (splash && !WaitUntil([&] { return !IsWindow(splash) || !IsWindowVisible(splash); }, kBoxTimeout))
        return testing::AssertionFailure() << "the splash stayed on screen after the main window appeared";
    return testing::AssertionSuccess();
}

HWND ProgramCase::Button(const std::wstring& caption) const { return FindChild(m_main, L"Button", caption); }

HWND ProgramCase::CurrentPortBox() const {
    const std::vector<HWND> edits = ChildrenLeftToRight(m_main, L"Edit");
    return edits.size() == 2 ? edits[0] : nullptr;
}

HWND ProgramCase::NewPortBox() const {
    const std::vector<HWND> edits = ChildrenLeftToRight(m_main, L"Edit");
    return edits.size() == 2 ? edits[1] : nullptr;
}

HWND ProgramCase::StatusLabel() const {
    HWND caption = FindChild(m_main, L"Static", kStatusCaption);
    if (!caption) return nullptr;
    const RECT row = ScreenRectOf(caption);
    const int rowMiddle = (row.top + row.bottom) / 2;
    HWND nearest = nullptr;
    for (HWND child : ChildrenLeftToRight(m_main, L"Static")) {
        const RECT r = ScreenRectOf(child);
        const bool inRow = r.top <= rowMiddle && rowMiddle <= r.bottom;
        const bool holdsText = (StyleOf(child) & SS_TYPEMASK) != SS_OWNERDRAW;  // not a picture
        if (inRow && holdsText && r.left >= row.right) {
            nearest = child;
            break;
        }
    }
    return nearest;
}

testing::AssertionResult ProgramCase::OnOffButtonIs(const std::wstring& visibleCaption) const {
    HWND open = Button(kOpenButton);
    HWND close = Button(kCloseButton);
    if (!open || !close) return testing::AssertionFailure() << "the on/off buttons were not found";
    HWND shown = visibleCaption == kOpenButton ? open : close;
    HWND hidden = shown == open ? close : open;
    if (!WaitUntil([&] { return IsWindowVisible(shown) && !IsWindowVisible(hidden); }, kBoxTimeout))
        return testing::AssertionFailure()
               << "visible: " << Utf8(kOpenButton) << "=" << IsWindowVisible(open) << ", " << Utf8(kCloseButton) << "="
               << IsWindowVisible(close) << "; expected only " << Quoted(visibleCaption);
    const RECT openRect = ScreenRectOf(open);
    const RECT closeRect = ScreenRectOf(close);
    if (!EqualRect(&openRect, &closeRect))
        return testing::AssertionFailure() << "the two on/off buttons do not stand at the same place";
    return testing::AssertionSuccess();
}

std::wstring ProgramCase::TextIn(HWND control) const { return control ? TextOf(control) : std::wstring(); }

testing::AssertionResult ProgramCase::ShowsText(HWND control, const std::wstring& expected) const {
    if (!control) return testing::AssertionFailure() << "the control was not found";
    std::wstring last;
    if (WaitUntil([&] { return (last = TextOf(control)) == expected; }, kBoxTimeout))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "shows " << Quoted(last) << ", expected " << Quoted(expected);
}

testing::AssertionResult ProgramCase::TypeNewPort(const std::wstring& text) {
    HWND box = NewPortBox();
    if (!box) return testing::AssertionFailure() << "no new-port box";
    PostClick(box);
    if (!WaitUntil([&] { return FocusInThreadOf(box) == box; }, kBoxTimeout))
        return testing::AssertionFailure() << "a click did not put the focus into the new-port box";
    PostChars(box, text);
    return ShowsText(box, text) << " (after typing into the new-port box)";
}

testing::AssertionResult ProgramCase::PutNewPort(const std::wstring& text) {
    HWND box = NewPortBox();
    if (!box) return testing::AssertionFailure() << "no new-port box";
    if (!SetTextOf(box, text)) return testing::AssertionFailure() << "WM_SETTEXT to the new-port box failed";
    return ShowsText(box, text);
}

testing::AssertionResult ProgramCase::Press(const std::wstring& buttonCaption) {
    HWND button = Button(buttonCaption);
    if (!button) return testing::AssertionFailure() << "no button " << Quoted(buttonCaption);
    if (!IsWindowVisible(button) || !IsWindowEnabled(button))
        return testing::AssertionFailure()
               << "button " << Quoted(buttonCaption) << " cannot be pressed: it is hidden or disabled";
    PostButtonClick(button);
    return testing::AssertionSuccess();
}

std::optional<MessageBoxView> ProgramCase::NextBox() const {
    HWND box = WaitForMessageBox(ProcessId(), kBoxTimeout);
    if (!box) return std::nullopt;
    return ReadMessageBox(box);
}

testing::AssertionResult ProgramCase::Answer(const MessageBoxView& box, int buttonId) const {
    if (AnswerMessageBox(box.hwnd, buttonId, kBoxTimeout)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "could not answer " << buttonId << " to " << Describe(box);
}

testing::AssertionResult ProgramCase::SettledWithoutBox() const {
    // EM_SETLIMITTEXT with a fresh value: posted after everything else, handled in order, and visible
    // through EM_GETLIMITTEXT once handled, whatever the box holds.
    static WPARAM marker = 0x40000000;
    const WPARAM limit = ++marker;
    HWND box = NewPortBox();
    if (!box) return testing::AssertionFailure() << "no new-port box";
    PostMessageW(box, EM_SETLIMITTEXT, limit, 0);
    const bool handled = WaitUntil(
        [&] {
            DWORD_PTR current = 0;
            return SendMessageTimeoutW(box, EM_GETLIMITTEXT, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, &current) &&
                   current == limit;
        },
        kSettleTimeout);
    if (!handled) return testing::AssertionFailure() << "the program never got to the marker message";
    if (const std::string boxes = DescribeBoxes(ProcessId()); !boxes.empty())
        return testing::AssertionFailure() << "a message box is open: " << boxes;
    return testing::AssertionSuccess();
}

testing::AssertionResult ProgramCase::ConfirmChange(const std::wstring& port) {
    if (auto put = PutNewPort(port); !put) return put;
    if (auto pressed = Press(kChangeButton); !pressed) return pressed;
    std::optional<MessageBoxView> question = NextBox();
    if (!question) return testing::AssertionFailure() << "no confirmation for " << Utf8(port);
    if (question->DefaultButtonId() != IDCANCEL)
        return testing::AssertionFailure() << "not the change confirmation: " << Describe(*question);
    if (auto answered = Answer(*question, IDOK); !answered) return answered;
    std::optional<MessageBoxView> done = NextBox();
    if (!done) return testing::AssertionFailure() << "no message after confirming " << Utf8(port);
    if (auto same = BoxIs(*done, m_main, testkit::kPortChanged, kInformationBox); !same) return same;
    if (auto answered = Answer(*done, IDOK); !answered) return answered;
    return ShowsText(CurrentPortBox(), port) << " (current port after the change)";
}

}  // namespace e2e
