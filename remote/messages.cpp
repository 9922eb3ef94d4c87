#include "remote/messages.h"

#include <cstring>

#include "base/format_text.h"
#include "remote/packet.h"

namespace {

// One line of a payload: the bytes from start up to (not including) the
// next "\n". Lines that run off the payload's end are not lines.
struct line_span {
    const unsigned char* start = nullptr;
    std::size_t length = 0;
};

class line_reader {
public:
    line_reader(const unsigned char* payload, int length)
        : next_(payload), end_(payload + (length > 0 ? length : 0)) {}

    // The next line ended by "\n", or false when there is none. A line
    // holding a zero byte is no line: the texts of the protocol are C text.
    bool next(line_span& line) {
        const void* found = std::memchr(next_, '\n', static_cast<std::size_t>(end_ - next_));
        if (found == nullptr) return false;
        const unsigned char* stop = static_cast<const unsigned char*>(found);
        line.start = next_;
        line.length = static_cast<std::size_t>(stop - next_);
        next_ = stop + 1;
        return std::memchr(line.start, 0, line.length) == nullptr;
    }

private:
    const unsigned char* next_;
    const unsigned char* end_;
};

bool begins_with(const unsigned char* payload, int length, const char* tag) {
    const std::size_t tag_length = std::strlen(tag);
    return length >= 0 && static_cast<std::size_t>(length) >= tag_length &&
           std::memcmp(payload, tag, tag_length) == 0;
}

// Copies the line as text into a buffer of capacity bytes, cut to fit.
void copy_line(const line_span& line, char* destination, std::size_t capacity) {
    if (capacity == 0) return;
    const std::size_t length = line.length < capacity - 1 ? line.length : capacity - 1;
    std::memcpy(destination, line.start, length);
    destination[length] = 0;
}

// The text cut to the 31 characters a discovery field can carry.
byte_string field(const char* text) {
    const std::size_t length = std::strlen(text);
    const std::size_t limit = discovery_field_bytes - 1;
    return byte_string(text, length < limit ? length : limit);
}

bool read_decimal(const line_span& line, std::int32_t& value) {
    if (line.length == 0) return false;
    std::int64_t number = 0;
    for (std::size_t i = 0; i < line.length; ++i) {
        const unsigned char c = line.start[i];
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
        if (number > INT32_MAX) return false;
    }
    value = static_cast<std::int32_t>(number);
    return true;
}

}  // namespace

byte_string discovery_text(const char* identifier, const char* opaque, const char* label) {
    byte_string text("DSCV\n");
    text.append(field(identifier)).append("\n");
    text.append(field(opaque)).append("\n");
    text.append(field(label)).append("\n");
    text.push_back(0);
    return text;
}

byte_string offer_text(const char* opaque, bool keep) {
    byte_string text("OFFR\n");
    text.append(opaque).append("\n");
    if (keep) text.append("keep\n");
    text.push_back(0);
    return text;
}

byte_string file_message_text(const char* name, std::int64_t size) {
    return format_text("%s\n%s\n%lld\n", "FILE", name, static_cast<long long>(size));
}

bool parse_discovery(const unsigned char* packet, int received, discovery& found) {
    if (!packet_is_whole(packet, received)) return false;
    if (!is_zero_mac(packet_destination(packet)) || packet_acknowledged(packet) != 0 ||
        packet_kind(packet) != kind_message) {
        return false;
    }
    const int length = packet_length(packet);
    if (!begins_with(packet_payload(packet), length, "DSCV")) return false;
    line_reader lines(packet_payload(packet), length);
    line_span tag;
    line_span fields[3];
    if (!lines.next(tag)) return false;
    for (line_span& line : fields) {
        if (!lines.next(line) || line.length >= discovery_field_bytes) return false;
    }
    copy_line(fields[0], found.identifier, sizeof found.identifier);
    copy_line(fields[1], found.opaque, sizeof found.opaque);
    copy_line(fields[2], found.label, sizeof found.label);
    return true;
}

bool parse_offer(const net_conversation& conversation, const unsigned char* packet, int received,
                 char* opaque, std::size_t capacity, bool& keep) {
    if (!packet_is_whole(packet, received)) return false;
    if (!same_mac(packet_destination(packet), conversation.own_mac) ||
        is_zero_mac(packet_destination(packet)) ||
        packet_acknowledged(packet) != conversation.seq || packet_kind(packet) != kind_message) {
        return false;
    }
    const int length = packet_length(packet);
    if (!begins_with(packet_payload(packet), length, "OFFR")) return false;
    line_reader lines(packet_payload(packet), length);
    line_span tag;
    line_span offered;
    if (!lines.next(tag) || !lines.next(offered) || offered.length > offer_opaque_limit) {
        return false;
    }
    copy_line(offered, opaque, capacity);
    line_span third;
    keep = lines.next(third) && third.length == 4 && std::memcmp(third.start, "keep", 4) == 0;
    return true;
}

bool parse_file_message(const unsigned char* payload, int length, char (&name)[file_name_bytes],
                        std::int32_t& size) {
    name[0] = 0;
    size = 0;
    if (!begins_with(payload, length, "FILE")) return false;
    line_reader lines(payload, length);
    line_span tag;
    line_span named;
    line_span sized;
    if (!lines.next(tag) || !lines.next(named) || !lines.next(sized)) return false;
    std::int32_t value = 0;
    if (!read_decimal(sized, value)) return false;
    copy_line(named, name, sizeof name);
    size = value;
    return true;
}
