#pragma once

#include <cstdint>

#include "remote/conversation.h"
#include "remote/endpoint.h"

// Waits up to limit microseconds for the peer's answer to the own current
// message: an accepted datagram that acknowledges seq, or any accepted
// datagram that is not an acknowledgement. Acknowledgements of older
// messages are consumed on the way. The reply's length, or -1.
[[nodiscard]] int wait_reply(net_endpoint& endpoint, net_conversation& conversation,
                             unsigned char* reply, std::uint32_t limit);

// Sends the packet (length bytes) and waits for its reply, up to tries
// times with limit microseconds each. The reply's length, or -1 when none
// came or a send fell short.
[[nodiscard]] int send_and_wait(net_endpoint& endpoint, net_conversation& conversation,
                                const unsigned char* packet, unsigned char* reply, int length,
                                std::uint32_t limit, int tries);

// The one-time messages of the protocol, each built with the conversation's
// current numbers into packet (datagram_capacity bytes); they return the
// datagram's length.
int build_acknowledgement(const net_conversation& conversation, unsigned char* packet);
int build_text_message(const net_conversation& conversation, unsigned char* packet,
                       const char* text, int length, bool ack);
// Sends one acknowledgement of peer_seq; false when it did not go out whole.
bool send_acknowledgement(net_endpoint& endpoint, const net_conversation& conversation);
