#include "remote/file_receiver.h"

#include <cstring>

#include "remote/exchange.h"
#include "remote/packet.h"

namespace {

constexpr std::uint32_t poll_limit = 1000000;
constexpr std::int64_t silence_limit = 30000000;

// Receives until the conversation accepts a non-empty message; repeats of
// the last one are acknowledged again on the way. The message's length, or
// -1 after 30 s without one.
int receive_message(file_receiver& receiver) {
    net_endpoint& endpoint = *receiver.endpoint;
    const std::int64_t start = endpoint.clock->now();
    for (;;) {
        const int received = receive_within(endpoint, receiver.packet, poll_limit);
        if (accept_message(*receiver.conversation, receiver.packet, received) &&
            packet_length(receiver.packet) != 0) {
            return received;
        }
        if (repeats_last_message(*receiver.conversation, receiver.packet, received)) {
            (void)send_acknowledgement(endpoint, *receiver.conversation);
        }
        if (endpoint.clock->now() - start > silence_limit) return -1;
    }
}

}  // namespace

file_receiver::file_receiver(net_endpoint& endpoint, net_conversation& conversation)
    : endpoint(&endpoint), conversation(&conversation) {}

bool next_file(file_receiver& receiver) {
    receiver.name[0] = 0;
    receiver.size = 0;
    receiver.chunk = 0;
    receiver.delivered = 0;
    receiver.offset = 0;
    const int received = receive_message(receiver);
    if (received < 0 || packet_kind(receiver.packet) != kind_message) return false;
    if (!parse_file_message(packet_payload(receiver.packet), packet_length(receiver.packet),
                            receiver.name, receiver.size)) {
        return false;
    }
    (void)send_acknowledgement(*receiver.endpoint, *receiver.conversation);
    return true;
}

int read_data(file_receiver& receiver, unsigned char* buffer, int count) {
    int handed = 0;
    while (receiver.delivered < receiver.size) {
        if (receiver.offset == receiver.chunk) {
            if (receive_message(receiver) < 0 || packet_kind(receiver.packet) != kind_data) {
                return -1;
            }
            receiver.chunk = packet_length(receiver.packet);
            // Acknowledged before it is handed on, so that the server sends
            // the next piece while this one is being written.
            (void)send_acknowledgement(*receiver.endpoint, *receiver.conversation);
            receiver.offset = 0;
        }
        int piece = count - handed;
        if (piece > receiver.chunk - receiver.offset) piece = receiver.chunk - receiver.offset;
        if (piece > receiver.size - receiver.delivered) piece = receiver.size - receiver.delivered;
        std::memcpy(buffer + handed, packet_payload(receiver.packet) + receiver.offset,
                    static_cast<std::size_t>(piece));
        receiver.offset += piece;
        receiver.delivered += piece;
        handed += piece;
        if (handed == count) return count;
    }
    return handed;
}
