#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/list.h"
#include "remote/conversation.h"
#include "remote/interface_table.h"
#include "remote/messages.h"
#include "remote/remote_host.h"

// A router that announced itself: where it was heard, its address and the
// three lines of its discovery.
struct router_entry {
    net_endpoint* endpoint = nullptr;
    unsigned char mac[mac_bytes] = {};
    char identifier[discovery_field_bytes] = {};
    char opaque[discovery_field_bytes] = {};
    char label[discovery_field_bytes] = {};
};

// The machine that shows the package menu, installing another router: its
// interfaces, the conversation with the chosen router and the routers
// found, newest first.
class install_server {
public:
    // Lists the interfaces with lister.
    explicit install_server(remote_console& console, interface_lister lister = list_interfaces);
    install_server(const install_server&) = delete;
    install_server& operator=(const install_server&) = delete;

    interface_table interfaces;
    net_conversation conversation;
    list<router_entry> routers;
    router_entry* selected = nullptr;
    std::uint32_t router_count = 0;
    remote_console* console;
};

// Lists the routers that announce themselves while the operator moves
// through the list; true when one was chosen (selected), false on 'q' or
// when the wait fails.
[[nodiscard]] bool select_router(install_server& server);
// Asks for the new router's configuration, offers it the installation and
// sends the packages (paths in install order) and the configuration
// script; true when all went and the conversation was closed.
[[nodiscard]] bool install_router(install_server& server, const array<byte_string>& packages);
// Asks until the answer is an IPv4 address; the address in network byte
// order. default_address (network byte order) may be null.
[[nodiscard]] std::uint32_t prompt_address(remote_console& console, const char* label,
                                           const std::uint32_t* default_address);
// The new router's configuration in its own command language: the
// interface with that hardware address gets the address, then the default
// route, then the serial console's rate; a block whose values are 0 is left
// out. Addresses in network byte order.
[[nodiscard]] byte_string make_config_script(const unsigned char* mac, std::uint32_t address,
                                             std::uint32_t bits, std::uint32_t gateway,
                                             std::uint32_t baud_rate);

// The pieces of select_router.
// Adds the router of a discovery heard on endpoint, unless it is listed
// already or the datagram is no valid discovery; true when it was added.
bool add_router(install_server& server, net_endpoint& endpoint, const unsigned char* packet,
                int received);
// The list below the search line, the selected router in reverse video.
void draw_router_list(install_server& server);
enum class selection_step { go_on, chosen, left };
// Reads one key (an arrow key's escape sequence whole) and acts on it.
[[nodiscard]] selection_step take_router_key(install_server& server);

// True when the packages and a script of script_length bytes fit in the
// sequence numbers of one conversation. Sizes are read from the files.
[[nodiscard]] bool fits_one_conversation(const array<byte_string>& packages,
                                         std::int64_t script_length);
