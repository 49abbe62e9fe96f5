#include "revert/Sessions.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <wtsapi32.h>

#include <cstring>

#include "base/SystemLibrary.h"

namespace revert {
namespace {

// WTS_CLIENT_ADDRESS: for AF_INET the address is in Address[2..5], for AF_INET6 in Address[2..17]
// (https://learn.microsoft.com/windows/win32/api/wtsapi32/ns-wtsapi32-wts_client_address).
std::optional<Peer> ClientPeer(const WTS_CLIENT_ADDRESS& address) {
    Peer peer;
    if (address.AddressFamily == AF_INET) {
        std::memcpy(peer.address, &address.Address[2], 4);
        return peer;
    }
    if (address.AddressFamily == AF_INET6) {
        peer.ipv6 = true;
        std::memcpy(peer.address, &address.Address[2], 16);
        return peer;
    }
    return std::nullopt;
}

using Enumerate = BOOL WINAPI(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
using Query = BOOL WINAPI(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
using FreeMemory = void WINAPI(PVOID);

// One piece of a session's information, copied out; false when the session manager does not tell.
template <class T>
bool QueryInto(Query* query, FreeMemory* free, DWORD id, WTS_INFO_CLASS what, T& out) {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!query(WTS_CURRENT_SERVER_HANDLE, id, what, &buffer, &bytes) || !buffer) return false;
    const bool whole = bytes >= sizeof(T);
    if (whole) std::memcpy(&out, buffer, sizeof(T));
    free(buffer);
    return whole;
}

std::optional<std::vector<Session>> ReadSessions() {
    auto* enumerate = base::SystemFunctionAs<Enumerate>(L"wtsapi32.dll", "WTSEnumerateSessionsW");
    auto* query = base::SystemFunctionAs<Query>(L"wtsapi32.dll", "WTSQuerySessionInformationW");
    auto* free = base::SystemFunctionAs<FreeMemory>(L"wtsapi32.dll", "WTSFreeMemory");
    if (!enumerate || !query || !free) return std::nullopt;
    PWTS_SESSION_INFOW list = nullptr;
    DWORD count = 0;
    if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count)) return std::nullopt;
    std::vector<Session> sessions;
    for (DWORD i = 0; i < count; ++i) {
        Session session;
        session.id = list[i].SessionId;
        session.active = list[i].State == WTSActive;
        session.winStation = list[i].pWinStationName ? list[i].pWinStationName : L"";
        WTSINFOW info{};
        if (QueryInto(query, free, session.id, WTSSessionInfo, info)) {
            session.user = std::wstring(info.Domain) + (info.Domain[0] ? L"\\" : L"") + info.UserName;
            session.connectedAt = static_cast<ULONGLONG>(info.ConnectTime.QuadPart);
        }
        WTS_CLIENT_ADDRESS address{};
        if (QueryInto(query, free, session.id, WTSClientAddress, address)) session.client = ClientPeer(address);
        sessions.push_back(std::move(session));
    }
    free(list);
    return sessions;
}

using GetAdapters = ULONG WINAPI(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);

std::optional<std::vector<Peer>> ReadOwnAddresses() {
    auto* get = base::SystemFunctionAs<GetAdapters>(L"iphlpapi.dll", "GetAdaptersAddresses");
    if (!get) return std::nullopt;
    std::vector<std::uint64_t> buffer(16 * 1024 / sizeof(std::uint64_t));
    ULONG size = 0;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < 4 && status == ERROR_BUFFER_OVERFLOW; ++tries) {
        size = static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t));
        status = get(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
                     reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
        if (status == ERROR_BUFFER_OVERFLOW) buffer.resize(size / sizeof(std::uint64_t) + 1);
    }
    if (status != ERROR_SUCCESS) return status == ERROR_NO_DATA ? std::optional<std::vector<Peer>>(std::vector<Peer>())
                                                                : std::nullopt;
    std::vector<Peer> peers;
    for (auto* adapter = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()); adapter; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            Peer peer;
            if (address->sa_family == AF_INET) {
                std::memcpy(peer.address, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
            } else if (address->sa_family == AF_INET6) {
                peer.ipv6 = true;
                std::memcpy(peer.address, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
            } else {
                continue;
            }
            peers.push_back(peer);
        }
    }
    return peers;
}

bool SameAddress(const Peer& a, const Peer& b) {
    return a.ipv6 == b.ipv6 && std::memcmp(a.address, b.address, a.ipv6 ? 16 : 4) == 0;
}

}  // namespace

SessionsSeam& SessionsCall() {
    static SessionsSeam seam(&ReadSessions);
    return seam;
}

OwnAddressesSeam& OwnAddressesCall() {
    static OwnAddressesSeam seam(&ReadOwnAddresses);
    return seam;
}

std::optional<Session> ConfirmingSession(ULONGLONG effectiveAt) {
    const std::optional<std::vector<Session>> sessions = SessionsCall()();
    if (!sessions) return std::nullopt;
    std::optional<std::vector<Peer>> own;
    for (const Session& session : *sessions) {
        if (!session.active || session.winStation.rfind(L"RDP-Tcp#", 0) != 0 || !session.client ||
            IsLoopback(*session.client) || session.connectedAt < effectiveAt)
            continue;
        if (!own) own = OwnAddressesCall()();
        if (!own) return std::nullopt;  // the server's own addresses unknown: nothing is proved
        bool fromHere = false;
        for (const Peer& address : *own) fromHere = fromHere || SameAddress(address, *session.client);
        if (!fromHere) return session;
    }
    return std::nullopt;
}

}  // namespace revert
