#pragma once

#include <cstdint>

#include "remote/endpoint.h"

// What one end knows of its conversation with one peer: its own sequence
// number, the peer's last accepted one and the two hardware addresses (a
// zero peer while none is known).
struct net_conversation {
    std::uint16_t seq = 1;
    std::uint16_t peer_seq = 0;
    unsigned char own_mac[mac_bytes] = {};
    unsigned char peer_mac[mac_bytes] = {};
};

// Sequence numbers back to their start; the addresses stay.
void reset(net_conversation& conversation);
// Fills the 20 header bytes of packet: own and peer address, the ACK flag
// with peer_seq acknowledged (else 0), kind, length and seq. The sequence
// number is not advanced here.
void build_header(const net_conversation& conversation, unsigned char* packet, std::uint16_t length,
                  bool ack, unsigned char kind);
// True when the received datagram (received bytes, or -1 after a failed
// receive) belongs to this conversation and is in order; a new message from
// the peer becomes its peer_seq.
[[nodiscard]] bool accept_message(net_conversation& conversation, const unsigned char* packet,
                                  int received);
// True when the datagram is the peer's last accepted message once more: its
// acknowledgement was lost and the peer sends it again.
[[nodiscard]] bool repeats_last_message(const net_conversation& conversation,
                                        const unsigned char* packet, int received);

[[nodiscard]] bool is_zero_mac(const unsigned char* mac);
[[nodiscard]] bool same_mac(const unsigned char* a, const unsigned char* b);
void clear_mac(unsigned char* mac);
void copy_mac(unsigned char* destination, const unsigned char* source);
