// watch's and confirm's text for people.

#include "console/Render.h"
#include "console/RevertTexts.h"
#include "console/Texts.h"

namespace console {

void PrintWatchText(const WatchReport& report, OutputSink& sink) {
    if (report.outcome == WatchOutcome::Failed) {
        sink.Err(L"失败：" + WatchOutcomeText(report) + L"\r\n");
        return;
    }
    sink.Out(WatchOutcomeText(report) + L"\r\n");
    if (report.apply.restartTried) sink.Out(RestartDropsConnectionsText() + L"\r\n");
    if (report.error) sink.Err(L"失败：" + report.error->text + L"\r\n");
}

void PrintConfirmText(const ConfirmReport& report, OutputSink& sink) {
    if (report.error && !report.confirmed) {
        sink.Err(L"失败：" + report.error->text + L"\r\n");
        return;
    }
    sink.Out(ConfirmText(report) + L"\r\n");
    if (report.error) sink.Err(L"失败：" + report.error->text + L"\r\n");
}

}  // namespace console
