#include "remote/interface_table.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "base/file_streams.h"

namespace {

// Lines of "/proc/net/dev" before the first interface.
constexpr int header_lines = 2;
// The protocol number of the raw socket that only carries the hardware
// address queries.
constexpr int query_protocol = 250;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool all_zero(const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// The hardware address of the interface: true with mac filled, false when
// the query failed.
bool query_mac(int query_socket, const byte_string& name, unsigned char* mac) {
    ifreq request;
    std::memset(&request, 0, sizeof request);
    const std::size_t length = name.length() < IFNAMSIZ - 1 ? name.length() : IFNAMSIZ - 1;
    std::memcpy(request.ifr_name, name.text(), length);
    if (ioctl(query_socket, SIOCGIFHWADDR, &request) != 0) return false;
    std::memcpy(mac, request.ifr_hwaddr.sa_data, mac_bytes);
    return true;
}

void discard(array<net_endpoint*>& endpoints) {
    for (net_endpoint* endpoint : endpoints) delete endpoint;
    endpoints.clear();
}

// Opens the endpoint of the interface a line names, if it has a hardware
// address and opens; false when its address cannot be queried.
bool open_line(const byte_string& line, int query_socket, net_clock* clock,
               array<net_endpoint*>& endpoints) {
    const byte_string name = interface_name_of_line(line);
    if (name.empty()) return true;
    unsigned char mac[mac_bytes];
    if (!query_mac(query_socket, name, mac)) return false;
    if (all_zero(mac, mac_bytes)) return true;
    net_endpoint* endpoint = new net_endpoint;
    std::memcpy(endpoint->mac, mac, mac_bytes);
    endpoint->clock = clock;
    if (open_endpoint(*endpoint, name.text(), protocol_port)) {
        endpoints.push_back(endpoint);
    } else {
        delete endpoint;
    }
    return true;
}

// Every usable interface's endpoint, in file order; false when the listing
// had to be abandoned (everything opened is released then).
bool open_all(file_in_stream& file, int query_socket, net_clock* clock,
              array<net_endpoint*>& endpoints) {
    byte_string line;
    for (int i = 0; i < header_lines; ++i) file.get_line(line);
    for (;;) {
        file.get_line(line);
        // A last line without its line break still counts.
        const bool last = file.failed();
        if (last && line.empty()) return true;
        if (!open_line(line, query_socket, clock, endpoints)) {
            discard(endpoints);
            return false;
        }
        if (last) return true;
    }
}

}  // namespace

void interface_table::clear() {
    discard(endpoints_);
}

void interface_table::adopt(array<net_endpoint*>& endpoints) {
    clear();
    endpoints_ = std::move(endpoints);
}

void list_interfaces(interface_table& table) {
    table.clear();
    file_in_stream file("/proc/net/dev");
    if (!file.is_open()) return;
    const int query_socket = socket(AF_INET, SOCK_RAW, query_protocol);
    if (query_socket < 0) return;
    array<net_endpoint*> endpoints;
    const bool listed = open_all(file, query_socket, table.clock, endpoints);
    close(query_socket);
    // The table shows the endpoints only once all of them are open.
    if (listed) table.adopt(endpoints);
}

bool interface_count(const interface_table& table) {
    return table.count() > 0;
}

const char* interface_mac_text(const interface_table& table, std::uint32_t index) {
    if (index >= table.count()) return nullptr;
    return mac_text(table.at(index).mac);
}

byte_string interface_name_of_line(const byte_string& line) {
    std::size_t start = 0;
    while (start < line.length() && is_blank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.length() && !is_blank(line[end]) && line[end] != ':') ++end;
    return line.substring(start, end - start);
}
