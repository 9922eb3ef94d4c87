#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "remote/exchange.h"
#include "remote/file_receiver.h"
#include "remote/file_sender.h"
#include "remote/packet.h"
#include "remote_fixture.h"

namespace {

using remote_test::bytes;
using remote_test::client_mac;
using remote_test::heard_datagram;
using remote_test::linked_pair;
using remote_test::recording_console;
using remote_test::scripted_peer;
using remote_test::server_mac;

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return text;
}

class scratch_file {
public:
    explicit scratch_file(const std::string& content) {
        path_ = std::filesystem::temp_directory_path() /
                ("remote-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++)) /
                "package-1.0.vsk";
        std::filesystem::create_directories(path_.parent_path());
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~scratch_file() { std::filesystem::remove_all(path_.parent_path()); }
    [[nodiscard]] std::string path() const { return path_.string(); }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

// The server in the middle of an installation, after the client's STRT:
// its next message is number 2, the client's last was 3.
struct server_end : linked_pair {
    net_conversation conversation;
    recording_console console;

    server_end() : linked_pair(server_mac) {
        std::memcpy(conversation.own_mac, server_mac, mac_bytes);
        std::memcpy(conversation.peer_mac, client_mac, mac_bytes);
        conversation.seq = 2;
        conversation.peer_seq = 3;
        std::memcpy(peer.conversation.own_mac, client_mac, mac_bytes);
        std::memcpy(peer.conversation.peer_mac, server_mac, mac_bytes);
        peer.conversation.seq = 4;
        peer.conversation.peer_seq = 1;
    }
};

// The client acknowledges every new message it accepts, and what its
// filter lets through of the repeats.
void acknowledge_messages(scripted_peer& peer, const heard_datagram& datagram,
                          const std::function<bool(const heard_datagram&)>& answers) {
    const bool accepted = accept_message(peer.conversation, datagram.packet(), datagram.length()) &&
                          packet_length(datagram.packet()) != 0;
    const bool repeat =
        !accepted && repeats_last_message(peer.conversation, datagram.packet(), datagram.length());
    if ((accepted || repeat) && answers(datagram)) peer.acknowledge();
}

std::vector<std::int64_t> gaps_ms(const std::vector<heard_datagram>& heard, std::size_t from) {
    std::vector<std::int64_t> gaps;
    for (std::size_t i = from + 1; i < heard.size(); ++i) {
        gaps.push_back((heard[i].time - heard[i - 1].time) / 1000);
    }
    return gaps;
}

TEST(file_transfer, a_data_packet_is_sent_30_times_with_doubling_waits) {
    server_end server;
    server.peer.on_datagram = [](scripted_peer& peer, const heard_datagram& datagram) {
        acknowledge_messages(peer, datagram, [](const heard_datagram& d) {
            return packet_kind(d.packet()) == kind_message;  // the FILE message only
        });
    };
    const scratch_file file(pattern(3000));
    file_sender sender(server.endpoint, server.conversation, server.console);
    ASSERT_TRUE(sender_open(sender, file.path().c_str(), true));
    EXPECT_FALSE(transfer_file(sender));

    const auto& heard = server.peer.heard;
    ASSERT_EQ(heard.size(), 31u);
    EXPECT_EQ(heard[0].payload(), "FILE\npackage-1.0.vsk\n3000\n");
    EXPECT_EQ(packet_sequence(heard[0].packet()), 2);
    for (std::size_t i = 1; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].data, heard[1].data) << "send " << i;
    }
    EXPECT_EQ(packet_sequence(heard[1].packet()), 3);
    EXPECT_EQ(packet_length(heard[1].packet()), data_piece_bytes);
    std::vector<std::int64_t> expected = {20, 40, 80, 160, 320, 640};
    expected.resize(29, 1280);
    EXPECT_EQ(gaps_ms(heard, 1), expected);
    EXPECT_EQ(server.console.output,
              "Transfering: package-1.0.vsk...\nFATAL ERROR: Installation timeout\n");
}

TEST(file_transfer, the_file_message_is_sent_30_times_a_second_apart) {
    server_end server;
    const scratch_file file(pattern(10));
    file_sender sender(server.endpoint, server.conversation, server.console);
    ASSERT_TRUE(sender_open(sender, file.path().c_str(), true));
    const std::int64_t start = server.clock.time;
    EXPECT_FALSE(transfer_file(sender));
    ASSERT_EQ(server.peer.heard.size(), 30u);
    EXPECT_EQ(gaps_ms(server.peer.heard, 0), std::vector<std::int64_t>(29, 1000));
    EXPECT_EQ(server.clock.time - start, 30 * 1000000);
    EXPECT_NE(server.console.output.find("FATAL ERROR: Installation timeout\n"), std::string::npos);
}

TEST(file_transfer, pieces_and_numbers_by_file_size) {
    const struct {
        std::size_t size;
        std::vector<int> pieces;
    } cases[] = {
        {0, {}},
        {1, {1}},
        {1452, {1452}},
        {1453, {1452, 1}},
        {3 * 1452 + 100, {1452, 1452, 1452, 100}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        server_end server;
        // Every third datagram is lost on the way; the client acknowledges
        // what arrives, repeats included.
        int count = 0;
        server.peer.on_datagram = [&count](scripted_peer& peer, const heard_datagram& datagram) {
            if (++count % 3 == 0) return;
            acknowledge_messages(peer, datagram, [](const heard_datagram&) { return true; });
        };
        const std::string content = pattern(c.size);
        const scratch_file file(content);
        file_sender sender(server.endpoint, server.conversation, server.console);
        ASSERT_TRUE(sender_open(sender, file.path().c_str(), true));
        ASSERT_TRUE(transfer_file(sender));

        std::vector<int> pieces;
        std::string received;
        int expected_sequence = 3;
        for (const heard_datagram& datagram : server.peer.heard) {
            if (packet_kind(datagram.packet()) != kind_data) continue;
            const int sequence = packet_sequence(datagram.packet());
            if (sequence < expected_sequence) continue;  // a repeat
            EXPECT_EQ(sequence, expected_sequence);
            ++expected_sequence;
            pieces.push_back(packet_length(datagram.packet()));
            received += datagram.payload();
        }
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(received, content);
        EXPECT_EQ(server.conversation.seq, 2 + c.pieces.size());
    }
}

TEST(file_transfer, a_text_travels_as_autorun_scr_in_one_piece) {
    server_end server;
    server.peer.on_datagram = [](scripted_peer& peer, const heard_datagram& datagram) {
        acknowledge_messages(peer, datagram, [](const heard_datagram&) { return true; });
    };
    const std::string script = "/port set [/port find] baud-rate=9600\n";
    file_sender sender(server.endpoint, server.conversation, server.console);
    ASSERT_TRUE(sender_open(sender, script.c_str(), false));
    ASSERT_TRUE(transfer_file(sender));
    const auto& heard = server.peer.heard;
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].payload(), "FILE\nautorun.scr\n" + std::to_string(script.size()) + "\n");
    EXPECT_EQ(heard[1].payload(), script);
    EXPECT_EQ(server.console.output, "Transfering: configuration...\n");
}

