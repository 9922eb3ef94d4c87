#include "remote/install_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "remote/packet.h"
#include "remote_fixture.h"

namespace {

using remote_test::bytes;
using remote_test::client_mac;
using remote_test::heard_datagram;
using remote_test::planned_lister;
using remote_test::recording_console;
using remote_test::scripted_peer;
using remote_test::server_mac;
using remote_test::test_network;

std::uint32_t address(const char* dotted) {
    in_addr parsed{};
    inet_aton(dotted, &parsed);
    return parsed.s_addr;
}

TEST(install_server, configuration_script) {
    const unsigned char mac[mac_bytes] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    const std::string interface_block =
        ":local eth\n"
        ":set eth [/interface ethernet get [/interface ethernet find "
        "mac-address=00:11:22:33:44:55] name]\n"
        "/interface enable $eth\n"
        "/ip address add address=10.0.0.2/24 interface=$eth\n";
    const struct {
        const char* address;
        std::uint32_t bits;
        const char* gateway;
        std::uint32_t baud;
        std::string script;
    } cases[] = {
        {"10.0.0.2", 24, "0.0.0.0", 9600,
         interface_block + "/port set [/port find] baud-rate=9600\n"},
        {"10.0.0.2", 24, "10.0.0.1", 0, interface_block + "/ip route add gateway=10.0.0.1\n"},
        // An address without a bit count, or the other way round, names no
        // interface block.
        {"10.0.0.2", 0, "0.0.0.0", 0, ""},
        {"0.0.0.0", 24, "192.168.77.254", 115200,
         "/ip route add gateway=192.168.77.254\n/port set [/port find] baud-rate=115200\n"},
        {"0.0.0.0", 0, "0.0.0.0", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const byte_string script =
            make_config_script(mac, address(c.address), c.bits, address(c.gateway), c.baud);
        EXPECT_EQ(std::string(script.text()), c.script);
    }
}

bytes discovery_from(const unsigned char* mac, const std::string& identifier,
                     const std::string& label) {
    net_conversation router;
    std::memcpy(router.own_mac, mac, mac_bytes);
    const std::string text = "DSCV\n" + identifier + "\n\n" + label + "\n" + std::string(1, '\0');
    bytes packet(header_bytes + text.size());
    build_header(router, packet.data(), static_cast<std::uint16_t>(text.size()), false,
                 kind_message);
    std::memcpy(packet.data() + header_bytes, text.data(), text.size());
    return packet;
}

struct server_fixture {
    test_network network;
    recording_console console;
    scripted_peer* router = nullptr;

    server_fixture() {
        test_network::current = &network;
        router = &network.add_interface(server_mac);
    }
};

bool add(install_server& server, const unsigned char* mac, const std::string& label) {
    const bytes packet = discovery_from(mac, "Tarnvale router", label);
    return add_router(server, server.interfaces.at(0), packet.data(),
                      static_cast<int>(packet.size()));
}

const unsigned char router_a[mac_bytes] = {0, 0, 0, 0, 0, 0xA};
const unsigned char router_b[mac_bytes] = {0, 0, 0, 0, 0, 0xB};
const unsigned char router_c[mac_bytes] = {0, 0, 0, 0, 0, 0xC};

TEST(install_server, router_list_drawing) {
    server_fixture fixture;
    install_server server(fixture.console, planned_lister);
    ASSERT_TRUE(add(server, router_a, "first"));
    fixture.console.output.clear();
    ASSERT_TRUE(add(server, router_b, "second"));
    // Newest first; the first router found keeps the selection.
    EXPECT_EQ(fixture.console.output,
              "<at 0,5>Found 2 routers: \n\n"
              "<attr 0><clear line> 00:00:00:00:00:0B(second) ID: Tarnvale router \n"
              "<attr 0><clear line><attr 2> 00:00:00:00:00:0A(first) ID: Tarnvale router \n"
              "<attr 0><clear line>");
    EXPECT_EQ(server.router_count, 2u);
    EXPECT_EQ(server.selected, &server.routers.back());

    // The same router again, or a datagram that is no valid discovery, adds nothing.
    EXPECT_FALSE(add(server, router_a, "first"));
    EXPECT_FALSE(add(server, router_c, std::string(32, 'x')));
    EXPECT_EQ(server.router_count, 2u);

    (void)fixture.network.add_interface(server_mac);
    install_server single(fixture.console, planned_lister);
    fixture.console.output.clear();
    draw_router_list(single);
    EXPECT_EQ(fixture.console.output, "<at 0,5><attr 0><clear line>");
    ASSERT_TRUE(add(single, router_a, "x"));
    EXPECT_NE(fixture.console.output.find("Found 1 router: \n\n"), std::string::npos);
}

TEST(install_server, router_list_keys) {
    server_fixture fixture;
    install_server server(fixture.console, planned_lister);
    // Before any router is found, Enter does nothing.
    fixture.console.keys = "\n";
    EXPECT_EQ(take_router_key(server), selection_step::go_on);
    ASSERT_TRUE(add(server, router_a, "a"));
    ASSERT_TRUE(add(server, router_b, "b"));
    ASSERT_TRUE(add(server, router_c, "c"));
    // Shown: c, b, a; a (the first found) is selected.
    const struct {
        std::string keys;
        const unsigned char* selected;
        selection_step step;
    } steps[] = {
        {"n", router_a, selection_step::go_on},  // at the end the selection stays
        {"p", router_b, selection_step::go_on},
        {"P", router_c, selection_step::go_on},
        {"p", router_c, selection_step::go_on},  // at the head nothing happens
        {"\033[B", router_b, selection_step::go_on},
        {"N", router_a, selection_step::go_on},
        {"\033[A", router_b, selection_step::go_on},
        // A byte out of an escape sequence counts as a key of its own.
        {"\033n", router_a, selection_step::go_on},
        {"\033[p", router_b, selection_step::go_on},
        {"\033[C", router_b, selection_step::go_on},
        {"x", router_b, selection_step::go_on},
        {"\n", router_b, selection_step::chosen},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.keys);
        fixture.console.keys = step.keys;
        EXPECT_EQ(take_router_key(server), step.step);
        EXPECT_EQ(fixture.console.keys, "");
        ASSERT_NE(server.selected, nullptr);
        EXPECT_TRUE(same_mac(server.selected->mac, step.selected));
    }
    fixture.console.output.clear();
    fixture.console.keys = "Q";
    EXPECT_EQ(take_router_key(server), selection_step::left);
    EXPECT_EQ(server.selected, nullptr);
    EXPECT_EQ(fixture.console.output, "<at 0,25>");
    // A console that has gone away leaves like 'q'.
    fixture.console.keys = "";
    EXPECT_EQ(take_router_key(server), selection_step::left);
}

// The real wait of select_router, in a child whose standard input is a
// pipe: a router announces itself, then Enter chooses it.
TEST(install_server, select_router_waits_on_keys_and_routers) {
    int keys[2];
    int screen[2];
    int link[2];
    ASSERT_EQ(pipe(keys), 0);
    ASSERT_EQ(pipe(screen), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, link), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(keys[0], STDIN_FILENO);
        close(keys[1]);
        close(screen[0]);
        close(link[1]);
        struct screen_console : recording_console {
            int descriptor = -1;
            void print(const char* text) override {
                (void)!write(descriptor, text, std::strlen(text));
            }
            int read_key() override {
                unsigned char byte = 0;
                return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
            }
        } console;
        console.descriptor = screen[1];
        static int socket = -1;
        socket = link[0];
        install_server server(console, [](interface_table& table) {
            array<net_endpoint*> endpoints;
            endpoints.push_back(new net_endpoint);
            endpoints[0]->socket = socket;
            std::memcpy(endpoints[0]->mac, server_mac, mac_bytes);
            table.adopt(endpoints);
        });
        const bool chosen = select_router(server);
        _exit(chosen && same_mac(server.selected->mac, client_mac) ? 0 : 1);
    }
    close(keys[0]);
    close(screen[1]);
    close(link[0]);
    std::string shown;
    auto wait_for = [&](const std::string& text) {
        char piece[256];
        while (shown.find(text) == std::string::npos) {
            const ssize_t got = read(screen[0], piece, sizeof piece);
            if (got <= 0) return false;
            shown.append(piece, static_cast<std::size_t>(got));
        }
        return true;
    };
    EXPECT_TRUE(wait_for("Looking for routers on 1 interface...\n"));
    const bytes announcement = discovery_from(client_mac, "Tarnvale router", "bench");
    (void)!send(link[1], announcement.data(), announcement.size(), 0);
    EXPECT_TRUE(wait_for("Found 1 router"));
    (void)!write(keys[1], "\n", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(keys[1]);
    close(screen[0]);
    close(link[1]);
}

// A client that answers like a network-booted router: YACK to the offer,
// STRT once the YACK is acknowledged, an acknowledgement for every message,
// and TERM after the configuration.
struct scripted_client {
    std::vector<heard_datagram> messages;  // the server's new messages, in order
    bool answer_offer = true;
    std::string offer_answer = "YACK\n";
    bool finished = false;

