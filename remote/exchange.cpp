#include "remote/exchange.h"

#include <cstring>

#include "remote/packet.h"

int wait_reply(net_endpoint& endpoint, net_conversation& conversation, unsigned char* reply,
               std::uint32_t limit) {
    const std::int64_t deadline = endpoint.clock->now() + limit;
    std::int64_t now = deadline - limit;
    for (;;) {
        // A clock that steps back must not turn the rest into a longer wait.
        std::int64_t remaining = deadline - now;
        if (remaining > limit) remaining = limit;
        const int received = receive_within(endpoint, reply, static_cast<std::uint32_t>(remaining));
        if (accept_message(conversation, reply, received) &&
            (!packet_has_ack(reply) || packet_acknowledged(reply) == conversation.seq)) {
            return received;
        }
        now = endpoint.clock->now();
        if (now >= deadline) return -1;
    }
}

int send_and_wait(net_endpoint& endpoint, net_conversation& conversation,
                  const unsigned char* packet, unsigned char* reply, int length,
                  std::uint32_t limit, int tries) {
    for (int i = 0; i < tries; ++i) {
        if (send_datagram(endpoint, packet, static_cast<std::size_t>(length)) < length) return -1;
        const int received = wait_reply(endpoint, conversation, reply, limit);
        if (received >= 0) return received;
    }
    return -1;
}

int build_acknowledgement(const net_conversation& conversation, unsigned char* packet) {
    build_header(conversation, packet, 0, true, kind_message);
    return header_bytes;
}

int build_text_message(const net_conversation& conversation, unsigned char* packet,
                       const char* text, int length, bool ack) {
    if (length > max_payload_bytes) length = max_payload_bytes;
    build_header(conversation, packet, static_cast<std::uint16_t>(length), ack, kind_message);
    std::memcpy(packet + header_bytes, text, static_cast<std::size_t>(length));
    return header_bytes + length;
}

bool send_acknowledgement(net_endpoint& endpoint, const net_conversation& conversation) {
    unsigned char packet[header_bytes];
    build_acknowledgement(conversation, packet);
    return send_datagram(endpoint, packet, sizeof packet) == header_bytes;
}
