#include "common/HandCursor.h"

namespace common {

LoadCursorSeam& LoadCursorCall() {
    static LoadCursorSeam seam(&LoadCursorA);
    return seam;
}

void ShowHandCursor() {
    // IDC_HAND as its number: the SDK's macro is the wide-character form, and LoadCursorA wants the
    // same id as MAKEINTRESOURCEA.
    constexpr WORD kIdcHand = 32649;
    if (!HandCursor) HandCursor = LoadCursorCall()(nullptr, MAKEINTRESOURCEA(kIdcHand));
    if (HandCursor) SetCursor(HandCursor);
}

}  // namespace common
