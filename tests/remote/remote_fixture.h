#pragma once

// Two ends of the protocol in one process without a network: the end under
// test gets one side of an AF_UNIX datagram socket pair as its endpoint, a
// scripted peer holds the other side, and a fake clock runs the peer inside
// every wait and lets time jump instead of passing.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/conversation.h"
#include "remote/endpoint.h"
#include "remote/exchange.h"
#include "remote/interface_table.h"
#include "remote/net_clock.h"
#include "remote/packet.h"
#include "remote/remote_host.h"

namespace remote_test {

using bytes = std::vector<unsigned char>;

inline const unsigned char server_mac[mac_bytes] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
inline const unsigned char client_mac[mac_bytes] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
inline const unsigned char third_mac[mac_bytes] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x03};

inline bool readable(int socket) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval none{0, 0};
    return select(socket + 1, &set, nullptr, nullptr, &none) > 0;
}

class fake_clock : public net_clock {
public:
    std::int64_t time = 1000000000000;
    // Runs at the start of every wait: the peer answers what it has heard.
    std::function<void()> peer;
    // wait_datagram_or_key reports a key when this is set, and when nothing
    // else can ever arrive.
    bool key_waiting = false;

    std::int64_t now() override { return time; }
    void sleep(std::uint32_t microseconds) override {
        time += microseconds;
        run_peer();
    }
    int wait_readable(int socket, std::uint32_t limit) override {
        run_peer();
        if (readable(socket)) return 1;
        time += limit;
        return 0;
    }
    int wait_datagram_or_key(int socket) override {
        run_peer();
        if (key_waiting) return wait_key;
        return readable(socket) ? wait_datagram : wait_key;
    }

private:
    void run_peer() {
        if (peer) peer();
    }
};

struct heard_datagram {
    std::int64_t time;
    bytes data;
    [[nodiscard]] const unsigned char* packet() const { return data.data(); }
    [[nodiscard]] int length() const { return static_cast<int>(data.size()); }
    [[nodiscard]] std::string payload() const {
        return data.size() > header_bytes ? std::string(data.begin() + header_bytes, data.end())
                                          : std::string();
    }
};

// The other end of a socket pair: what it hears, with the fake time, and
// what it sends, built with a conversation of its own.
class scripted_peer {
public:
    int socket = -1;
    net_conversation conversation;
    std::vector<heard_datagram> heard;
    // Called for every datagram heard, after it is recorded.
    std::function<void(scripted_peer&, const heard_datagram&)> on_datagram;

    ~scripted_peer() {
        if (socket >= 0) close(socket);
    }

    void run(std::int64_t now) {
        unsigned char buffer[datagram_capacity];
        for (;;) {
            const ssize_t got = recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got < 0) return;
            heard.push_back({now, bytes(buffer, buffer + got)});
            if (on_datagram) on_datagram(*this, heard.back());
        }
    }
    void send_raw(const bytes& datagram) const {
        (void)!::send(socket, datagram.data(), datagram.size(), 0);
    }
    // A message from this peer with its current numbers.
    bytes message(const std::string& payload, bool ack, unsigned char kind = kind_message) const {
        bytes packet(header_bytes + payload.size());
        build_header(conversation, packet.data(), static_cast<std::uint16_t>(payload.size()), ack,
                     kind);
        std::memcpy(packet.data() + header_bytes, payload.data(), payload.size());
        return packet;
    }
    void send_message(const std::string& payload, bool ack, unsigned char kind = kind_message) {
        send_raw(message(payload, ack, kind));
    }
    void acknowledge() { send_raw(message("", true)); }
};

// An endpoint on one side of a socket pair, the peer on the other, both on
// the fake clock.
struct linked_pair {
    fake_clock clock;
    net_endpoint endpoint;
    scripted_peer peer;

    explicit linked_pair(const unsigned char* own_mac) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_DGRAM, 0, ends) != 0) return;
        endpoint.socket = ends[0];
        endpoint.clock = &clock;
        std::memcpy(endpoint.mac, own_mac, mac_bytes);
        peer.socket = ends[1];
        clock.peer = [this] { peer.run(clock.time); };
    }
};

