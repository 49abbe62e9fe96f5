#pragma once
// A small simulated server on which the real console commands run together: `set-port --revert-after`,
// the watch its task starts, `confirm`, and whatever else happens to the machine meanwhile. Everything
// outside the program is the model's:
//   - the registry is Wine's own (both port keys seeded with 3389);
//   - TermService listens on the port RDP-Tcp's PortNumber held when it last started; it takes a second
//     to stop and two to start, and a start can be made to fail once;
//   - the Task Scheduler keeps the task's XML and runs it by its triggers (registration, boot, time with
//     or without repetition, IgnoreNew); a run is the real watch command line of the task's action;
//   - a perimeter in front of the server lets one port through; the administrator gets in only there,
//     and only when Remote Desktop listens on it; a logon takes 5 seconds;
//   - the clock: every pause of the program is the model's, and time moves only when every process
//     waits. Each process (each run of a command) has its own thread, and exactly one thread runs at a
//     time, so a run is the same every time;
//   - the write lock is the real named mutex; a writer waiting for it waits on the model's clock, first
//     come first served, so the other processes act meanwhile.
// A process is ended ("killed", or by a restart of the computer) by an exception thrown from its pause;
// the program is RAII throughout, so it must let go of the write lock on the way out.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testkit {

enum class SimEvent {
    RestartComputer,
    KillWatch,
    Probe,          // a load balancer's TCP connection through the perimeter
    Logon,          // the administrator tries to log on, on the port the perimeter admits
    Confirm,        // rdpport.com confirm
    HoldLock,       // another writer holds the write lock for a minute
    FailStartOnce,  // TermService's next start fails
    TimePasses,     // to the next moment anything is due (the revert's deadline: first to its last second)
};
inline constexpr SimEvent kSimEvents[] = {SimEvent::RestartComputer, SimEvent::KillWatch, SimEvent::Probe,
                                          SimEvent::Logon,           SimEvent::Confirm,   SimEvent::HoldLock,
                                          SimEvent::FailStartOnce,   SimEvent::TimePasses};
const char* NameOf(SimEvent event);

struct SimSetup {
    std::uint16_t admitted = 3389;  // the one port the perimeter lets through
    bool apply = false;             // set-port --apply
    // The change is the window's "立即生效" from a Remote Desktop session instead (applied at once; 60
    // seconds to log on, as set-port here): its own order of steps on the same arming, the service
    // manager's calls answered by the model's TermService.
    bool fromWindow = false;
};

class SimulatedServer {
public:
    explicit SimulatedServer(SimSetup setup);
    ~SimulatedServer();
    SimulatedServer(const SimulatedServer&) = delete;
    SimulatedServer& operator=(const SimulatedServer&) = delete;

    // The administrator runs `set-port 3390 --revert-after 60s [--apply] --force --json`, or changes the
    // port to 3390 in the window, until it ends.
    void Change();
    // False when the event changed nothing at all (same moment, same state, same processes): a sequence
    // with it then plays out exactly as the one without it.
    bool Apply(SimEvent event);
    // Time runs on until nothing is due, the administrator trying to get in whenever out, and the computer
    // restarted when the new port waits for a start to take effect.
    void Settle();

    // What must hold once settled (and what broke on the way); empty when all is well.
    std::vector<std::string> Violations() const;
    std::string State() const;

private:
    struct Model;
    std::unique_ptr<Model> m_model;
};

}  // namespace testkit
