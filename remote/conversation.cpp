#include "remote/conversation.h"

#include <cstring>

#include "remote/packet.h"

void reset(net_conversation& conversation) {
    conversation.seq = 1;
    conversation.peer_seq = 0;
}

void build_header(const net_conversation& conversation, unsigned char* packet, std::uint16_t length,
                  bool ack, unsigned char kind) {
    copy_mac(packet + source_offset, conversation.own_mac);
    copy_mac(packet + destination_offset, conversation.peer_mac);
    packet[flags_offset] = ack ? flag_ack : 0;
    packet[kind_offset] = kind;
    store_u16(packet + length_offset, length);
    store_u16(packet + sequence_offset, conversation.seq);
    store_u16(packet + acknowledged_offset, ack ? conversation.peer_seq : 0);
}

bool accept_message(net_conversation& conversation, const unsigned char* packet, int received) {
    if (!packet_is_whole(packet, received)) return false;
    // Every end hears its own broadcasts.
    if (same_mac(packet_source(packet), conversation.own_mac)) return false;
    const unsigned char* destination = packet_destination(packet);
    const bool to_anyone = is_zero_mac(destination) && is_zero_mac(conversation.peer_mac);
    if (!same_mac(destination, conversation.own_mac) && !to_anyone) return false;
    if (!is_zero_mac(conversation.peer_mac) &&
        !same_mac(packet_source(packet), conversation.peer_mac)) {
        return false;
    }
    if (packet_has_ack(packet) && packet_acknowledged(packet) > conversation.seq) return false;
    // An empty message only acknowledges; it carries no number of its own.
    if (packet_length(packet) == 0) return true;
    // Computed without wrapping: after 65535 the conversation takes nothing more.
    if (static_cast<int>(packet_sequence(packet)) != conversation.peer_seq + 1) return false;
    conversation.peer_seq = packet_sequence(packet);
    return true;
}

bool repeats_last_message(const net_conversation& conversation, const unsigned char* packet,
                          int received) {
    return packet_is_whole(packet, received) &&
           same_mac(packet_source(packet), conversation.peer_mac) &&
           packet_sequence(packet) == conversation.peer_seq;
}

bool is_zero_mac(const unsigned char* mac) {
    for (std::size_t i = 0; i < mac_bytes; ++i) {
        if (mac[i] != 0) return false;
    }
    return true;
}

bool same_mac(const unsigned char* a, const unsigned char* b) {
    return std::memcmp(a, b, mac_bytes) == 0;
}

void clear_mac(unsigned char* mac) {
    std::memset(mac, 0, mac_bytes);
}

void copy_mac(unsigned char* destination, const unsigned char* source) {
    std::memmove(destination, source, mac_bytes);
}
