// One received datagram through everything that looks at it: the acceptance
// rule in the states an end can be in, then the discovery, offer and FILE
// parsers. The datagram sits in storage of exactly its own size, so that a
// look past what was received shows as a fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "remote/conversation.h"
#include "remote/messages.h"
#include "remote/packet.h"

namespace {

const unsigned char own[mac_bytes] = {0x02, 0, 0, 0, 0, 0x01};
const unsigned char peer[mac_bytes] = {0x02, 0, 0, 0, 0, 0x02};

void parse_everything(const net_conversation& state, const unsigned char* packet, int received) {
    discovery found;
    if (parse_discovery(packet, received, found)) {
        if (std::strlen(found.identifier) >= discovery_field_bytes ||
            std::strlen(found.label) >= discovery_field_bytes) {
            std::abort();
        }
    }
    char opaque[offer_opaque_limit];
    bool keep = false;
    if (parse_offer(state, packet, received, opaque, sizeof opaque, keep)) {
        if (std::strlen(opaque) >= sizeof opaque) std::abort();
    }
    if (packet_is_whole(packet, received)) {
        char name[file_name_bytes];
        std::int32_t size = 0;
        if (parse_file_message(packet_payload(packet), packet_length(packet), name, size) &&
            (size < 0 || std::strlen(name) >= sizeof name)) {
            std::abort();
        }
    }
}

void try_state(net_conversation state, const unsigned char* packet, int received) {
    const std::uint16_t before = state.peer_seq;
    if (accept_message(state, packet, received)) {
        // A message with a payload moves peer_seq exactly one on; nothing
        // else moves it.
        if (packet_length(packet) != 0 && state.peer_seq != before + 1) std::abort();
        if (packet_length(packet) == 0 && state.peer_seq != before) std::abort();
    } else if (state.peer_seq != before) {
        std::abort();
    }
    (void)repeats_last_message(state, packet, received);
    parse_everything(state, packet, received);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;  // no datagram of the protocol is longer
    unsigned char* packet = static_cast<unsigned char*>(std::malloc(size > 0 ? size : 1));
    std::memcpy(packet, data, size);
    const int received = static_cast<int>(size);

    // A server collecting discoveries: fresh numbers, no peer.
    net_conversation collecting;
    std::memcpy(collecting.own_mac, own, mac_bytes);
    try_state(collecting, packet, received);

    // An end in the middle of a conversation with a known peer.
    net_conversation talking;
    std::memcpy(talking.own_mac, own, mac_bytes);
    std::memcpy(talking.peer_mac, peer, mac_bytes);
    talking.seq = 7;
    talking.peer_seq = 41;
    try_state(talking, packet, received);

    // The state that takes this very datagram if anything does, and the
    // end of the sequence numbers.
    if (size >= static_cast<std::size_t>(header_bytes)) {
        net_conversation matching;
        std::memcpy(matching.own_mac, packet_destination(packet), mac_bytes);
        std::memcpy(matching.peer_mac, packet_source(packet), mac_bytes);
        matching.seq = packet_acknowledged(packet);
        matching.peer_seq = static_cast<std::uint16_t>(packet_sequence(packet) - 1);
        try_state(matching, packet, received);
        matching.peer_seq = 65535;
        try_state(matching, packet, received);
    }
    try_state(talking, packet, -1);
    std::free(packet);
    return 0;
}
