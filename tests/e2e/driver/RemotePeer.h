#pragma once
// The remote administrator's machine: a Linux network namespace joined to this machine by a veth pair
// (tests/e2e/peer.sh, named by ctest in RDPPORT_PEER_SCRIPT), from which a case connects to a port the
// way an administrator connects from afar. Only the pair's two addresses talk: no route leads further
// and nothing is translated.
//
// The cases are Windows programs under Wine. Wine's CreateProcess runs a Unix program given by its Unix
// path, but gives back no exit code (it is always 2), so the script writes its result to a status file
// under /tmp that the driver reads through Wine's Z: drive.

#include <cstdint>
#include <string>

namespace e2e {

class RemotePeer {
public:
    enum class State { Down, Up, Unavailable, Failed };

    RemotePeer() = default;
    ~RemotePeer() { Down(); }
    RemotePeer(const RemotePeer&) = delete;
    RemotePeer& operator=(const RemotePeer&) = delete;

    // Makes the namespace and the pair, removing a leftover of an earlier run first. Unavailable where
    // this machine cannot have one (not root, no `ip`): the case is then skipped, with Why().
    State Up();
    void Down();
    const std::string& Why() const { return m_why; }  // of the last failure or unavailability

    static const char* HostAddress() { return "10.213.7.1"; }  // this machine's end
    static const char* PeerAddress() { return "10.213.7.2"; }   // the administrator's

    // From the peer, a TCP connection to HostAddress():port, held open for `seconds` in the background;
    // true once it is made, false when it was refused or not made within 5 s.
    bool Connect(std::uint16_t port, int seconds);

private:
    std::string Run(const std::wstring& arguments);  // the script's status line; empty when none came

    State m_state = State::Down;
    std::string m_why;
};

}  // namespace e2e