TEST(file_transfer, sender_open_failures) {
    server_end server;
    file_sender missing(server.endpoint, server.conversation, server.console);
    EXPECT_FALSE(sender_open(missing, "/nonexistent-remote-test/package.vsk", true));
    EXPECT_EQ(server.console.output, "FATAL ERROR: Open package failed\n");

    // A path without a directory has no name to send.
    const scratch_file file("x");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(file.path()).parent_path());
    server.console.output.clear();
    file_sender bare(server.endpoint, server.conversation, server.console);
    EXPECT_FALSE(sender_open(bare, "package-1.0.vsk", true));
    std::filesystem::current_path(previous);
    EXPECT_EQ(server.console.output, "FATAL ERROR: Bad package name\n");
    EXPECT_TRUE(server.peer.heard.empty());
}

TEST(file_transfer, acknowledgements_of_older_messages_do_not_end_a_wait) {
    server_end server;
    // The client repeats an old acknowledgement before answering the
    // current message, and a third station's datagram comes in between.
    server.peer.on_datagram = [](scripted_peer& peer, const heard_datagram&) {
        net_conversation old = peer.conversation;
        old.peer_seq = 1;
        bytes stale(header_bytes);
        build_header(old, stale.data(), 0, true, kind_message);
        peer.send_raw(stale);
        net_conversation stranger = peer.conversation;
        std::memcpy(stranger.own_mac, remote_test::third_mac, mac_bytes);
        stranger.peer_seq = 2;
        bytes foreign(header_bytes);
        build_header(stranger, foreign.data(), 0, true, kind_message);
        peer.send_raw(foreign);
        peer.conversation.peer_seq = 2;
        peer.acknowledge();
    };
    unsigned char packet[header_bytes + 4];
    unsigned char reply[datagram_capacity];
    const int length = build_text_message(server.conversation, packet, "TERM", 4, false);
    const int answered =
        send_and_wait(server.endpoint, server.conversation, packet, reply, length, 1000000, 5);
    ASSERT_EQ(answered, header_bytes);
    EXPECT_EQ(packet_acknowledged(reply), 2);
    EXPECT_EQ(server.peer.heard.size(), 1u);
}

// The client's end: the receiver under test, the server scripted.
struct client_end : linked_pair {
    net_conversation conversation;
    std::vector<bytes> to_send;  // the server's datagrams, in order
    std::size_t next = 0;
    std::vector<int> acknowledged;