    void attach(scripted_peer& peer) {
        std::memcpy(peer.conversation.own_mac, client_mac, mac_bytes);
        std::memcpy(peer.conversation.peer_mac, server_mac, mac_bytes);
        peer.on_datagram = [this](scripted_peer& p, const heard_datagram& datagram) {
            hear(p, datagram);
        };
    }
    void hear(scripted_peer& peer, const heard_datagram& datagram) {
        net_conversation& state = peer.conversation;
        const bool fresh = accept_message(state, datagram.packet(), datagram.length()) &&
                           packet_length(datagram.packet()) != 0;
        if (!fresh) {
            // The acknowledgement of YACK asks for STRT (the disk is ready).
            if (packet_has_ack(datagram.packet()) && packet_acknowledged(datagram.packet()) == 2 &&
                state.seq == 2) {
                state.seq = 3;
                peer.send_message("STRT", false);
            }
            return;
        }
        messages.push_back(datagram);
        const std::string payload = datagram.payload();
        if (payload.rfind("OFFR", 0) == 0) {
            if (!answer_offer) return;
            state.seq = 2;
            peer.send_message(offer_answer, true);
            return;
        }
        peer.acknowledge();
        if (packet_kind(datagram.packet()) == kind_data && last_file_is_script() && !finished) {
            finished = true;
            state.seq = 4;
            peer.send_message("TERM", false);
        }
    }
    [[nodiscard]] bool last_file_is_script() const {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (packet_kind(it->packet()) == kind_message) {
                return it->payload().rfind("FILE\nautorun.scr\n", 0) == 0;
            }
        }
        return false;
    }
};

