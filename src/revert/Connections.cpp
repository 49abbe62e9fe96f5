#include "revert/Connections.h"

#include <algorithm>
#include <cstring>

#include "base/DecimalText.h"

namespace revert {

std::wstring Peer::Text() const {
    std::wstring out;
    if (!ipv6) {
        for (int i = 0; i < 4; ++i) out += (i ? L"." : L"") + base::DecimalText64(address[i]);
        return out;
    }
    // Full form, groups in lower case without leading zeros (as RFC 5952 writes them): enough for a log.
    for (int i = 0; i < 16; i += 2) {
        std::wstring group = base::HexText(static_cast<std::uint32_t>((address[i] << 8) | address[i + 1])).substr(6);
        group.erase(0, std::min(group.find_first_not_of(L'0'), group.size() - 1));
        for (wchar_t& c : group)
            if (c >= L'A' && c <= L'F') c = static_cast<wchar_t>(c - L'A' + L'a');
        out += (i ? L":" : L"") + group;
    }
    return out;
}

bool IsLoopback(const Peer& peer) {
    if (!peer.ipv6) return peer.address[0] == 127;
    static constexpr std::uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(peer.address, kLoopback6, 16) == 0) return true;
    return std::memcmp(peer.address, kMappedPrefix, 12) == 0 && peer.address[12] == 127;
}

}  // namespace revert
