#include "remote/endpoint.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

net_endpoint::~net_endpoint() {
    if (socket > 0) close(socket);
}

namespace {

void fill_request(ifreq& request, const char* interface_name) {
    std::memset(&request, 0, sizeof request);
    std::strncpy(request.ifr_name, interface_name, IFNAMSIZ - 1);
}

// An interface without an IPv4 address gets 0.0.0.0, so that it can send
// and receive broadcasts before anyone has configured it.
bool ensure_address(int socket, const char* interface_name) {
    ifreq request;
    fill_request(request, interface_name);
    if (ioctl(socket, SIOCGIFADDR, &request) == 0) return true;
    fill_request(request, interface_name);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    std::memcpy(&request.ifr_addr, &any, sizeof any);
    return ioctl(socket, SIOCSIFADDR, &request) == 0;
}

// The kernel hands every broadcast back to the sending host, so each packet
// of a transfer would wake its own sender once more and each
// acknowledgement its own receiver: twice the wake-ups of a transfer,
// which a stop-and-wait protocol pays in throughput. A socket filter drops
// the datagrams whose header names this interface as their source (the
// conversation rejects them anyway) before they wake anyone. The filter
// sees the UDP header at offset 0; shorter datagrams are let through for
// the receive operations to reject.
bool ignore_own_datagrams(int socket, const unsigned char* mac) {
    const std::uint32_t head = (std::uint32_t{mac[0]} << 24) | (std::uint32_t{mac[1]} << 16) |
                               (std::uint32_t{mac[2]} << 8) | mac[3];
    const std::uint32_t tail = (std::uint32_t{mac[4]} << 8) | mac[5];
    constexpr std::uint32_t udp_header = 8;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, udp_header + mac_bytes, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, udp_header),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, head, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, udp_header + 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, tail, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return setsockopt(socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

}  // namespace

bool open_endpoint(net_endpoint& endpoint, const char* interface_name, std::uint16_t port) {
    endpoint.socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (endpoint.socket < 0) return false;
    const int on = 1;
    if (setsockopt(endpoint.socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return false;
    if (setsockopt(endpoint.socket, SOL_SOCKET, SO_BINDTODEVICE, interface_name,
                   static_cast<socklen_t>(std::strlen(interface_name) + 1)) != 0) {
        return false;
    }
    ifreq request;
    fill_request(request, interface_name);
    if (ioctl(endpoint.socket, SIOCGIFFLAGS, &request) != 0) return false;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING | IFF_PROMISC);
    if (ioctl(endpoint.socket, SIOCSIFFLAGS, &request) != 0) return false;
    if (!ensure_address(endpoint.socket, interface_name)) return false;
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_addr.s_addr = htonl(INADDR_ANY);
    own.sin_port = htons(port);
    if (bind(endpoint.socket, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0) {
        return false;
    }
    if (!ignore_own_datagrams(endpoint.socket, endpoint.mac)) return false;
    std::memset(&endpoint.destination, 0, sizeof endpoint.destination);
    endpoint.destination.sin_family = AF_INET;
    endpoint.destination.sin_port = htons(port);
    endpoint.destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return true;
}

long send_datagram(net_endpoint& endpoint, const void* bytes, std::size_t length) {
    if (endpoint.destination.sin_family != AF_INET) {
        return send(endpoint.socket, bytes, length, 0);
    }
    return sendto(endpoint.socket, bytes, length, 0,
                  reinterpret_cast<const sockaddr*>(&endpoint.destination),
                  sizeof endpoint.destination);
}

int receive_datagram(net_endpoint& endpoint, unsigned char* buffer) {
    std::memset(&endpoint.source, 0, sizeof endpoint.source);
    socklen_t source_length = sizeof endpoint.source;
    const ssize_t got = recvfrom(endpoint.socket, buffer, datagram_capacity, 0,
                                 reinterpret_cast<sockaddr*>(&endpoint.source), &source_length);
    if (got < 0) return -1;
    // Only the port tells a datagram of the protocol from other broadcasts;
    // the sender's IP address means nothing on an unconfigured segment. A
    // socket pair's peer has no port to check.
    if (endpoint.source.sin_family == AF_INET && endpoint.source.sin_port != htons(protocol_port)) {
        return -1;
    }
    return static_cast<int>(got);
}

int receive_within(net_endpoint& endpoint, unsigned char* buffer, std::uint32_t limit) {
    if (endpoint.clock->wait_readable(endpoint.socket, limit) <= 0) return -1;
    return receive_datagram(endpoint, buffer);
}

int receive_or_key(net_endpoint& endpoint, unsigned char* buffer) {
    switch (endpoint.clock->wait_datagram_or_key(endpoint.socket)) {
        case wait_key:
            return -2;
        case wait_interrupted:
            return -1;
        case wait_datagram: {
            // An empty datagram is rejected rather than taken for a failed
            // wait, which would end the conversation.
            const int got = receive_datagram(endpoint, buffer);
            return got == 0 ? -1 : got;
        }
        default:
            return 0;
    }
}

const char* mac_text(const unsigned char* mac) {
    static char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}
