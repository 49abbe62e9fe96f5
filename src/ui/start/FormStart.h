#pragma once
// The splash window: shown first, it drives the start-up sequence from its one-shot timer.

#include <memory>

#include "ui/start/FormStartLayout.h"
#include "ui/toolkit/Controls.h"
#include "ui/toolkit/FormInstance.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/Timer.h"
#include "ui/toolkit/Window.h"

namespace ui {

class FormStart final : public toolkit::Window {
public:
    static FormStart& Instance();
    static bool Exists();
    static void Release();

    ~FormStart() override;

    void Load();
    bool IsLoaded() const { return IsCreated(); }
    void Show();
    void Unload();
    toolkit::Control& Ctl(StartControl id);
    toolkit::Timer& TimerStart() { return m_timerStart; }

    // Event handlers.
    void Form_Load();
    void TimerStart_Timer();
    void Label_Link_Click();
    void Label_Link_MouseMove();

private:
    friend class FormStartProbe;  // tests read the bar without loading the window again
    friend class toolkit::FormInstance<FormStart>;
    FormStart() = default;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept override;
    void Paint();

    toolkit::ControlSet m_controls;
    toolkit::Timer m_timerStart{1, kTimerStartIntervalMs};
    toolkit::PicturePtr m_picture;
    bool m_creating = false;
};

}  // namespace ui
