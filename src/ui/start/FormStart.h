#pragma once
// The splash window: shown first, it drives the start-up sequence from its one-shot timer.

#include "ui/start/FormStartLayout.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/Timer.h"

namespace ui {

class FormStart final : public toolkit::Form<FormStart, StartControl> {
public:
    toolkit::Timer& TimerStart() { return m_timerStart; }

    // Event handlers.
    void Form_Load() override;
    void TimerStart_Timer();
    void Label_Link_Click();
    void Label_Link_MouseMove();

private:
    friend class FormStartProbe;  // tests read the bar without loading the window again
    friend class toolkit::FormInstance<FormStart>;
    FormStart() = default;

    bool CreateForm() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept override;
    void OnShown(bool first) override;
    void OnUnload() override;
    void Paint();

    toolkit::Timer m_timerStart{1, kTimerStartIntervalMs};
    toolkit::PicturePtr m_picture;
};

}  // namespace ui
