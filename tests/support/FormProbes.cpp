#include "support/FormProbes.h"

#include "common/Startup.h"
#include "ui/toolkit/Events.h"

namespace testkit {

void ResetWindows() {
    ui::FormStart::Release();
    ui::FormMain::Release();
    common::StartupPending = false;
    Pump();
}

ui::FormMain& LoadMainAsAtStartup() {
    common::StartupPending = true;
    ui::FormMain& form = ui::FormMain::Instance();
    form.Load();
    return form;
}

void Pump() { toolkit::DoEvents(); }

}  // namespace testkit
