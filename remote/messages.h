#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_string.h"
#include "remote/conversation.h"

// The texts of the protocol's messages and the rules by which each end
// takes one it received. Every parser looks only inside the received bytes
// and never writes past the buffers it is given.

// Identifier, opaque text and label of a discovery: at most 31 characters.
inline constexpr std::size_t discovery_field_bytes = 32;
// The offer's opaque line may be this long.
inline constexpr std::size_t offer_opaque_limit = 512;
// A FILE message's name is kept in this many bytes.
inline constexpr std::size_t file_name_bytes = 80;

struct discovery {
    char identifier[discovery_field_bytes] = {};
    char opaque[discovery_field_bytes] = {};
    char label[discovery_field_bytes] = {};
};

// "DSCV\n" identifier "\n" opaque "\n" label "\n" and its zero byte (the
// fields as given, each cut to 31 characters).
[[nodiscard]] byte_string discovery_text(const char* identifier, const char* opaque,
                                         const char* label);
// "OFFR\n" opaque "\n", "keep\n" when asked, and the zero byte.
[[nodiscard]] byte_string offer_text(const char* opaque, bool keep);
// "FILE\n" name "\n" size "\n".
[[nodiscard]] byte_string file_message_text(const char* name, std::int64_t size);

// A router announcing itself: to any station, acknowledging nothing, kind 0,
// "DSCV" and three lines each ended by "\n" and at most 31 characters.
[[nodiscard]] bool parse_discovery(const unsigned char* packet, int received, discovery& found);

// An offer to this end, after a fresh reset: addressed to own_mac itself,
// acknowledging the own seq, kind 0, "OFFR" and an opaque line ended by "\n"
// of at most 512 characters. The opaque line is copied into opaque, cut to
// capacity - 1; keep is set by a third line that is exactly "keep".
[[nodiscard]] bool parse_offer(const net_conversation& conversation, const unsigned char* packet,
                               int received, char* opaque, std::size_t capacity, bool& keep);

// "FILE" "\n" name "\n" size "\n" in a payload of length bytes: name (cut to
// file_name_bytes - 1) and size. A size line that is not all decimal digits,
// or beyond the largest signed 32-bit number, is refused.
[[nodiscard]] bool parse_file_message(const unsigned char* payload, int length,
                                      char (&name)[file_name_bytes], std::int32_t& size);
