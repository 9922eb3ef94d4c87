#include "remote/install_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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
using remote_test::third_mac;

TEST(install_client, label_rules) {
    const struct {
        const char* line;
        const char* label;
    } cases[] = {
        {"my router\n", "myrouter"},  {"", "tarnvale"},
        {" \t\r\n", "tarnvale"},      {"office-2 (east)", "office-2(east)"},
        {"caf\xc3\xa9\x01x", "cafx"},
    };
    for (const auto& c : cases) {
        char label[32];
        std::snprintf(label, sizeof label, "%s", c.line);
        clean_disk_label(label);
        EXPECT_STREQ(label, c.label) << c.line;
    }
}

// An installation server as the client hears it: it offers itself to the
// first discovery, acknowledges YACK and STRT, sends its files one
// datagram per acknowledgement and says TERM at the end.
struct scripted_server {
    const unsigned char* mac = server_mac;
    std::string opaque = "chosen";
    bool keep = false;
    bool term_at_end = true;
    std::vector<bytes> to_send;
    std::size_t next = 0;
    std::uint16_t file_seq = 2;
    bool sending = false;
    std::vector<std::string> client_messages;

    // FILE message and data packets of one file.
    void queue_file(const std::string& name, const std::string& content) {
        net_conversation state;
        std::memcpy(state.own_mac, mac, mac_bytes);
        std::memcpy(state.peer_mac, client_mac, mac_bytes);
        state.seq = file_seq;
        auto packet = [&state](const std::string& payload, unsigned char kind) {
            bytes datagram(header_bytes + payload.size());
            build_header(state, datagram.data(), static_cast<std::uint16_t>(payload.size()), false,
                         kind);
            std::memcpy(datagram.data() + header_bytes, payload.data(), payload.size());
            return datagram;
        };
        to_send.push_back(
            packet("FILE\n" + name + "\n" + std::to_string(content.size()) + "\n", kind_message));
        for (std::size_t at = 0; at < content.size(); at += data_piece_bytes) {
            ++state.seq;
            to_send.push_back(packet(content.substr(at, data_piece_bytes), kind_data));
        }
        file_seq = static_cast<std::uint16_t>(state.seq + 1);
    }

    void attach(scripted_peer& peer) {
        std::memcpy(peer.conversation.own_mac, mac, mac_bytes);
        peer.on_datagram = [this](scripted_peer& p, const heard_datagram& datagram) {
            hear(p, datagram);
        };
    }

    void send_next(scripted_peer& peer) {
        if (next < to_send.size()) {
            peer.send_raw(to_send[next++]);
        } else if (term_at_end && sending) {
            sending = false;
            peer.conversation.seq = file_seq;
            peer.send_message("TERM", false);
        }
    }

    void hear(scripted_peer& peer, const heard_datagram& datagram) {
        net_conversation& state = peer.conversation;
        const std::string payload = datagram.payload();
        if (payload.rfind("DSCV", 0) == 0) {
            if (!is_zero_mac(state.peer_mac)) return;
            std::memcpy(state.peer_mac, packet_source(datagram.packet()), mac_bytes);
            state.seq = 1;
            state.peer_seq = 1;
            peer.send_message("OFFR\n" + opaque + "\n" + (keep ? "keep\n" : "") + '\0', true);
            return;
        }
        const bool fresh = accept_message(state, datagram.packet(), datagram.length()) &&
                           packet_length(datagram.packet()) != 0;
        if (fresh) {
            client_messages.push_back(payload);
            if (payload == "YACK\n") {
                state.seq = 2;
                peer.acknowledge();
            } else if (payload == "STRT") {
                peer.acknowledge();
                sending = true;
                send_next(peer);
            } else if (payload == "TERM") {
                peer.acknowledge();
            }
            return;
        }
        if (sending && packet_has_ack(datagram.packet()) && next > 0 &&
            packet_acknowledged(datagram.packet()) == packet_sequence(to_send[next - 1].data())) {
            send_next(peer);
        }
    }
};

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

struct client_fixture {
    test_network network;
    recording_console host;
    scripted_server server;
    std::filesystem::path root;

    client_fixture() {
        test_network::current = &network;
        server.attach(network.add_interface(client_mac));
        root = std::filesystem::temp_directory_path() /
               ("remote-client-test-" + std::to_string(getpid())) / "mnt";
        std::filesystem::create_directories(root);
        host.root = root.string();
    }
    ~client_fixture() { std::filesystem::remove_all(root.parent_path()); }
    scripted_peer& link() { return *network.peers[0]; }
    // What the client sent after the discovery, as text.
    std::vector<std::string> client_sent() {
        std::vector<std::string> texts;
        for (const heard_datagram& datagram : link().heard) texts.push_back(datagram.payload());
        return texts;
    }
};

