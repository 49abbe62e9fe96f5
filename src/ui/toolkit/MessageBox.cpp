#include "ui/toolkit/MessageBox.h"

#include "ui/toolkit/Window.h"

namespace toolkit {

MessageBoxSeam& MessageBoxCall() {
    static MessageBoxSeam seam([](HWND owner, const std::wstring& text, const std::wstring& caption,
                                  UINT style) {
        return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
    });
    return seam;
}

int ShowMessage(const std::wstring& text, UINT style) {
    const int result = MessageBoxCall()(Window::ModalOwner(), text, kAppTitle, style);
    // MessageBox returns 0 when it could not be shown at all: that is no confirmation either.
    return result == kResultOk ? kResultOk : (result == 0 ? kResultCancel : result);
}

}  // namespace toolkit
