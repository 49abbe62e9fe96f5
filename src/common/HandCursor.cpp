#include "common/HandCursor.h"

namespace common {

LoadCursorSeam& LoadCursorCall() {
    static LoadCursorSeam seam(&LoadCursorA);
    return seam;
}

void ShowHandCursor() {
    constexpr WORD kIdcHand = 32649;
    if (!HandCursor) HandCursor = LoadCursorCall()(nullptr, MAKEINTRESOURCEA(kIdcHand));
    if (HandCursor) SetCursor(HandCursor);
}

}  // namespace common
