#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "remote/install_server.h"
#include "remote/packet.h"

namespace {

constexpr int key_escape = 27;
constexpr int key_line_feed = 10;
constexpr int list_row = 5;
constexpr int park_row = 25;
constexpr int reverse_video = 2;

bool is_listed(const install_server& server, const unsigned char* mac) {
    for (const router_entry& router : server.routers) {
        if (same_mac(router.mac, mac)) return true;
    }
    return false;
}

// The entry before the selected one (towards the newest), or null.
router_entry* entry_before_selected(install_server& server) {
    router_entry* previous = nullptr;
    for (router_entry& router : server.routers) {
        if (&router == server.selected) return previous;
        previous = &router;
    }
    return nullptr;
}

router_entry* entry_after_selected(install_server& server) {
    bool passed = false;
    for (router_entry& router : server.routers) {
        if (passed) return &router;
        passed = &router == server.selected;
    }
    return nullptr;
}

selection_step act_on_key(install_server& server, int key) {
    switch (key) {
        case 'p':
        case 'P':
            if (router_entry* previous = entry_before_selected(server)) {
                server.selected = previous;
                draw_router_list(server);
            }
            return selection_step::go_on;
        case 'n':
        case 'N':
            if (router_entry* next = entry_after_selected(server)) server.selected = next;
            draw_router_list(server);
            return selection_step::go_on;
        // A console that has gone away can no longer choose: leaving as
        // with 'q' ends the wait instead of spinning on the closed input.
        case -1:
        case 'q':
        case 'Q':
            server.console->move_cursor(0, park_row);
            server.selected = nullptr;
            return selection_step::left;
        case key_line_feed:
            return server.selected != nullptr ? selection_step::chosen : selection_step::go_on;
        default:
            return selection_step::go_on;
    }
}

// Waits for a key or a datagram: the readable descriptors in ready, false
// when the wait fails.
bool wait_for_input(install_server& server, fd_set& ready) {
    server.console->flush();
    for (;;) {
        FD_ZERO(&ready);
        FD_SET(STDIN_FILENO, &ready);
        int highest = STDIN_FILENO;
        for (std::uint32_t i = 0; i < server.interfaces.count(); ++i) {
            const int socket = server.interfaces.at(i).socket;
            FD_SET(socket, &ready);
            if (socket > highest) highest = socket;
        }
        const int count = select(highest + 1, &ready, nullptr, nullptr, nullptr);
        if (count >= 0) return true;
        // A child or an alarm ending the wait is no reason to stop listing.
        if (errno != EINTR) return false;
    }
}

void take_datagrams(install_server& server, const fd_set& ready) {
    unsigned char packet[datagram_capacity];
    for (std::uint32_t i = 0; i < server.interfaces.count(); ++i) {
        net_endpoint& endpoint = server.interfaces.at(i);
        if (!FD_ISSET(endpoint.socket, &ready)) continue;
        const int received = receive_datagram(endpoint, packet);
        if (received <= 0) continue;
        reset(server.conversation);
        copy_mac(server.conversation.own_mac, endpoint.mac);
        if (accept_message(server.conversation, packet, received)) {
            (void)add_router(server, endpoint, packet, received);
        }
    }
}

}  // namespace

bool add_router(install_server& server, net_endpoint& endpoint, const unsigned char* packet,
                int received) {
    discovery found;
    if (!parse_discovery(packet, received, found)) return false;
    if (is_listed(server, packet_source(packet))) return false;
    router_entry router;
    router.endpoint = &endpoint;
    copy_mac(router.mac, packet_source(packet));
    std::memcpy(router.identifier, found.identifier, sizeof router.identifier);
    std::memcpy(router.opaque, found.opaque, sizeof router.opaque);
    std::memcpy(router.label, found.label, sizeof router.label);
    router_entry& added = *server.routers.push_front(router);
    if (server.selected == nullptr) server.selected = &added;
    ++server.router_count;
    draw_router_list(server);
    return true;
}

void draw_router_list(install_server& server) {
    remote_console& console = *server.console;
    console.move_cursor(0, list_row);
    if (server.router_count != 0) {
        say(console, "Found %d %s: \n\n", static_cast<int>(server.router_count),
            server.router_count == 1 ? "router" : "routers");
    }
    for (const router_entry& router : server.routers) {
        console.set_attributes(0);
        console.clear_line();
        if (&router == server.selected) console.set_attributes(reverse_video);
        say(console, " %s(%s) ID: %s \n", mac_text(router.mac), router.label, router.identifier);
    }
    console.set_attributes(0);
    console.clear_line();
}

selection_step take_router_key(install_server& server) {
    remote_console& console = *server.console;
    int key = console.read_key();
    if (key != key_escape) return act_on_key(server, key);
    key = console.read_key();
    if (key != '[') return act_on_key(server, key);
    key = console.read_key();
    if (key == 'A') return act_on_key(server, 'p');
    if (key == 'B') return act_on_key(server, 'n');
    return act_on_key(server, key);
}

bool select_router(install_server& server) {
    remote_console& console = *server.console;
    clear_mac(server.conversation.peer_mac);
    console.clear_screen();
    console.print_wrapped(
        "Select router using 'p' and 'n' or arrow keys. Press 'enter' to proceed or 'q' to "
        "return");
    const std::uint32_t count = server.interfaces.count();
    say(console, "\nLooking for routers on %d %s...\n", static_cast<int>(count),
        count == 1 ? "interface" : "interfaces");
    draw_router_list(server);
    for (;;) {
        fd_set ready;
        if (!wait_for_input(server, ready)) return false;
        if (FD_ISSET(STDIN_FILENO, &ready)) {
            const selection_step step = take_router_key(server);
            if (step != selection_step::go_on) return step == selection_step::chosen;
        }
        take_datagrams(server, ready);
    }
}
