#include "remote/file_sender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/posix_io.h"
#include "remote/exchange.h"
#include "remote/messages.h"
#include "remote/packet.h"

namespace {

constexpr int tries_per_packet = 30;
constexpr std::uint32_t message_limit = 1000000;
constexpr std::uint32_t first_data_limit = 20000;
// Waits are doubled while they are below a second: 20 ms ... 640 ms, then
// 1280 ms for every try that is left.
constexpr std::uint32_t last_doubled_limit = 999999;

bool announce_file(file_sender& sender, const char* path) {
    sender.descriptor = open(path, O_RDONLY);
    if (sender.descriptor < 0) {
        sender.console->print("FATAL ERROR: Open package failed\n");
        return false;
    }
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        sender.console->print("FATAL ERROR: Bad package name\n");
        return false;
    }
    struct stat status;
    if (fstat(sender.descriptor, &status) != 0) {
        sender.console->print("FATAL ERROR: Open package failed\n");
        return false;
    }
    sender.size = status.st_size;
    say(*sender.console, "Transfering: %s...\n", slash + 1);
    return true;
}

}  // namespace

file_sender::file_sender(net_endpoint& endpoint, net_conversation& conversation,
                         remote_console& console)
    : endpoint(&endpoint), conversation(&conversation), console(&console) {}

file_sender::~file_sender() {
    if (descriptor != -1) close(descriptor);
}

bool sender_open(file_sender& sender, const char* path_or_text, bool is_file) {
    sender.is_file = is_file;
    sender.position = 0;
    const char* name = "autorun.scr";
    if (is_file) {
        if (!announce_file(sender, path_or_text)) return false;
        name = std::strrchr(path_or_text, '/') + 1;
    } else {
        sender.text = path_or_text;
        sender.size = static_cast<std::int64_t>(sender.text.length());
        // The text travels as one piece.
        if (sender.size > max_payload_bytes) {
            sender.console->print("FATAL ERROR: Read package failed\n");
            return false;
        }
        sender.console->print("Transfering: configuration...\n");
    }
    const byte_string message = file_message_text(name, sender.size);
    if (message.length() > static_cast<std::size_t>(max_payload_bytes)) {
        sender.console->print("FATAL ERROR: Bad package name\n");
        return false;
    }
    (void)build_text_message(*sender.conversation, sender.packet, message.text(),
                             static_cast<int>(message.length()), false);
    return true;
}

int send_next(file_sender& sender, bool advance) {
    int piece = 0;
    if (advance) {
        if (sender.position == sender.size) return 0;
        unsigned char* payload = sender.packet + header_bytes;
        if (sender.is_file) {
            const std::int64_t left = sender.size - sender.position;
            const std::size_t wanted =
                left < data_piece_bytes ? static_cast<std::size_t>(left) : data_piece_bytes;
            const ssize_t got = read_all(sender.descriptor, payload, wanted);
            // A file that ends before its size cannot be sent as announced.
            if (got != static_cast<ssize_t>(wanted)) return -1;
            piece = static_cast<int>(got);
        } else {
            piece = static_cast<int>(sender.size);
            std::memcpy(payload, sender.text.text(), static_cast<std::size_t>(piece));
        }
        sender.position += piece;
        ++sender.conversation->seq;
        build_header(*sender.conversation, sender.packet, static_cast<std::uint16_t>(piece), false,
                     kind_data);
    }
    const std::size_t length = header_bytes + packet_length(sender.packet);
    // A send that fails shows as a missing acknowledgement and is tried again.
    (void)send_datagram(*sender.endpoint, sender.packet, length);
    return piece;
}

bool transfer_file(file_sender& sender) {
    unsigned char reply[datagram_capacity];
    int tries = tries_per_packet;
    bool advance = false;
    bool announced = false;
    std::uint32_t limit = message_limit;
    for (;;) {
        if (advance) tries = tries_per_packet;
        const int sent = send_next(sender, advance);
        if (sent < 0) {
            sender.console->print("FATAL ERROR: Read package failed\n");
            return false;
        }
        if (advance && sent == 0) return true;
        if (!announced) limit = message_limit;
        if (wait_reply(*sender.endpoint, *sender.conversation, reply, limit) >= 0) {
            advance = true;
            limit = first_data_limit;
            announced = true;
            continue;
        }
        if (--tries == 0) {
            sender.console->print("FATAL ERROR: Installation timeout\n");
            return false;
        }
        advance = false;
        if (limit <= last_doubled_limit) limit *= 2;
    }
}