TEST(install_client, a_whole_installation) {
    client_fixture fixture;
    const std::string first(3000, 'a');
    const std::string second = "second package";
    const std::string script = "/port set [/port find] baud-rate=9600\n";
    fixture.server.queue_file("system-1.0.vsk", first);
    fixture.server.queue_file("dhcp-1.0.vsk", second);
    fixture.server.queue_file("autorun.scr", script);
    ASSERT_TRUE(network_install(fixture.host, planned_lister));

    EXPECT_EQ(fixture.host.installed, (std::vector<std::string>{first, second}));
    EXPECT_FALSE(fixture.host.installer_running);
    EXPECT_EQ(read_file(fixture.root / "autorun.scr"), script);
    EXPECT_TRUE(std::filesystem::exists(fixture.root / "CDINSTALL"));
    EXPECT_TRUE(fixture.host.finished);
    EXPECT_EQ(fixture.host.prepare_calls, 1);
    EXPECT_FALSE(fixture.host.prepared_keep);
    EXPECT_EQ(fixture.server.client_messages, (std::vector<std::string>{"YACK\n", "STRT"}));
    const heard_datagram& discovery = fixture.link().heard.front();
    EXPECT_EQ(discovery.payload(), std::string("DSCV\nTarnvale router\n\nbench\n") + '\0');
    EXPECT_TRUE(is_zero_mac(packet_destination(discovery.packet())));
    EXPECT_EQ(packet_sequence(discovery.packet()), 1);
    // The server's TERM (its number 10) gets the "resend ack" and a second
    // acknowledgement.
    fixture.network.clock.peer();
    const auto& heard = fixture.link().heard;
    ASSERT_GE(heard.size(), 2u);
    for (std::size_t i = heard.size() - 2; i < heard.size(); ++i) {
        EXPECT_EQ(packet_length(heard[i].packet()), 0);
        EXPECT_EQ(packet_acknowledged(heard[i].packet()), 10);
    }
    EXPECT_EQ(fixture.host.output,
              "<banner remote installation>\n"
              "mac-address: 02:00:00:00:00:02\n"
              "disk label: bench\n\n"
              "\nWaiting for installation server...\n"
              "Found server at 02:00:00:00:00:01\n\n"
              "\n"
              "Writing configuration...\n"
              "\nSoftware installed.\nPress ENTER to reboot\n"
              "resend ack: 10\n");
}

TEST(install_client, keeping_the_configuration_ends_at_the_empty_script) {
    client_fixture fixture;
    fixture.server.keep = true;
    fixture.server.queue_file("system-1.0.vsk", "s");
    fixture.server.queue_file("autorun.scr", "");
    // Anything after the empty file is not read.
    fixture.server.queue_file("late.vsk", "late");
    fixture.network.clock.key_waiting = true;
    ASSERT_TRUE(network_install(fixture.host, planned_lister));
    EXPECT_TRUE(fixture.host.prepared_keep);
    EXPECT_EQ(fixture.host.installed, (std::vector<std::string>{"s"}));
    EXPECT_FALSE(std::filesystem::exists(fixture.root / "autorun.scr"));
    EXPECT_TRUE(fixture.host.finished);
    // The empty file's FILE message was acknowledged twice; the key at the
    // close was answered with TERM.
    const auto sent = fixture.client_sent();
    EXPECT_EQ(sent.back(), "TERM");
    const auto& heard = fixture.link().heard;
    int acknowledgements_of_script = 0;
    for (const heard_datagram& datagram : heard) {
        if (packet_has_ack(datagram.packet()) && packet_length(datagram.packet()) == 0 &&
            packet_acknowledged(datagram.packet()) == 4) {
            ++acknowledgements_of_script;
        }
    }
    EXPECT_EQ(acknowledgements_of_script, 2);
}

TEST(install_client, which_names_are_the_script) {
    client_fixture fixture;
    // Exactly ".scr" is a package; so is a name that ends in ".scr" only
    // beyond the 31 characters a name keeps.
    fixture.server.queue_file(".scr", "first package");
    fixture.server.queue_file(std::string(30, 'n') + ".scr", "second package");
    fixture.server.queue_file("x.scr", "script");
    ASSERT_TRUE(network_install(fixture.host, planned_lister));
    EXPECT_EQ(fixture.host.installed,
              (std::vector<std::string>{"first package", "second package"}));
    EXPECT_EQ(read_file(fixture.root / "x.scr"), "script");
}

