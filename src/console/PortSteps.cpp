#include "console/PortSteps.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "console/GuardCalls.h"
#include "console/Texts.h"

namespace console {
namespace {

// A pause between the two keys' writes when the environment asks for one (in milliseconds, at most
// 10 s): where a debugger would stop a writer, so that the end-to-end test can start a second writer
// there and see it wait for the lock. Without the variable nothing waits.
void PauseBetweenWrites() {
    wchar_t text[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"RDPPORT_PAUSE_BETWEEN_PORT_WRITES", text, 8);
    if (length > 0 && length < 8) Sleep(std::min<DWORD>(std::wcstoul(text, nullptr, 10), 10000));
}

}  // namespace

std::optional<Failure> WritePortKeys(std::int32_t port, std::vector<PortKeyWrite>& writes, bool& wroteSomething) {
    long firstFailure = ERROR_SUCCESS;
    bool oneWritten = false;
    for (PortKeyWrite& write : writes) {
        if (write.heldAlready) continue;
        if (std::exchange(oneWritten, true)) PauseBetweenWrites();
        write.status = settings::WritePortAt(write.key, port);
        wroteSomething = wroteSomething || write.status == ERROR_SUCCESS;
        if (firstFailure == ERROR_SUCCESS) firstFailure = write.status;
    }
    if (firstFailure == ERROR_SUCCESS) return std::nullopt;
    return Failure{firstFailure, PortWriteFailureText(port, writes)};
}

std::optional<Failure> RestartOnto(std::uint16_t port, const guard::RestartPlan& plan, ApplyOutcome& apply) {
    apply.restartTried = true;
    const guard::RestartOutcome outcome = Guard().Restart(plan);
    apply.restarted = outcome.restarted;
    apply.restartSeconds = outcome.seconds;
    if (!outcome.restarted) return Failure{static_cast<long>(outcome.error), RestartFailureText(port, outcome)};
    apply.listeningAfter = Guard().AwaitListening(port);
    const auto& seen = apply.listeningAfter;
    apply.applied = seen && std::find(seen->begin(), seen->end(), port) != seen->end();
    if (!apply.applied) return Failure{0, NotListeningText(port, seen)};
    return std::nullopt;
}

std::optional<Failure> PlanRestart(guard::RestartPlan& plan) {
    plan = Guard().PrepareRestart();
    if (plan.error == 0) return std::nullopt;
    return Failure{static_cast<long>(plan.error), RestartRefusedText(plan)};
}

}  // namespace console
