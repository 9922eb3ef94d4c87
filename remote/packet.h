#pragma once

#include <cstddef>
#include <cstdint>

#include "base/little_endian.h"
#include "remote/endpoint.h"

// The 20-byte header in front of every datagram of the protocol:
//
//   0      6      12    13   14     16     18      20
//   +------+------+-----+----+------+------+-------+---------
//   |source|destin|flags|kind|length|seq   |acked  | payload
//   +------+------+-----+----+------+------+-------+---------
//
// Hardware addresses of the two interfaces (a zero destination is any
// station), flag bit 0 saying the acknowledged field is valid, kind 1 for
// file data, and three little-endian 16-bit numbers: the payload's length,
// the sender's sequence number and the peer's number it acknowledges.
inline constexpr int header_bytes = 20;
inline constexpr int max_payload_bytes = static_cast<int>(datagram_capacity) - header_bytes;
// 1452 payload bytes, the header, UDP and IP make exactly one 1500-byte
// Ethernet frame.
inline constexpr int data_piece_bytes = 1452;

inline constexpr int source_offset = 0;
inline constexpr int destination_offset = 6;
inline constexpr int flags_offset = 12;
inline constexpr int kind_offset = 13;
inline constexpr int length_offset = 14;
inline constexpr int sequence_offset = 16;
inline constexpr int acknowledged_offset = 18;

inline constexpr unsigned char flag_ack = 1;
inline constexpr unsigned char kind_message = 0;
inline constexpr unsigned char kind_data = 1;

inline const unsigned char* packet_source(const unsigned char* packet) {
    return packet + source_offset;
}
inline const unsigned char* packet_destination(const unsigned char* packet) {
    return packet + destination_offset;
}
inline bool packet_has_ack(const unsigned char* packet) {
    return (packet[flags_offset] & flag_ack) != 0;
}
inline unsigned char packet_kind(const unsigned char* packet) {
    return packet[kind_offset];
}
inline std::uint16_t packet_length(const unsigned char* packet) {
    return load_u16(packet + length_offset);
}
inline std::uint16_t packet_sequence(const unsigned char* packet) {
    return load_u16(packet + sequence_offset);
}
inline std::uint16_t packet_acknowledged(const unsigned char* packet) {
    return load_u16(packet + acknowledged_offset);
}
inline const unsigned char* packet_payload(const unsigned char* packet) {
    return packet + header_bytes;
}

// True when received bytes hold a whole header and exactly the payload it
// announces; only then may the header's fields be looked at.
inline bool packet_is_whole(const unsigned char* packet, int received) {
    return received >= header_bytes && received - header_bytes == packet_length(packet);
}

// True when the packet's payload (of the announced length) begins with tag.
bool payload_begins(const unsigned char* packet, int received, const char* tag);
