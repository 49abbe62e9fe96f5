#pragma once

namespace ui {

// Sets the width, in twips, of the splash's progress bar while the splash is loaded; nothing otherwise.
void ShowStartupProgress(int widthTw);

}  // namespace ui
