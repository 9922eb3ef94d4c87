#pragma once

#include <cstdint>

#include "remote/conversation.h"
#include "remote/endpoint.h"
#include "remote/messages.h"

// The client's side of the file transfer: takes FILE messages and the data
// packets after them, acknowledging each, and hands the content on piece by
// piece. Repeats (their acknowledgement was lost) are acknowledged again
// and never handed on twice.
class file_receiver {
public:
    file_receiver(net_endpoint& endpoint, net_conversation& conversation);
    file_receiver(const file_receiver&) = delete;
    file_receiver& operator=(const file_receiver&) = delete;

    char name[file_name_bytes] = {};
    std::int32_t size = 0;
    std::int32_t chunk = 0;
    std::int32_t delivered = 0;
    std::int32_t offset = 0;
    unsigned char packet[datagram_capacity] = {};
    net_endpoint* endpoint;
    net_conversation* conversation;
};

// Waits (up to 30 s of silence) for the next FILE message and takes its
// name and size. False when none came, when something else came (the
// server's TERM ends the files this way) or when it could not be read.
[[nodiscard]] bool next_file(file_receiver& receiver);
// Up to count bytes of the current file into buffer: how many, 0 at its
// end, or -1 when the next data packet does not come within 30 s or
// something other than data comes.
[[nodiscard]] int read_data(file_receiver& receiver, unsigned char* buffer, int count);
