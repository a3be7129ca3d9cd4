// An Endpoint as the system's socket address and back, for the implementations of the socket services
// on both systems: include it after the system's own socket headers, which declare these types there.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "os/sockets.h"

namespace os {

// The unspecified address (0.0.0.0, ::) and the loopback address (127.0.0.1, ::1) of a family.
inline IpAddress AnyAddress(int family) {
    IpAddress any;
    any.family = family;
    return any;
}

inline IpAddress LoopbackAddress(int family) {
    IpAddress loopback;
    loopback.family = family;
    if (family == AfInet6) {
        loopback.bytes[15] = 1;
    } else {
        loopback.bytes[0] = 127;
        loopback.bytes[3] = 1;
    }
    return loopback;
}

inline Endpoint FromSockaddr(const sockaddr* address) {
    Endpoint endpoint;
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, address, sizeof v6);
        endpoint.address.family = AfInet6;
        std::memcpy(endpoint.address.bytes.data(), &v6.sin6_addr, 16);
        endpoint.port = ntohs(v6.sin6_port);
    } else {
        sockaddr_in v4{};
        std::memcpy(&v4, address, sizeof v4);
        endpoint.address = IpAddress::V4(v4.sin_addr.s_addr);
        endpoint.port = ntohs(v4.sin_port);
    }
    return endpoint;
}

// inet_ntop: "127.0.0.1", "::1".
inline std::string AddressTextOf(const IpAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(address.family == AfInet6 ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof text);
    return text;
}

// The IPv6 addresses of a look-up's answers (getaddrinfo's addrinfo list, which only the files that
// look up declare), each once, in the resolver's order.
template <typename AddrInfo>
std::vector<IpAddress> Ipv6AddressesOf(const AddrInfo* found) {
    std::vector<IpAddress> addresses;
    for (const AddrInfo* info = found; info; info = info->ai_next) {
        if (info->ai_family != AF_INET6) continue;
        const IpAddress address = FromSockaddr(info->ai_addr).address;
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
    }
    return addresses;
}

// Fills `storage`; the size of the address in it.
inline int ToSockaddr(const Endpoint& endpoint, sockaddr_storage& storage) {
    storage = {};
    if (endpoint.address.family == AfInet6) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(endpoint.port);
        std::memcpy(&v6.sin6_addr, endpoint.address.bytes.data(), 16);
        std::memcpy(&storage, &v6, sizeof v6);
        return sizeof v6;
    }
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(endpoint.port);
    std::memcpy(&v4.sin_addr, endpoint.address.bytes.data(), 4);
    std::memcpy(&storage, &v4, sizeof v4);
    return sizeof v4;
}

}  // namespace os
