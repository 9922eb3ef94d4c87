#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "remote/endpoint.h"

// The machine's usable Ethernet interfaces, one opened endpoint each, in
// the order of "/proc/net/dev". The table owns the endpoints.
class interface_table {
public:
    interface_table() = default;
    interface_table(const interface_table&) = delete;
    interface_table& operator=(const interface_table&) = delete;
    ~interface_table() { clear(); }

    // Closes and frees every endpoint.
    void clear();
    // Takes over the endpoints (allocated with new), replacing the table's.
    void adopt(array<net_endpoint*>& endpoints);

    [[nodiscard]] std::uint32_t count() const {
        return static_cast<std::uint32_t>(endpoints_.size());
    }
    [[nodiscard]] net_endpoint& at(std::uint32_t index) const { return *endpoints_[index]; }

    // What the discovery pauses and the endpoints wait on.
    net_clock* clock = &system_clock();

private:
    array<net_endpoint*> endpoints_;
};

// Fills a table; list_interfaces, or a stand-in in tests.
using interface_lister = void (*)(interface_table& table);

// Opens an endpoint on the protocol port for every interface of
// "/proc/net/dev" that has a hardware address (loopback has none). Every
// listed interface is brought up, made promiscuous and, without an IPv4
// address, given 0.0.0.0; so this runs only on installation media. The
// table is left empty when the interfaces cannot be listed.
void list_interfaces(interface_table& table);

// True when the table holds at least one endpoint.
[[nodiscard]] bool interface_count(const interface_table& table);
// mac_text of the endpoint at index, or null past the end.
const char* interface_mac_text(const interface_table& table, std::uint32_t index);

// The interface a line of "/proc/net/dev" is about: its first word, cut at
// the first ':' (the counters may follow the colon without a blank).
[[nodiscard]] byte_string interface_name_of_line(const byte_string& line);