TEST(install_client, a_script_name_that_leads_out_of_the_root_is_refused) {
    client_fixture fixture;
    std::filesystem::create_directories(fixture.root.parent_path() / "etc");
    fixture.server.queue_file("../etc/x.scr", "evil");
    EXPECT_FALSE(network_install(fixture.host, planned_lister));
    EXPECT_NE(fixture.host.output.find("Writing configuration...\n\nFATAL ERROR: couldn't make "
                                       "script\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(fixture.root.parent_path() / "etc" / "x.scr"));
    EXPECT_FALSE(fixture.host.finished);
}

TEST(install_client, files_that_end_before_the_script_are_no_installation) {
    const struct {
        const char* name;
        bool term_from_server;
    } cases[] = {
        {"the server says TERM", true},
        {"the server falls silent", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client_fixture fixture;
        fixture.server.term_at_end = c.term_from_server;
        fixture.server.queue_file("system-1.0.vsk", "s");
        EXPECT_FALSE(network_install(fixture.host, planned_lister));
        EXPECT_EQ(fixture.host.installed, (std::vector<std::string>{"s"}));
        const std::string& output = fixture.host.output;
        const std::string failure = "\nFATAL ERROR: bad network connection\n";
        ASSERT_GE(output.size(), failure.size());
        EXPECT_EQ(output.substr(output.size() - failure.size()), failure);
        EXPECT_FALSE(fixture.host.finished);
        EXPECT_FALSE(std::filesystem::exists(fixture.root / "CDINSTALL"));
        // The client told the server it stopped listening.
        EXPECT_EQ(fixture.client_sent().back(), "TERM");
    }
}

TEST(install_client, failures_before_the_files) {
    {
        // Only the loopback interface: no card.
        client_fixture fixture;
        fixture.network.planned.clear();
        EXPECT_FALSE(network_install(fixture.host, planned_lister));
        EXPECT_EQ(fixture.host.output,
                  "<banner remote installation>\nFATAL ERROR: no network card found\n");
    }
    {
        client_fixture fixture;
        fixture.host.prepared = false;
        EXPECT_FALSE(network_install(fixture.host, planned_lister));
        EXPECT_EQ(fixture.server.client_messages, (std::vector<std::string>{"YACK\n"}));
    }
    {
        // The server never answers STRT.
        client_fixture fixture;
        fixture.server.queue_file("system-1.0.vsk", "s");
        auto hear = fixture.link().on_datagram;
        fixture.link().on_datagram = [hear](scripted_peer& peer, const heard_datagram& d) {
            if (d.payload() != "STRT") hear(peer, d);
        };
        EXPECT_FALSE(network_install(fixture.host, planned_lister));
        EXPECT_NE(fixture.host.output.find("\nFATAL ERROR: server refused to install\n"),
                  std::string::npos);
        EXPECT_TRUE(fixture.host.installed.empty());
    }
}

TEST(install_client, the_first_valid_offer_on_either_interface_wins) {
    test_network network;
    test_network::current = &network;
    const unsigned char second_mac[mac_bytes] = {0x02, 0, 0, 0, 0, 0x22};
    scripted_peer& quiet = network.add_interface(client_mac);
    scripted_peer& busy = network.add_interface(second_mac);
    std::memcpy(busy.conversation.own_mac, server_mac, mac_bytes);
    // On the second interface: the server's offer to any station (no
    // offer), then a third station's offer, then the server's own; the
    // third station, taken first, acknowledges YACK.
    busy.on_datagram = [&second_mac](scripted_peer& peer, const heard_datagram& datagram) {
        net_conversation third = peer.conversation;
        std::memcpy(third.own_mac, third_mac, mac_bytes);
        std::memcpy(third.peer_mac, second_mac, mac_bytes);
        if (datagram.payload().rfind("DSCV", 0) == 0) {
            const std::string offer = std::string("OFFR\nback\n") + '\0';
            peer.conversation.peer_seq = 1;
            peer.send_message(offer, true);  // the peer is still unknown: to any station
            third.peer_seq = 1;
            bytes from_third(header_bytes + offer.size());
            build_header(third, from_third.data(), static_cast<std::uint16_t>(offer.size()), true,
                         kind_message);
            std::memcpy(from_third.data() + header_bytes, offer.data(), offer.size());
            peer.send_raw(from_third);
            std::memcpy(peer.conversation.peer_mac, second_mac, mac_bytes);
            peer.send_message(offer, true);
        } else if (datagram.payload() == "YACK\n") {
            third.seq = 2;
            third.peer_seq = 2;
            bytes acknowledgement(header_bytes);
            build_header(third, acknowledgement.data(), 0, true, kind_message);
            peer.send_raw(acknowledgement);
        }
    };
    recording_console console;
    install_client client(planned_lister);
    char offered[offer_opaque_limit];
    bool keep = true;
    ASSERT_TRUE(find_server(client, "id", "", "lab", offered, sizeof offered, keep));
    EXPECT_EQ(client.server_endpoint, &client.interfaces.at(1));
    EXPECT_TRUE(same_mac(client.conversation.peer_mac, third_mac));
    EXPECT_STREQ(offered, "back");
    EXPECT_FALSE(keep);
    EXPECT_EQ(client.conversation.seq, 3);
    // Announced on both interfaces, each from its own address.
    ASSERT_FALSE(quiet.heard.empty());
    EXPECT_TRUE(same_mac(packet_source(quiet.heard[0].packet()), client_mac));
    EXPECT_TRUE(same_mac(packet_source(busy.heard[0].packet()), second_mac));
    // YACK went to the station whose offer was taken.
    const heard_datagram& yack = busy.heard.back();
    EXPECT_EQ(yack.payload(), "YACK\n");
    EXPECT_TRUE(same_mac(packet_destination(yack.packet()), third_mac));
    EXPECT_EQ(packet_sequence(yack.packet()), 2);
    EXPECT_EQ(packet_acknowledged(yack.packet()), 1);
}

}  // namespace
