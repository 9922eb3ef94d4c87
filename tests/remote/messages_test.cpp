#include "remote/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "remote/packet.h"
#include "remote_fixture.h"

namespace {

using remote_test::bytes;
using remote_test::client_mac;
using remote_test::server_mac;

// A datagram from the client to any station, as a server hears it.
bytes from_client(const std::string& payload, const unsigned char* destination = nullptr,
                  std::uint16_t acknowledged = 0, unsigned char kind = kind_message) {
    net_conversation client;
    std::memcpy(client.own_mac, client_mac, mac_bytes);
    if (destination != nullptr) std::memcpy(client.peer_mac, destination, mac_bytes);
    bytes packet(header_bytes + payload.size());
    build_header(client, packet.data(), static_cast<std::uint16_t>(payload.size()), false, kind);
    store_u16(packet.data() + acknowledged_offset, acknowledged);
    std::memcpy(packet.data() + header_bytes, payload.data(), payload.size());
    return packet;
}

// An offer from the server to the client: ACK of its message 1 by default.
bytes offer(const std::string& payload, const unsigned char* destination = client_mac,
            std::uint16_t acknowledged = 1, unsigned char kind = kind_message) {
    net_conversation server;
    std::memcpy(server.own_mac, server_mac, mac_bytes);
    std::memcpy(server.peer_mac, destination, mac_bytes);
    server.peer_seq = acknowledged;
    bytes packet(header_bytes + payload.size());
    build_header(server, packet.data(), static_cast<std::uint16_t>(payload.size()), true, kind);
    std::memcpy(packet.data() + header_bytes, payload.data(), payload.size());
    return packet;
}

std::string with_zero(const std::string& text) {
    return text + std::string(1, '\0');
}

TEST(messages, discovery_text_round_trip) {
    const byte_string text = discovery_text("id", "", "lab");
    EXPECT_EQ(std::string(text.data(), text.length()), with_zero("DSCV\nid\n\nlab\n"));
    // Fields longer than a discovery carries are cut, so the text stays valid.
    const std::string long_label(40, 'x');
    const byte_string cut = discovery_text("id", "op", long_label.c_str());
    discovery found;
    const bytes packet = from_client(std::string(cut.data(), cut.length()));
    ASSERT_TRUE(parse_discovery(packet.data(), static_cast<int>(packet.size()), found));
    EXPECT_EQ(std::string(found.label), std::string(31, 'x'));
    EXPECT_EQ(std::string(found.identifier), "id");
    EXPECT_EQ(std::string(found.opaque), "op");
}

TEST(messages, discovery_conditions) {
    const std::string line31(31, 'a');
    const std::string line32(32, 'a');
    const struct {
        const char* name;
        bytes packet;
        bool valid;
    } cases[] = {
        {"a plain discovery", from_client(with_zero("DSCV\nrouter\n\nbench\n")), true},
        {"lines of 31 characters",
         from_client(with_zero("DSCV\n" + line31 + "\n" + line31 + "\n" + line31 + "\n")), true},
        {"without the zero byte", from_client("DSCV\nrouter\n\nbench\n"), true},
        {"a label of 32 characters", from_client(with_zero("DSCV\nid\n\n" + line32 + "\n")), false},
        {"an identifier of 32 characters",
         from_client(with_zero("DSCV\n" + line32 + "\n\nbench\n")), false},
        {"the label without its line break", from_client(with_zero("DSCV\nid\n\nbench")), false},
        {"two lines only", from_client(with_zero("DSCV\nid\nbench\n")), false},
        {"another tag", from_client(with_zero("DSCX\nid\n\nbench\n")), false},
        {"a tag cut short", from_client("DSC"), false},
        {"addressed to one station", from_client(with_zero("DSCV\nid\n\nb\n"), server_mac), false},
        {"acknowledging something", from_client(with_zero("DSCV\nid\n\nb\n"), nullptr, 1), false},
        {"file data", from_client(with_zero("DSCV\nid\n\nb\n"), nullptr, 0, kind_data), false},
        {"a zero byte inside a line", from_client(std::string("DSCV\nid\0x\n\nb\n", 13)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        discovery found;
        EXPECT_EQ(parse_discovery(c.packet.data(), static_cast<int>(c.packet.size()), found),
                  c.valid);
    }
    // The length received must be the header's.
    discovery found;
    const bytes packet = from_client(with_zero("DSCV\nid\n\nb\n"));
    EXPECT_FALSE(parse_discovery(packet.data(), static_cast<int>(packet.size()) - 1, found));
}

TEST(messages, offer_conditions) {
    const unsigned char zero[mac_bytes] = {};
    const std::string opaque512(512, 'o');
    const struct {
        const char* name;
        bytes packet;
        bool valid;
        bool keep;
    } cases[] = {
        {"a plain offer", offer(with_zero("OFFR\n\n")), true, false},
        {"keep", offer(with_zero("OFFR\nop\nkeep\n")), true, true},
        {"a third line that only begins with keep", offer(with_zero("OFFR\nop\nkeeper\n")), true,
         false},
        {"keep without its line break", offer(with_zero("OFFR\nop\nkeep")), true, false},
        {"an opaque line of 512 characters", offer(with_zero("OFFR\n" + opaque512 + "\n")), true,
         false},
        {"an opaque line of 513 characters", offer(with_zero("OFFR\n" + opaque512 + "o\n")), false,
         false},
        {"the opaque line without its line break", offer(with_zero("OFFR\nop")), false, false},
        {"to any station", offer(with_zero("OFFR\n\n"), zero), false, false},
        {"to another station", offer(with_zero("OFFR\n\n"), server_mac), false, false},
        {"acknowledging another number", offer(with_zero("OFFR\n\n"), client_mac, 2), false, false},
        {"file data", offer(with_zero("OFFR\n\n"), client_mac, 1, kind_data), false, false},
        {"another tag", offer(with_zero("YACK\n\n")), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        net_conversation client;
        std::memcpy(client.own_mac, client_mac, mac_bytes);
        char opaque[offer_opaque_limit];
        bool keep = !c.keep;
        EXPECT_EQ(parse_offer(client, c.packet.data(), static_cast<int>(c.packet.size()), opaque,
                              sizeof opaque, keep),
                  c.valid);
        if (c.valid) {
            EXPECT_EQ(keep, c.keep);
        }
    }
}

TEST(messages, offer_opaque_line_is_cut_to_its_buffer) {
    // 512 characters is a valid offer, but a 512-byte buffer holds 511 and
    // the zero byte; nothing may land behind it.
    const std::string opaque512(512, 'o');
    const bytes packet = offer(with_zero("OFFR\n" + opaque512 + "\nkeep\n"));
    net_conversation client;
    std::memcpy(client.own_mac, client_mac, mac_bytes);
    struct {
        char opaque[offer_opaque_limit];
        char guard[16];
    } buffers;
    std::memset(buffers.guard, 'G', sizeof buffers.guard);
    bool keep = false;
    ASSERT_TRUE(parse_offer(client, packet.data(), static_cast<int>(packet.size()), buffers.opaque,
                            sizeof buffers.opaque, keep));
    EXPECT_TRUE(keep);
    EXPECT_EQ(std::string(buffers.opaque), std::string(511, 'o'));
    EXPECT_EQ(std::string(buffers.guard, sizeof buffers.guard), std::string(16, 'G'));
}

TEST(messages, file_message_parser) {
    const std::string name79(79, 'n');
    const std::string name100(100, 'n');
    const struct {
        const char* name;
        std::string payload;
        bool valid;
        std::string file_name;
        std::int32_t size;
    } cases[] = {
        {"a package", "FILE\nbase-system-1.0.vsk\n12345\n", true, "base-system-1.0.vsk", 12345},
        {"an empty file", "FILE\nautorun.scr\n0\n", true, "autorun.scr", 0},
        {"the largest size", "FILE\nx\n2147483647\n", true, "x", 2147483647},
        {"a size beyond 31 bits", "FILE\nx\n2147483648\n", false, "", 0},
        {"a size beyond 32 bits", "FILE\nx\n99999999999999999999\n", false, "", 0},
        {"a negative size", "FILE\nx\n-1\n", false, "", 0},
        {"a size without digits", "FILE\nx\n\n", false, "", 0},
        {"a size of letters", "FILE\nx\nabc\n", false, "", 0},
        {"a size line without its end", "FILE\nx\n12", false, "", 0},
        {"no size line", "FILE\nx\n", false, "", 0},
        {"no name line", "FILE\n", false, "", 0},
        {"another tag", "TERM", false, "", 0},
        {"a name of 79 characters", "FILE\n" + name79 + "\n1\n", true, name79, 1},
        {"a name longer than its buffer", "FILE\n" + name100 + "\n1\n", true, name79, 1},
        {"a zero byte in the name", std::string("FILE\na\0b\n1\n", 11), false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        struct {
            char name[file_name_bytes];
            char guard[16];
        } buffers;
        std::memset(buffers.name, 'x', sizeof buffers.name);
        std::memset(buffers.guard, 'G', sizeof buffers.guard);
        std::int32_t size = -5;
        EXPECT_EQ(parse_file_message(reinterpret_cast<const unsigned char*>(c.payload.data()),
                                     static_cast<int>(c.payload.size()), buffers.name, size),
                  c.valid);
        EXPECT_EQ(std::string(buffers.name), c.file_name);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(std::string(buffers.guard, sizeof buffers.guard), std::string(16, 'G'));
    }
    // The parser reads only what it is given, not up to a later line break.
    const std::string text = "FILE\nx\n12\n";
    char name[file_name_bytes];
    std::int32_t size = 0;
    EXPECT_FALSE(parse_file_message(reinterpret_cast<const unsigned char*>(text.data()),
                                    static_cast<int>(text.size()) - 1, name, size));
}

}  // namespace
