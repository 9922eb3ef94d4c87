#include "remote/packet.h"

#include <cstring>

bool payload_begins(const unsigned char* packet, int received, const char* tag) {
    if (!packet_is_whole(packet, received)) return false;
    const std::size_t length = std::strlen(tag);
    return packet_length(packet) >= length && std::memcmp(packet_payload(packet), tag, length) == 0;
}
