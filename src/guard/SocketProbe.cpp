// The in-use test: a socket bound to the port with exclusive use fails exactly when another socket
// holds the port on some address (SO_EXCLUSIVEADDRUSE, "Using SO_REUSEADDR and SO_EXCLUSIVEADDRUSE").
// Without exclusive use a wildcard bind succeeds beside a socket bound to one address, so a bind made
// when the option could not be set tells nothing. A failed bind is only a suspicion: outgoing and
// TIME_WAIT connections on the port make it fail too; the guard asks the listener tables who holds it.
// Nothing is listened on and nothing is sent; the sockets are closed at once.

#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/Handles.h"
#include "guard/Probes.h"
#include "base/SystemLibrary.h"

namespace guard {
namespace {

struct Winsock {
    decltype(&::socket) socket = nullptr;
    decltype(&::setsockopt) setsockopt = nullptr;
    decltype(&::bind) bind = nullptr;
    decltype(&::closesocket) closesocket = nullptr;
    decltype(&::WSAGetLastError) lastError = nullptr;
    bool ready = false;
};

Winsock LoadWinsock() {
    Winsock ws;
    const wchar_t* dll = L"ws2_32.dll";
    auto startup = base::SystemFunctionAs<int WSAAPI(WORD, LPWSADATA)>(dll, "WSAStartup");
    ws.socket = base::SystemFunctionAs<SOCKET WSAAPI(int, int, int)>(dll, "socket");
    ws.setsockopt = base::SystemFunctionAs<int WSAAPI(SOCKET, int, int, const char*, int)>(dll, "setsockopt");
    ws.bind = base::SystemFunctionAs<int WSAAPI(SOCKET, const sockaddr*, int)>(dll, "bind");
    ws.closesocket = base::SystemFunctionAs<int WSAAPI(SOCKET)>(dll, "closesocket");
    ws.lastError = base::SystemFunctionAs<int WSAAPI()>(dll, "WSAGetLastError");
    WSADATA data{};
    // Started once and never cleaned up: Winsock ends with the process.
    ws.ready = startup && ws.socket && ws.setsockopt && ws.bind && ws.closesocket && ws.lastError &&
               startup(MAKEWORD(2, 2), &data) == 0;
    return ws;
}

const Winsock& Ws() {
    static const Winsock ws = LoadWinsock();
    return ws;
}

inline void CloseSocket(SOCKET s) noexcept { Ws().closesocket(s); }
using UniqueSocket = base::UniqueHandle<SOCKET, &CloseSocket, INVALID_SOCKET>;

BindOutcome BindFamily(int family, std::uint16_t port) {
    const Winsock& ws = Ws();
    UniqueSocket s(ws.socket(family, SOCK_STREAM, IPPROTO_TCP));
    if (!s) return family == AF_INET6 ? BindOutcome::Free : BindOutcome::Unknown;  // no IPv6 stack: nothing to hold
    if (SocketOptionCall()(s.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, TRUE) != 0) return BindOutcome::Unknown;
    sockaddr_storage address{};
    int size = 0;
    const std::uint16_t networkPort = static_cast<std::uint16_t>((port >> 8) | (port << 8));
    if (family == AF_INET6) {
        // Only the IPv6 side: the IPv4 wildcard is tried on its own. Should this fail, the bind covers both
        // sides, which can only find more in use, never less.
        SocketOptionCall()(s.Get(), IPPROTO_IPV6, IPV6_V6ONLY, TRUE);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = networkPort;  // in6addr_any is all zeros
        size = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = networkPort;  // INADDR_ANY is zero
        size = sizeof(sockaddr_in);
    }
    if (ws.bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), size) == 0) return BindOutcome::Free;
    switch (ws.lastError()) {
        case WSAEADDRINUSE:
            return BindOutcome::InUse;
        case WSAEACCES:
            return BindOutcome::Forbidden;
        default:
            return BindOutcome::Unknown;
    }
}

int SetOption(UINT_PTR s, int level, int name, BOOL on) {
    const Winsock& ws = Ws();
    if (ws.setsockopt(s, level, name, reinterpret_cast<const char*>(&on), sizeof(on)) == 0) return 0;
    const int error = ws.lastError();
    return error != 0 ? error : SOCKET_ERROR;
}

BindOutcome ProbeBind(std::uint16_t port) {
    if (!Ws().ready) return BindOutcome::Unknown;
    const BindOutcome v4 = BindFamily(AF_INET, port);
    const BindOutcome v6 = BindFamily(AF_INET6, port);
    for (BindOutcome worst : {BindOutcome::InUse, BindOutcome::Forbidden, BindOutcome::Unknown})
        if (v4 == worst || v6 == worst) return worst;
    return BindOutcome::Free;
}

}  // namespace

PortBindSeam& PortBindCall() {
    static PortBindSeam seam(&ProbeBind);
    return seam;
}

SocketOptionSeam& SocketOptionCall() {
    static SocketOptionSeam seam(&SetOption);
    return seam;
}

}  // namespace guard
