#include "remote/conversation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "remote/packet.h"
#include "remote_fixture.h"

namespace {

using remote_test::bytes;
using remote_test::client_mac;
using remote_test::server_mac;
using remote_test::third_mac;

TEST(conversation, header_layout) {
    net_conversation conversation;
    std::memcpy(conversation.own_mac, server_mac, mac_bytes);
    std::memcpy(conversation.peer_mac, client_mac, mac_bytes);
    conversation.seq = 0x1234;
    conversation.peer_seq = 0xBEEF;
    unsigned char packet[header_bytes];
    std::memset(packet, 0xAA, sizeof packet);

    build_header(conversation, packet, 0x0102, true, kind_data);
    const bytes with_ack(packet, packet + header_bytes);
    EXPECT_EQ(with_ack, (bytes{0x02, 0,    0, 0, 0, 0x01,  // source: own address
                               0x02, 0,    0, 0, 0, 0x02,  // destination: the peer
                               0x01, 0x01,                 // ACK, file data
                               0x02, 0x01,                 // length, little-endian
                               0x34, 0x12,                 // seq
                               0xEF, 0xBE}));              // peer_seq acknowledged

    // Without ACK the acknowledged field is 0, and building never advances seq.
    build_header(conversation, packet, 5, false, kind_message);
    EXPECT_EQ(packet[flags_offset], 0);
    EXPECT_EQ(packet[kind_offset], 0);
    EXPECT_EQ(packet_length(packet), 5);
    EXPECT_EQ(packet_acknowledged(packet), 0);
    EXPECT_EQ(packet_sequence(packet), 0x1234);
    EXPECT_EQ(conversation.seq, 0x1234);

    reset(conversation);
    EXPECT_EQ(conversation.seq, 1);
    EXPECT_EQ(conversation.peer_seq, 0);
    EXPECT_EQ(std::memcmp(conversation.peer_mac, client_mac, mac_bytes), 0);
}

struct datagram {
    const unsigned char* source = client_mac;
    const unsigned char* destination = server_mac;
    bool ack = false;
    std::uint16_t sequence = 6;
    std::uint16_t acknowledged = 0;
    std::string payload = "TERM";
    int length_change = 0;  // received length against the header's

    bytes build() const {
        bytes packet(header_bytes + payload.size());
        std::memcpy(packet.data() + source_offset, source, mac_bytes);
        std::memcpy(packet.data() + destination_offset, destination, mac_bytes);
        packet[flags_offset] = ack ? flag_ack : 0;
        store_u16(packet.data() + length_offset, static_cast<std::uint16_t>(payload.size()));
        store_u16(packet.data() + sequence_offset, sequence);
        store_u16(packet.data() + acknowledged_offset, acknowledged);
        std::memcpy(packet.data() + header_bytes, payload.data(), payload.size());
        return packet;
    }
};

TEST(conversation, accept_message_rules) {
    const unsigned char zero[mac_bytes] = {};
    // The server's state in the middle of a conversation: seq 9, the
    // client's message 5 accepted last.
    const struct {
        const char* name;
        datagram sent;
        bool peer_known;
        int received;  // 0: the datagram's own length
        bool accepted;
        std::uint16_t peer_seq_after;
        std::uint16_t peer_seq_before = 5;
    } cases[] = {
        {"next message in order", {}, true, 0, true, 6},
        {"failed receive", {}, true, -1, false, 5},
        {"shorter than a header", {}, true, 19, false, 5},
        {"length field says more than came", {.length_change = -1}, true, 0, false, 5},
        {"length field says less than came", {.length_change = 1}, true, 0, false, 5},
        {"own broadcast heard", {.source = server_mac}, true, 0, false, 5},
        {"to another station", {.destination = third_mac}, true, 0, false, 5},
        {"to any station once the peer is known", {.destination = zero}, true, 0, false, 5},
        {"to any station before a peer is known", {.destination = zero}, false, 0, true, 6},
        {"a third station", {.source = third_mac}, true, 0, false, 5},
        {"a third station before a peer is known", {.source = third_mac}, false, 0, true, 6},
        {"acknowledges the own seq", {.ack = true, .acknowledged = 9}, true, 0, true, 6},
        {"acknowledges above the own seq", {.ack = true, .acknowledged = 10}, true, 0, false, 5},
        {"a stale acknowledged field without ACK", {.acknowledged = 10}, true, 0, true, 6},
        {"a repeat of the last message", {.sequence = 5}, true, 0, false, 5},
        {"a message skipped", {.sequence = 7}, true, 0, false, 5},
        {"an acknowledgement is in order at any number",
         {.ack = true, .sequence = 40, .acknowledged = 9, .payload = ""},
         true,
         0,
         true,
         5},
        {"after 65535 nothing more", {.sequence = 0}, true, 0, false, 65535, 65535},
        {"65535 itself is taken", {.sequence = 65535}, true, 0, true, 65535, 65534},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        net_conversation conversation;
        std::memcpy(conversation.own_mac, server_mac, mac_bytes);
        if (c.peer_known) std::memcpy(conversation.peer_mac, client_mac, mac_bytes);
        conversation.seq = 9;
        conversation.peer_seq = c.peer_seq_before;
        bytes packet = c.sent.build();
        int received = c.received != 0 ? c.received : static_cast<int>(packet.size());
        if (c.sent.length_change != 0) {
            store_u16(packet.data() + length_offset,
                      static_cast<std::uint16_t>(c.sent.payload.size() - c.sent.length_change));
        }
        EXPECT_EQ(accept_message(conversation, packet.data(), received), c.accepted);
        EXPECT_EQ(conversation.peer_seq, c.peer_seq_after);
    }
}

TEST(conversation, repeats_are_told_from_new_and_foreign_messages) {
    net_conversation conversation;
    std::memcpy(conversation.own_mac, client_mac, mac_bytes);
    std::memcpy(conversation.peer_mac, server_mac, mac_bytes);
    conversation.peer_seq = 7;
    const datagram repeat{.source = server_mac, .destination = client_mac, .sequence = 7};
    bytes packet = repeat.build();
    const int length = static_cast<int>(packet.size());
    EXPECT_TRUE(repeats_last_message(conversation, packet.data(), length));
    EXPECT_FALSE(repeats_last_message(conversation, packet.data(), -1));
    EXPECT_FALSE(repeats_last_message(conversation, packet.data(), length - 1));
    const datagram next{.source = server_mac, .destination = client_mac, .sequence = 8};
    EXPECT_FALSE(repeats_last_message(conversation, next.build().data(), length));
    const datagram foreign{.source = third_mac, .destination = client_mac, .sequence = 7};
    EXPECT_FALSE(repeats_last_message(conversation, foreign.build().data(), length));
}

}  // namespace
