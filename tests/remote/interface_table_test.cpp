#include "remote/interface_table.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

TEST(interface_table, interface_name_of_a_line) {
    const struct {
        const char* line;
        const char* name;
    } cases[] = {
        {"    lo:  123 4 0 0", "lo"},
        {"  eth0:1234567 89 0 0", "eth0"},
        {"veth-a: 0 0", "veth-a"},
        {"\teth1 : 0", "eth1"},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(interface_name_of_line(byte_string(c.line)).text()), c.name)
            << c.line;
    }
}

TEST(interface_table, mac_text_and_the_end_of_the_table) {
    const unsigned char mac[mac_bytes] = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xff};
    EXPECT_STREQ(mac_text(mac), "00:1A:2B:C3:D4:FF");
    interface_table table;
    array<net_endpoint*> endpoints;
    endpoints.push_back(new net_endpoint);
    std::memcpy(endpoints[0]->mac, mac, mac_bytes);
    table.adopt(endpoints);
    EXPECT_TRUE(interface_count(table));
    EXPECT_STREQ(interface_mac_text(table, 0), "00:1A:2B:C3:D4:FF");
    EXPECT_EQ(interface_mac_text(table, 1), nullptr);
    table.clear();
    EXPECT_FALSE(interface_count(table));
}

// Runs body in a child inside a network namespace of its own, so that
// listing the interfaces (which reconfigures every one of them) only ever
// touches interfaces the test made; the child's report comes back as text.
std::string in_own_network(const std::function<std::string()>& body) {
    int report[2];
    if (pipe(report) != 0) return "no pipe";
    const pid_t child = fork();
    if (child < 0) return "no fork";
    if (child == 0) {
        close(report[0]);
        std::string text = "no network namespace";
        if (unshare(CLONE_NEWNET) == 0) text = body();
        (void)!write(report[1], text.data(), text.size());
        _exit(0);
    }
    close(report[1]);
    std::string text;
    char piece[256];
    for (ssize_t got; (got = read(report[0], piece, sizeof piece)) > 0;) {
        text.append(piece, static_cast<std::size_t>(got));
    }
    close(report[0]);
    waitpid(child, nullptr, 0);
    return text;
}

std::string flags_of(const char* name) {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    const bool read = ioctl(probe, SIOCGIFFLAGS, &request) == 0;
    close(probe);
    if (!read) return "unknown";
    std::string text;
    if (request.ifr_flags & IFF_UP) text += "up ";
    if (request.ifr_flags & IFF_PROMISC) text += "promisc";
    return text;
}

TEST(interface_table, loopback_alone_is_no_interface) {
    EXPECT_EQ(in_own_network([] {
                  interface_table table;
                  list_interfaces(table);
                  return std::to_string(table.count());
              }),
              "0");
}

TEST(interface_table, unconfigured_interfaces_are_opened_up_and_promiscuous) {
    const std::string report = in_own_network([] {
        if (std::system("ip link add rt-a type veth peer name rt-b") != 0)
            return std::string("no veth");
        interface_table table;
        list_interfaces(table);
        std::string text =
            std::to_string(table.count()) + ";" + flags_of("rt-a") + ";" + flags_of("rt-b") + ";";
        if (table.count() != 2) return text;
        // Which endpoint is which follows "/proc/net/dev"; find rt-a's.
        net_endpoint* a = &table.at(0);
        net_endpoint* b = &table.at(1);
        char name[IF_NAMESIZE] = {};
        socklen_t length = sizeof name;
        getsockopt(a->socket, SOL_SOCKET, SO_BINDTODEVICE, name, &length);
        if (std::strcmp(name, "rt-a") != 0) std::swap(a, b);

        // A datagram from another port is read and rejected.
        const int stranger = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(stranger, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        setsockopt(stranger, SOL_SOCKET, SO_BINDTODEVICE, "rt-a", 5);
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_port = htons(5001);
        bind(stranger, reinterpret_cast<sockaddr*>(&own), sizeof own);
        (void)!sendto(stranger, "x", 1, 0, reinterpret_cast<sockaddr*>(&a->destination),
                      sizeof a->destination);
        unsigned char buffer[datagram_capacity];
        text += std::to_string(receive_within(*b, buffer, 2000000)) + ";";
        close(stranger);

        // The protocol's broadcast crosses the link.
        const char hello[] = "broadcast on port 5000";
        text += std::to_string(send_datagram(*a, hello, sizeof hello)) + ";";
        const int got = receive_within(*b, buffer, 2000000);
        text += std::to_string(got) + ";";
        if (got > 0) text += reinterpret_cast<const char*>(buffer);
        // Every broadcast comes back to its sender's interface, but a
        // datagram whose header names that interface as its source never
        // wakes the endpoint.
        unsigned char from_a[20] = {};
        std::memcpy(from_a, a->mac, sizeof a->mac);
        text += ";" + std::to_string(send_datagram(*a, from_a, sizeof from_a));
        text += ";" + std::to_string(receive_within(*b, buffer, 2000000)) + ";";
        // What came back to a: the stranger's datagram (rejected), the
        // hello, then nothing.
        for (int i = 0; i < 3; ++i)
            text += std::to_string(receive_within(*a, buffer, 300000)) + ",";
        return text;
    });
    EXPECT_EQ(report, "2;up promisc;up promisc;-1;23;23;broadcast on port 5000;20;20;-1,23,-1,");
}

}  // namespace
