// One end of bench/remote_bench, run inside one of the two network
// namespaces the script makes: the file transfer of the remote installation
// (file_sender and transfer_file against file_receiver and read_data), and a
// request/reply loop of 20-byte datagrams that measures the round trip of
// the link, the bound of any stop-and-wait transfer on it.
//
//   remote_bench_peer send FILE PEER_MAC
//   remote_bench_peer receive OUTPUT PEER_MAC
//   remote_bench_peer ping ROUNDS PEER_MAC
//   remote_bench_peer pong ROUNDS PEER_MAC
//
// Every mode opens the protocol's endpoint on the namespace's one Ethernet
// interface, as list_interfaces does on installation media (up,
// promiscuous, address 0.0.0.0), so it refuses to run in the network
// namespace of the machine's first process.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "remote/conversation.h"
#include "remote/endpoint.h"
#include "remote/exchange.h"
#include "remote/file_receiver.h"
#include "remote/file_sender.h"
#include "remote/interface_table.h"
#include "remote/packet.h"
#include "remote/remote_host.h"

namespace {

// The sender's announcements go to standard error; nothing is asked.
class bench_console final : public remote_console {
public:
    void print(const char* text) override { std::fputs(text, stderr); }
    void flush() override { std::fflush(stderr); }
    int read_key() override { return -1; }
    void clear_screen() override {}
    void move_cursor(int, int) override {}
    void clear_line() override {}
    void set_attributes(int) override {}
    void print_wrapped(const char* text) override { print(text); }
    bool ask_yes_no(const char*) override { return false; }
    void edit_line(const char*, const char* default_value, char* result, int size) override {
        if (size > 0)
            std::snprintf(result, static_cast<std::size_t>(size), "%s",
                          default_value ? default_value : "");
    }
};

std::string namespace_of(const char* path) {
    char link[128] = {0};
    ssize_t n = readlink(path, link, sizeof link - 1);
    return n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string();
}

bool parse_mac(const char* text, unsigned char* mac) {
    unsigned value[mac_bytes];
    if (std::sscanf(text, "%x:%x:%x:%x:%x:%x", &value[0], &value[1], &value[2], &value[3],
                    &value[4], &value[5]) != 6)
        return false;
    for (std::size_t i = 0; i < mac_bytes; ++i) mac[i] = static_cast<unsigned char>(value[i]);
    return true;
}

double seconds_since(std::int64_t start) {
    return static_cast<double>(now_us() - start) / 1e6;
}

int send_file(net_endpoint& endpoint, net_conversation& conversation, const char* path) {
    bench_console console;
    file_sender sender(endpoint, conversation, console);
    const std::int64_t start = now_us();
    if (!sender_open(sender, path, true) || !transfer_file(sender)) return 1;
    std::printf("%lld %.6f\n", static_cast<long long>(sender.size), seconds_since(start));
    return 0;
}

int receive_file(net_endpoint& endpoint, net_conversation& conversation, const char* output) {
    int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        std::perror(output);
        return 1;
    }
    file_receiver receiver(endpoint, conversation);
    if (!next_file(receiver)) {
        std::fprintf(stderr, "remote_bench_peer: no file came\n");
        return 1;
    }
    static unsigned char data[datagram_capacity];
    for (;;) {
        const int got = read_data(receiver, data, static_cast<int>(sizeof data));
        if (got < 0) {
            std::fprintf(stderr, "remote_bench_peer: the transfer broke off\n");
            return 1;
        }
        if (got == 0) break;
        if (write(out, data, static_cast<std::size_t>(got)) != got) {
            std::perror(output);
            return 1;
        }
    }
    // The acknowledgement of the last piece may be lost; answer its repeats
    // for a moment, as the client does while it installs the package.
    const std::int64_t until = now_us() + 200000;
    while (now_us() < until) {
        const int got = receive_within(endpoint, receiver.packet, 50000);
        if (repeats_last_message(conversation, receiver.packet, got))
            (void)send_acknowledgement(endpoint, conversation);
    }
    return close(out) == 0 ? 0 : 1;
}

// The next datagram from the peer within a second (each end also hears its
// own broadcasts); false when none came.
bool receive_from_peer(net_endpoint& endpoint, const unsigned char* peer, unsigned char* buffer) {
    for (;;) {
        const int got = receive_within(endpoint, buffer, 1000000);
        if (got < 0) return false;
        if (got == header_bytes && same_mac(buffer + source_offset, peer)) return true;
    }
}

int ping(net_endpoint& endpoint, net_conversation& conversation, long rounds) {
    unsigned char request[header_bytes], reply[datagram_capacity];
    build_header(conversation, request, 0, false, 0);
    std::int64_t start = 0;
    // The first rounds warm up the caches and the peer's wake-ups.
    const long warm_up = rounds / 10;
    for (long i = 0; i < rounds + warm_up; ++i) {
        if (i == warm_up) start = now_us();
        if (send_datagram(endpoint, request, sizeof request) != header_bytes ||
            !receive_from_peer(endpoint, conversation.peer_mac, reply)) {
            std::fprintf(stderr, "remote_bench_peer: no reply in round %ld\n", i);
            return 1;
        }
    }
    std::printf("%ld %.6f\n", rounds, seconds_since(start));
    return 0;
}

int pong(net_endpoint& endpoint, net_conversation& conversation, long rounds) {
    unsigned char request[datagram_capacity], reply[header_bytes];
    build_header(conversation, reply, 0, false, 0);
    for (long i = 0; i < rounds + rounds / 10; ++i) {
        if (!receive_from_peer(endpoint, conversation.peer_mac, request) ||
            send_datagram(endpoint, reply, sizeof reply) != header_bytes)
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: %s send FILE PEER_MAC | receive OUTPUT PEER_MAC | ping ROUNDS "
                     "PEER_MAC | pong ROUNDS PEER_MAC\n",
                     argv[0]);
        return 2;
    }
    const std::string own = namespace_of("/proc/self/ns/net");
    if (own.empty() || own == namespace_of("/proc/1/ns/net")) {
        std::fprintf(stderr,
                     "remote_bench_peer: refusing to touch the interfaces of the machine's own "
                     "network namespace\n");
        return 2;
    }
    const std::string mode = argv[1];
    net_conversation conversation;
    if (!parse_mac(argv[3], conversation.peer_mac)) {
        std::fprintf(stderr, "remote_bench_peer: bad hardware address %s\n", argv[3]);
        return 2;
    }
    interface_table interfaces;
    list_interfaces(interfaces);
    if (interfaces.count() != 1) {
        std::fprintf(stderr, "remote_bench_peer: %u interfaces, expected one\n",
                     interfaces.count());
        return 1;
    }
    net_endpoint& endpoint = interfaces.at(0);
    copy_mac(conversation.own_mac, endpoint.mac);
    if (mode == "send") return send_file(endpoint, conversation, argv[2]);
    if (mode == "receive") return receive_file(endpoint, conversation, argv[2]);
    if (mode == "ping") return ping(endpoint, conversation, std::atol(argv[2]));
    if (mode == "pong") return pong(endpoint, conversation, std::atol(argv[2]));
    std::fprintf(stderr, "remote_bench_peer: unknown mode %s\n", argv[1]);
    return 2;
}
