#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "remote/conversation.h"
#include "remote/endpoint.h"
#include "remote/remote_host.h"

// Pushes one file, or one in-memory text, through the conversation: a FILE
// message, then the content in pieces of at most 1452 bytes, each sent
// until it is acknowledged. The one packet buffer is all that is held.
class file_sender {
public:
    file_sender(net_endpoint& endpoint, net_conversation& conversation, remote_console& console);
    file_sender(const file_sender&) = delete;
    file_sender& operator=(const file_sender&) = delete;
    // Closes the file.
    ~file_sender();

    bool is_file = false;
    int descriptor = -1;
    byte_string text;
    std::int64_t size = 0;
    std::int64_t position = 0;
    net_endpoint* endpoint;
    net_conversation* conversation;
    remote_console* console;
    unsigned char packet[datagram_capacity] = {};
};

// Opens the file at path (is_file) or takes the text, announces it with
// "Transfering: ...", and builds the FILE message with the current seq;
// nothing is sent yet. A file goes by its base name; a text is
// "autorun.scr" and must fit in one packet.
[[nodiscard]] bool sender_open(file_sender& sender, const char* path_or_text, bool is_file);
// With advance, the next piece (seq advanced first; 0 and nothing sent once
// the content is all out); without it the packet in the buffer again. The
// piece's length, 0, or -1 when the file cannot be read.
[[nodiscard]] int send_next(file_sender& sender, bool advance);
// Sends the FILE message and every piece, each until acknowledged: 1 s
// waits for the FILE message, 20 ms doubling to 1280 ms for a piece, 30
// sends each. False, with its message, on a read error or a time-out.
[[nodiscard]] bool transfer_file(file_sender& sender);