    client_end() : linked_pair(client_mac) {
        std::memcpy(conversation.own_mac, client_mac, mac_bytes);
        std::memcpy(conversation.peer_mac, server_mac, mac_bytes);
        conversation.seq = 4;
        conversation.peer_seq = 1;
        std::memcpy(peer.conversation.own_mac, server_mac, mac_bytes);
        std::memcpy(peer.conversation.peer_mac, client_mac, mac_bytes);
        peer.conversation.seq = 2;
        peer.conversation.peer_seq = 3;
    }
    // The server's FILE message and data packets for content, numbered on.
    void queue_file(const std::string& name, const std::string& content) {
        to_send.push_back(
            peer.message("FILE\n" + name + "\n" + std::to_string(content.size()) + "\n", false));
        for (std::size_t at = 0; at < content.size(); at += data_piece_bytes) {
            ++peer.conversation.seq;
            to_send.push_back(peer.message(content.substr(at, data_piece_bytes), false, kind_data));
        }
        ++peer.conversation.seq;
    }
    // Sends the next datagram whenever the last one is acknowledged.
    void serve() {
        peer.send_raw(to_send[next++]);
        peer.on_datagram = [this](scripted_peer& p, const heard_datagram& datagram) {
            if (!packet_has_ack(datagram.packet())) return;
            acknowledged.push_back(packet_acknowledged(datagram.packet()));
            const int current = packet_sequence(to_send[next - 1].data());
            if (packet_acknowledged(datagram.packet()) == current && next < to_send.size()) {
                p.send_raw(to_send[next++]);
            }
        };
    }
};

std::string read_all(file_receiver& receiver, int piece) {
    std::string content;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(piece));
    for (;;) {
        const int got = read_data(receiver, buffer.data(), piece);
        if (got <= 0) {
            EXPECT_EQ(got, 0);
            return content;
        }
        content.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got));
    }
}

TEST(file_receiver, files_arrive_whole_in_any_piece_size) {
    for (const int piece : {4096, 1000, 1}) {
        SCOPED_TRACE(piece);
        client_end client;
        const std::string first = pattern(1452 * 2 + 17);
        const std::string second = pattern(5);
        client.queue_file("first.vsk", first);
        client.queue_file("second.vsk", second);
        client.serve();
        file_receiver receiver(client.endpoint, client.conversation);
        ASSERT_TRUE(next_file(receiver));
        EXPECT_STREQ(receiver.name, "first.vsk");
        EXPECT_EQ(receiver.size, static_cast<std::int32_t>(first.size()));
        EXPECT_EQ(read_all(receiver, piece), first);
        ASSERT_TRUE(next_file(receiver));
        EXPECT_STREQ(receiver.name, "second.vsk");
        EXPECT_EQ(read_all(receiver, piece), second);
        client.peer.run(client.clock.time);
        EXPECT_EQ(client.acknowledged, (std::vector<int>{2, 3, 4, 5, 6, 7}));
    }
}

TEST(file_receiver, a_repeated_packet_is_acknowledged_again_and_not_handed_on_twice) {
    client_end client;
    const std::string content = pattern(1452 + 10);
    client.queue_file("p.vsk", content);
    // The first data packet comes twice, as when its acknowledgement was lost.
    client.to_send.insert(client.to_send.begin() + 2, client.to_send[1]);
    client.serve();
    file_receiver receiver(client.endpoint, client.conversation);
    ASSERT_TRUE(next_file(receiver));
    EXPECT_EQ(read_all(receiver, 4096), content);
    client.peer.run(client.clock.time);
    EXPECT_EQ(client.acknowledged, (std::vector<int>{2, 3, 3, 4}));
}

TEST(file_receiver, silence_and_strangers_end_the_wait) {
    {
        // Nothing comes: after 30 s the next file is given up.
        client_end client;
        file_receiver receiver(client.endpoint, client.conversation);
        const std::int64_t start = client.clock.time;
        EXPECT_FALSE(next_file(receiver));
        EXPECT_GT(client.clock.time - start, 30000000);
        EXPECT_LE(client.clock.time - start, 31000000);
    }
    {
        // TERM instead of a FILE message ends the files.
        client_end client;
        client.to_send.push_back(client.peer.message("TERM", false));
        client.serve();
        file_receiver receiver(client.endpoint, client.conversation);
        EXPECT_FALSE(next_file(receiver));
        EXPECT_EQ(receiver.size, 0);
        EXPECT_STREQ(receiver.name, "");
    }
    {
        // Data stops in the middle of a file.
        client_end client;
        client.queue_file("p.vsk", pattern(3000));
        client.to_send.resize(2);
        client.serve();
        file_receiver receiver(client.endpoint, client.conversation);
        ASSERT_TRUE(next_file(receiver));
        unsigned char buffer[1000];
        EXPECT_EQ(read_data(receiver, buffer, sizeof buffer), 1000);
        const std::int64_t start = client.clock.time;
        EXPECT_EQ(read_data(receiver, buffer, sizeof buffer), -1);
        EXPECT_GT(client.clock.time - start, 30000000);
    }
    {
        // A message where data is due.
        client_end client;
        client.queue_file("p.vsk", pattern(10));
        client.to_send[1] = client.peer.message("TERM", false);
        client.serve();
        file_receiver receiver(client.endpoint, client.conversation);
        ASSERT_TRUE(next_file(receiver));
        unsigned char buffer[4096];
        EXPECT_EQ(read_data(receiver, buffer, sizeof buffer), -1);
    }
}

}  // namespace
