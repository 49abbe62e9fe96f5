#include "console/PortSteps.h"

#include <algorithm>

#include "console/GuardCalls.h"
#include "console/Texts.h"

namespace console {

std::optional<Failure> WritePortKeys(std::int32_t port, std::vector<PortKeyWrite>& writes, bool& wroteSomething) {
    long firstFailure = ERROR_SUCCESS;
    for (PortKeyWrite& write : writes) {
        if (write.heldAlready) continue;
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