// Machines whose interfaces are socket pairs: each interface's far end is a
// scripted peer, and planned_lister hands the near ends to the table of the
// next server or client that is made.
struct test_network {
    fake_clock clock;
    std::vector<std::unique_ptr<scripted_peer>> peers;
    std::vector<std::pair<int, bytes>> planned;

    test_network() {
        clock.peer = [this] {
            for (auto& peer : peers) peer->run(clock.time);
        };
    }
    scripted_peer& add_interface(const unsigned char* mac) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_DGRAM, 0, ends) != 0) std::abort();
        planned.emplace_back(ends[0], bytes(mac, mac + mac_bytes));
        peers.push_back(std::make_unique<scripted_peer>());
        peers.back()->socket = ends[1];
        return *peers.back();
    }
    static inline test_network* current = nullptr;
};

inline void planned_lister(interface_table& table) {
    test_network& network = *test_network::current;
    table.clock = &network.clock;
    array<net_endpoint*> endpoints;
    for (const auto& [socket, mac] : network.planned) {
        net_endpoint* endpoint = new net_endpoint;
        endpoint->socket = socket;
        endpoint->clock = &network.clock;
        std::memcpy(endpoint->mac, mac.data(), mac_bytes);
        endpoints.push_back(endpoint);
    }
    network.planned.clear();
    table.adopt(endpoints);
}

// A console that keeps what is printed and answers from scripts.
class recording_console : public remote_host {
public:
    std::string output;
    std::string keys;                  // read_key hands these out, then -1
    std::vector<std::string> answers;  // edit_line takes these in turn
    std::vector<bool> yes_no;          // ask_yes_no likewise

    void print(const char* text) override { output += text; }
    void flush() override {}
    int read_key() override {
        if (keys.empty()) return -1;
        const int key = static_cast<unsigned char>(keys[0]);
        keys.erase(0, 1);
        return key;
    }
    void clear_screen() override { output += "<clear>"; }
    void move_cursor(int column, int row) override {
        output += "<at " + std::to_string(column) + "," + std::to_string(row) + ">";
    }
    void clear_line() override { output += "<clear line>"; }
    void set_attributes(int bits) override { output += "<attr " + std::to_string(bits) + ">"; }
    void print_wrapped(const char* text) override { output += text; }
    bool ask_yes_no(const char* question) override {
        output += question;
        const bool answer = !yes_no.empty() && yes_no.front();
        if (!yes_no.empty()) yes_no.erase(yes_no.begin());
        return answer;
    }
    void edit_line(const char* label, const char* default_value, char* result, int size) override {
        output += std::string(label) + ": " + (default_value ? default_value : "");
        std::string answer = default_value ? default_value : "";
        if (!answers.empty()) {
            answer = answers.front();
            answers.erase(answers.begin());
        }
        answer = answer.substr(0, static_cast<std::size_t>(size - 1));
        std::memcpy(result, answer.c_str(), answer.size() + 1);
    }

    // The machine's side, for the client's tests.
    std::string root;
    std::string label = "bench";
    bool disk_found = true;
    bool prepared = true;
    int prepare_calls = 0;
    bool prepared_keep = false;
    bool finished = false;
    std::vector<std::string> installed;  // every package's bytes, in order
    bool installer_running = false;
    void show_banner(const char* kind) override { output += std::string("<banner ") + kind + ">"; }
    void load_network_drivers() override {}
    bool find_target_disk() override { return disk_found; }
    bool prepare_target_disk(bool keep) override {
        ++prepare_calls;
        prepared_keep = keep;
        return prepared;
    }
    void disk_label(char* text, std::size_t capacity) override {
        std::snprintf(text, capacity, "%s", label.c_str());
    }
    const char* new_root() override { return root.c_str(); }
    bool start_installer() override {
        installed.emplace_back();
        installer_running = true;
        return true;
    }
    bool feed_installer(const unsigned char* data, std::size_t count) override {
        installed.back().append(reinterpret_cast<const char*>(data), count);
        return true;
    }
    void close_installer() override { installer_running = false; }
    void finish_installation() override { finished = true; }
};

}  // namespace remote_test
