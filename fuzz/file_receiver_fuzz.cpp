// A file receiver fed by a peer that sends whatever the input holds. The
// input is a sequence of records; each either is a raw datagram or has its
// header built around the payload (right addresses and length, a sequence
// number near the expected one), so that the search reaches the transfer
// itself and not only the header checks. The receiver runs its files to the
// end on a fake clock; it must never hand on more than a file holds, write
// past a buffer, or wait for ever.
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "remote/exchange.h"
#include "remote/file_receiver.h"
#include "remote/packet.h"

namespace {

const unsigned char client[mac_bytes] = {0x02, 0, 0, 0, 0, 0x02};
const unsigned char server[mac_bytes] = {0x02, 0, 0, 0, 0, 0x01};

class scripted_clock final : public net_clock {
public:
    const std::uint8_t* input = nullptr;
    std::size_t left = 0;
    int peer = -1;
    const net_conversation* receiver_state = nullptr;
    std::int64_t time = 1000000000;

    std::int64_t now() override { return time; }
    void sleep(std::uint32_t microseconds) override { time += microseconds; }
    int wait_readable(int socket, std::uint32_t limit) override {
        drain();
        send_next();
        if (readable(socket)) return 1;
        time += limit;
        return 0;
    }
    int wait_datagram_or_key(int socket) override {
        return wait_readable(socket, 1000000) > 0 ? wait_datagram : wait_key;
    }

private:
    static bool readable(int socket) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket, &set);
        timeval none{0, 0};
        return select(socket + 1, &set, nullptr, nullptr, &none) > 0;
    }
    // The receiver's acknowledgements are read and dropped.
    void drain() {
        unsigned char buffer[datagram_capacity];
        while (recv(peer, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }
    // Record: mode byte, 2-byte length, bytes. Mode bit 0: raw; otherwise
    // bit 1 ACK, bit 2 data kind, bits 3-5 the sequence offset from the
    // expected number, bit 6: the same record twice.
    void send_next() {
        if (left < 3) return;
        const unsigned mode = input[0];
        std::size_t length = static_cast<std::size_t>(input[1] | (input[2] << 8));
        input += 3;
        left -= 3;
        if (length > left) length = left;
        unsigned char packet[datagram_capacity];
        std::size_t total = 0;
        if (mode & 1) {
            total = length < sizeof packet ? length : sizeof packet;
            std::memcpy(packet, input, total);
        } else {
            if (length > static_cast<std::size_t>(max_payload_bytes)) {
                length = static_cast<std::size_t>(max_payload_bytes);
            }
            net_conversation state;
            std::memcpy(state.own_mac, server, mac_bytes);
            std::memcpy(state.peer_mac, client, mac_bytes);
            state.seq = static_cast<std::uint16_t>(receiver_state->peer_seq + 1 +
                                                   static_cast<int>((mode >> 3) & 7) - 3);
            state.peer_seq = receiver_state->seq;
            build_header(state, packet, static_cast<std::uint16_t>(length), (mode & 2) != 0,
                         (mode & 4) ? kind_data : kind_message);
            std::memcpy(packet + header_bytes, input, length);
            total = header_bytes + length;
        }
        input += length;
        left -= length;
        (void)!send(peer, packet, total, 0);
        if (mode & 64) (void)!send(peer, packet, total, 0);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM, 0, ends) != 0) return 0;
    scripted_clock clock;
    clock.input = data;
    clock.left = size;
    clock.peer = ends[1];
    {
        net_endpoint endpoint;
        endpoint.socket = ends[0];
        endpoint.clock = &clock;
        std::memcpy(endpoint.mac, client, mac_bytes);
        net_conversation conversation;
        std::memcpy(conversation.own_mac, client, mac_bytes);
        std::memcpy(conversation.peer_mac, server, mac_bytes);
        conversation.seq = 4;
        conversation.peer_seq = 1;
        clock.receiver_state = &conversation;
        file_receiver receiver(endpoint, conversation);
        // Pieces of an odd size cut packets in every way.
        unsigned char buffer[1000 + 16];
        std::memset(buffer + 1000, 0x5A, 16);
        for (int files = 0; files < 64 && next_file(receiver); ++files) {
            if (receiver.size < 0 || std::strlen(receiver.name) >= sizeof receiver.name) {
                std::abort();
            }
            std::int64_t handed = 0;
            for (;;) {
                const int got = read_data(receiver, buffer, 1000);
                if (got <= 0) break;
                handed += got;
                if (got > 1000 || handed > receiver.size) std::abort();
            }
            for (int i = 1000; i < 1016; ++i) {
                if (buffer[i] != 0x5A) std::abort();
            }
        }
    }
    close(ends[1]);
    return 0;
}
