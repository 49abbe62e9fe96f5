// The keyboard as a person uses it: the focus comes back after a message box and after another window,
// Enter runs a command without taking the focus, and a pasted text is never cut.

#include <gtest/gtest.h>

#include <string>

#include "driver/ProgramCase.h"
#include "driver/Wait.h"
#include "driver/WindowFinder.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2EKeyboard : public ProgramCase {
protected:
    HWND Focus() const { return FocusInThreadOf(Main()); }

    testing::AssertionResult FocusComesTo(HWND expected, const char* what) const {
        if (WaitUntil([&] { return Focus() == expected; }, kBoxTimeout)) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the focus is not in " << what << " but on a window of class "
                                           << Utf8(ClassOf(Focus())) << " with text " << Utf8(TextOf(Focus()));
    }

    // Enter on whatever has the focus, as the keyboard delivers it.
    void PressEnter() const { PostKey(Focus(), VK_RETURN); }
    void PressTab() const { PostKey(Focus(), VK_TAB); }
};

// Puts text on the clipboard for a paste, as another program would.
bool PutOnClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool put = false;
    if (void* target = memory ? GlobalLock(memory) : nullptr) {
        memcpy(target, text.c_str(), bytes);
        GlobalUnlock(memory);
        put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;  // the clipboard owns it from here
    }
    if (!put && memory) GlobalFree(memory);
    CloseClipboard();
    return put;
}

TEST_F(E2EKeyboard, TheFocusComesBackAfterAMessageBoxAndAfterAnotherWindow) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(TypeNewPort(L"abc"));
    PressEnter();
    const auto warning = NextBox();
    ASSERT_TRUE(warning) << "no warning for abc";
    EXPECT_TRUE(BoxIs(*warning, Main(), kPortRefused, kWarningBox));
    ASSERT_TRUE(Answer(*warning, IDOK));
    ASSERT_TRUE(FocusComesTo(NewPortBox(), "the new-port box after the warning"));
    // Typing goes on where it was, and Tab goes on from there in the tab order.
    PostChars(Focus(), L"1");
    EXPECT_TRUE(ShowsText(NewPortBox(), L"abc1"));
    PressTab();
    EXPECT_TRUE(FocusComesTo(Button(kRevertButton), "撤销修改, the next in the tab order"));

    // Another window of another program takes over, then the user comes back.
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, kBoxTimeout));
    SetForegroundWindow(Main());
    EXPECT_TRUE(FocusComesTo(Button(kRevertButton), "撤销修改 after switching back"));
    DestroyWindow(other);
}

TEST_F(E2EKeyboard, EnterRunsTheDefaultCommandWithoutTakingTheFocusAndAFocusedButtonRunsItself) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(TypeNewPort(L"3390"));
    PressEnter();
    const auto question = NextBox();
    ASSERT_TRUE(question) << "Enter in the new-port box did not run the change";
    EXPECT_EQ(question->DefaultButtonId(), IDCANCEL);
    ASSERT_TRUE(Answer(*question, IDCANCEL));
    EXPECT_TRUE(FocusComesTo(NewPortBox(), "the new-port box (Enter must not move it to 确定修改)"));

    PressTab();
    ASSERT_TRUE(FocusComesTo(Button(kRevertButton), "撤销修改"));
    PressEnter();
    const auto restored = NextBox();
    ASSERT_TRUE(restored) << "Enter on 撤销修改 ran nothing";
    EXPECT_TRUE(BoxIs(*restored, Main(), L"设置完成！复原端口：3389", kInformationBox));
    ASSERT_TRUE(Answer(*restored, IDOK));
    EXPECT_TRUE(FocusComesTo(Button(kRevertButton), "撤销修改 after its own box"));
    EXPECT_TRUE(SettledWithoutBox());
}

TEST_F(E2EKeyboard, APastedTextIsNeverCutSoATrailingRefusalStillCounts) {
    ASSERT_TRUE(Seed(/*deny=*/0));
    ASSERT_TRUE(Launch());
    // Past any edit control's own limit: if the box cut it, only "3390" and blanks would be left.
    const std::wstring pasted = L"3390" + std::wstring(40000, L' ') + L"abc";
    ASSERT_TRUE(PutOnClipboard(pasted));
    PostClick(NewPortBox());
    ASSERT_TRUE(FocusComesTo(NewPortBox(), "the new-port box"));
    PostMessageW(NewPortBox(), WM_PASTE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(NewPortBox()).size() == pasted.size(); }, kBoxTimeout))
        << "the box holds " << TextOf(NewPortBox()).size() << " of the " << pasted.size() << " pasted characters";
    PressEnter();
    const auto box = NextBox();
    ASSERT_TRUE(box) << "no box after Enter";
    EXPECT_TRUE(BoxIs(*box, Main(), kPortRefused, kWarningBox));
    ASSERT_TRUE(Answer(*box, box->buttons.size() == 1 ? IDOK : IDCANCEL));
    EXPECT_TRUE(DwordAt(kRdpTcp, kPortValue, 3389));
}

}  // namespace
