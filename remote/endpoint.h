#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "remote/net_clock.h"

// The one UDP port of the installation protocol, bound and addressed.
inline constexpr std::uint16_t protocol_port = 5000;
// Every datagram of the protocol fits in this, the receive buffer's size.
inline constexpr std::size_t datagram_capacity = 4096;
inline constexpr std::size_t mac_bytes = 6;

// One broadcast endpoint on one Ethernet interface. The destination is the
// limited broadcast address on the protocol port; source is the sender of
// the datagram received last. An endpoint whose destination is left unset
// sends on its connected socket instead (a socket pair in tests).
struct net_endpoint {
    net_endpoint() = default;
    net_endpoint(const net_endpoint&) = delete;
    net_endpoint& operator=(const net_endpoint&) = delete;
    // Closes the socket when there is one.
    ~net_endpoint();

    unsigned char mac[mac_bytes] = {};
    int socket = -1;
    sockaddr_in destination{};
    sockaddr_in source{};
    net_clock* clock = &system_clock();
};

// Opens the endpoint's socket on the interface: broadcast allowed, bound to
// the device, the interface brought up and made promiscuous, given address
// 0.0.0.0 when it has none, the socket bound to port. False when a step
// failed (the socket stays with the endpoint, which closes it).
[[nodiscard]] bool open_endpoint(net_endpoint& endpoint, const char* interface_name,
                                 std::uint16_t port);

// One datagram to the destination: the bytes sent or -1.
[[nodiscard]] long send_datagram(net_endpoint& endpoint, const void* bytes, std::size_t length);
// One datagram into buffer (datagram_capacity bytes): its length, or -1 on
// an error or when it came from a port other than the protocol's.
[[nodiscard]] int receive_datagram(net_endpoint& endpoint, unsigned char* buffer);
// receive_datagram once the socket is readable within limit microseconds;
// -1 when the time passes or the wait fails. A limit of 0 polls.
[[nodiscard]] int receive_within(net_endpoint& endpoint, unsigned char* buffer,
                                 std::uint32_t limit);
// Waits for a datagram or a key: the datagram's length, -1 (interrupted, or
// a datagram rejected), -2 (a key is waiting; it is not read) or 0 (the wait
// failed).
[[nodiscard]] int receive_or_key(net_endpoint& endpoint, unsigned char* buffer);

// "%02X:%02X:%02X:%02X:%02X:%02X" into one shared buffer that every call
// overwrites.
const char* mac_text(const unsigned char* mac);