struct package_files {
    std::filesystem::path directory;
    array<byte_string> paths;
    std::vector<std::string> contents;

    package_files() {
        directory = std::filesystem::temp_directory_path() /
                    ("remote-server-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(directory);
    }
    ~package_files() { std::filesystem::remove_all(directory); }
    void add(const std::string& name, const std::string& content) {
        const std::filesystem::path path = directory / name;
        std::ofstream(path, std::ios::binary) << content;
        paths.push_back(byte_string(path.string().c_str()));
        contents.push_back(content);
    }
    // A file of size bytes that takes no room on the disk.
    void add_sparse(const std::string& name, std::int64_t size) {
        const std::filesystem::path path = directory / name;
        std::ofstream(path, std::ios::binary).close();
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        paths.push_back(byte_string(path.string().c_str()));
    }
};

void choose_router(install_server& server) {
    const bytes packet = discovery_from(client_mac, "Tarnvale router", "bench");
    ASSERT_TRUE(add_router(server, server.interfaces.at(0), packet.data(),
                           static_cast<int>(packet.size())));
}

TEST(install_server, install_router_sends_offer_packages_and_configuration) {
    server_fixture fixture;
    scripted_client client;
    client.attach(*fixture.router);
    package_files packages;
    packages.add("system-1.0.vsk", std::string(3000, 's'));
    packages.add("dhcp-2.0.vsk", std::string(10, 'd'));
    fixture.console.yes_no = {false};
    fixture.console.answers = {"10.0.0.2", "16x", "0.0.0.0", "9600"};
    install_server server(fixture.console, planned_lister);
    choose_router(server);
    fixture.console.output.clear();
    ASSERT_TRUE(install_router(server, packages.paths));

    std::vector<std::string> texts;
    std::vector<int> numbers;
    for (const heard_datagram& message : client.messages) {
        numbers.push_back(packet_sequence(message.packet()));
        texts.push_back(packet_kind(message.packet()) == kind_data
                            ? "data " + std::to_string(message.payload().size())
                            : message.payload());
    }
    const std::string script =
        ":local eth\n"
        ":set eth [/interface ethernet get [/interface ethernet find "
        "mac-address=02:00:00:00:00:02] name]\n"
        "/interface enable $eth\n"
        "/ip address add address=10.0.0.2/16 interface=$eth\n"
        "/port set [/port find] baud-rate=9600\n";
    EXPECT_EQ(texts, (std::vector<std::string>{
                         std::string("OFFR\n\n") + '\0', "FILE\nsystem-1.0.vsk\n3000\n",
                         "data 1452", "data 1452", "data 96", "FILE\ndhcp-2.0.vsk\n10\n", "data 10",
                         "FILE\nautorun.scr\n" + std::to_string(script.size()) + "\n",
                         "data " + std::to_string(script.size())}));
    EXPECT_EQ(client.messages.back().payload(), script);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // The offer acknowledges the router's discovery.
    EXPECT_TRUE(packet_has_ack(client.messages[0].packet()));
    EXPECT_EQ(packet_acknowledged(client.messages[0].packet()), 1);
    EXPECT_NE(fixture.console.output.find("Keep config?"), std::string::npos);
    const std::string expected_tail =
        "\n\nSending offer...\n"
        "Formating and partitioning harddisk...\n"
        "Transfering: system-1.0.vsk...\n"
        "Transfering: dhcp-2.0.vsk...\n"
        "Transfering: configuration...\n"
        "\nSoftware installed.\nPress ENTER to reboot\n";
    const std::string& output = fixture.console.output;
    ASSERT_GE(output.size(), expected_tail.size());
    EXPECT_EQ(output.substr(output.size() - expected_tail.size()), expected_tail);
    // The router's TERM was acknowledged at the close.
    fixture.network.clock.peer();
    const heard_datagram& last = fixture.router->heard.back();
    EXPECT_TRUE(packet_has_ack(last.packet()));
    EXPECT_EQ(packet_length(last.packet()), 0);
    EXPECT_EQ(packet_acknowledged(last.packet()), 4);
}

TEST(install_server, keeping_the_configuration_asks_nothing_and_sends_an_empty_script) {
    server_fixture fixture;
    scripted_client client;
    client.attach(*fixture.router);
    package_files packages;
    packages.add("system-1.0.vsk", "s");
    fixture.console.yes_no = {true};
    install_server server(fixture.console, planned_lister);
    choose_router(server);
    fixture.network.clock.key_waiting = true;
    fixture.console.keys = "\n";
    ASSERT_TRUE(install_router(server, packages.paths));
    EXPECT_EQ(fixture.console.output.find("Enter routers"), std::string::npos);
    ASSERT_GE(client.messages.size(), 4u);
    EXPECT_EQ(client.messages[0].payload(), std::string("OFFR\n\nkeep\n") + '\0');
    EXPECT_EQ(client.messages[3].payload(), "FILE\nautorun.scr\n0\n");
    // The key at the close was read, and answered with TERM.
    ASSERT_EQ(client.messages.size(), 5u);
    EXPECT_EQ(client.messages[4].payload(), "TERM");
    EXPECT_EQ(fixture.console.keys, "");
}

TEST(install_server, the_offer_unanswered_or_answered_wrongly) {
    {
        server_fixture fixture;
        scripted_client client;
        client.answer_offer = false;
        client.attach(*fixture.router);
        package_files packages;
        fixture.console.yes_no = {true};
        fixture.console.keys = "k";
        install_server server(fixture.console, planned_lister);
        choose_router(server);
        const std::int64_t start = fixture.network.clock.time;
        EXPECT_FALSE(install_router(server, packages.paths));
        EXPECT_EQ(fixture.router->heard.size(), 10u);
        EXPECT_EQ(fixture.network.clock.time - start, 10 * 1000000);
        EXPECT_NE(fixture.console.output.find("No response from router (press any key)\n"),
                  std::string::npos);
        EXPECT_EQ(fixture.console.keys, "");
    }
    {
        server_fixture fixture;
        scripted_client client;
        client.offer_answer = "STRT";
        client.attach(*fixture.router);
        package_files packages;
        fixture.console.yes_no = {true};
        fixture.console.keys = "k";
        install_server server(fixture.console, planned_lister);
        choose_router(server);
        EXPECT_FALSE(install_router(server, packages.paths));
        EXPECT_NE(fixture.console.output.find("Bad response from router (press any key)\n"),
                  std::string::npos);
        EXPECT_EQ(fixture.console.keys, "");
    }
}

TEST(install_server, packages_beyond_one_conversation_are_refused_before_the_offer) {
    // 65535 numbers: the first FILE message is number 2, each file takes one
    // for its FILE message and one per 1452 bytes, the closing TERM one more.
    const std::int64_t numbers_left = 65535 - 2 - 1;  // less the script's FILE message
    {
        package_files packages;
        packages.add_sparse("big.vsk", (numbers_left - 1) * 1452);
        EXPECT_TRUE(fits_one_conversation(packages.paths, 0));
        EXPECT_FALSE(fits_one_conversation(packages.paths, 1));
    }
    {
        package_files packages;
        packages.add_sparse("a.vsk", 5000000000);  // beyond 32 bits
        EXPECT_FALSE(fits_one_conversation(packages.paths, 0));
    }
    server_fixture fixture;
    scripted_client client;
    client.attach(*fixture.router);
    package_files packages;
    packages.add_sparse("a.vsk", 50000000);
    packages.add_sparse("b.vsk", 50000000);
    fixture.console.yes_no = {true};
    fixture.console.keys = "k";
    install_server server(fixture.console, planned_lister);
    choose_router(server);
    EXPECT_FALSE(install_router(server, packages.paths));
    EXPECT_NE(fixture.console.output.find("\nFATAL ERROR: packages too large for one remote "
                                          "installation (press any key)\n"),
              std::string::npos);
    EXPECT_EQ(fixture.console.output.find("Sending offer"), std::string::npos);
    EXPECT_EQ(fixture.console.keys, "");
    fixture.network.clock.peer();
    EXPECT_TRUE(fixture.router->heard.empty());
}

TEST(install_server, answers_are_asked_again_until_they_read) {
    recording_console console;
    console.answers = {"", "router", "300.1.1.1", "192.168.1.7"};
    EXPECT_EQ(prompt_address(console, "Enter routers IP address", nullptr), address("192.168.1.7"));
    EXPECT_TRUE(console.answers.empty());
    const std::uint32_t fallback = address("10.1.2.3");
    console.answers = {};
    console.output.clear();
    EXPECT_EQ(prompt_address(console, "Gateway", &fallback), fallback);
    EXPECT_EQ(console.output, "Gateway: 10.1.2.3");
}

}  // namespace
