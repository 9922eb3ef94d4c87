#include "remote/install_client.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "base/file_streams.h"
#include "base/posix_io.h"
#include "remote/exchange.h"
#include "remote/messages.h"
#include "remote/packet.h"

namespace {

constexpr std::uint32_t discovery_pause = 1000000;
// Interfaces that appear late (a driver still settling) are found by
// listing them again now and then.
constexpr int relist_cycles = 60;
constexpr std::uint32_t reply_limit = 1000000;
constexpr int acceptance_tries = 5;
constexpr int start_tries = 5;
constexpr int term_tries = 5;
constexpr std::uint32_t closing_limit = 100000;
constexpr int closing_tries = 5;

constexpr const char* default_label = "tarnvale";

// Sends the discovery on every interface, each from its own address to
// any station; false when one cannot be sent.
bool announce(install_client& client, const byte_string& text) {
    unsigned char packet[datagram_capacity];
    for (std::uint32_t i = 0; i < client.interfaces.count(); ++i) {
        net_endpoint& endpoint = client.interfaces.at(i);
        reset(client.conversation);
        copy_mac(client.conversation.own_mac, endpoint.mac);
        const int length = build_text_message(client.conversation, packet, text.data(),
                                              static_cast<int>(text.length()), false);
        if (send_datagram(endpoint, packet, static_cast<std::size_t>(length)) != length) {
            return false;
        }
    }
    return true;
}

// Reads everything waiting on every interface and takes the first valid
// offer: the server becomes the peer and its interface the server's.
bool take_offer(install_client& client, char* offered, std::size_t capacity, bool& keep) {
    unsigned char packet[datagram_capacity];
    net_conversation& conversation = client.conversation;
    for (std::uint32_t i = 0; i < client.interfaces.count(); ++i) {
        net_endpoint& endpoint = client.interfaces.at(i);
        for (;;) {
            const int received = receive_within(endpoint, packet, 0);
            if (received < 0) break;
            reset(conversation);
            copy_mac(conversation.own_mac, endpoint.mac);
            if (!accept_message(conversation, packet, received) ||
                !parse_offer(conversation, packet, received, offered, capacity, keep)) {
                continue;
            }
            copy_mac(conversation.peer_mac, packet_source(packet));
            ++conversation.seq;
            client.server_endpoint = &endpoint;
            return true;
        }
    }
    return false;
}

// Announces and listens, a second apart, until an offer comes; false when
// an announcement cannot be sent.
bool discover(install_client& client, const byte_string& text, char* offered, std::size_t capacity,
              bool& keep) {
    for (int cycle = 1;; ++cycle) {
        keep = false;
        clear_mac(client.conversation.peer_mac);
        client.server_endpoint = nullptr;
        if (!announce(client, text)) return false;
        client.interfaces.clock->sleep(discovery_pause);
        if (take_offer(client, offered, capacity, keep)) return true;
        if (cycle % relist_cycles == 0) {
            client.interfaces.clear();
            client.lister(client.interfaces);
        }
    }
}

bool send_term(install_client& client, std::uint32_t limit, int tries) {
    unsigned char packet[header_bytes + 4];
    unsigned char reply[datagram_capacity];
    const int length = build_text_message(client.conversation, packet, "TERM", 4, false);
    return send_and_wait(*client.server_endpoint, client.conversation, packet, reply, length, limit,
                         tries) >= 0;
}

bool is_configuration_script(const char* name) {
    const std::size_t length = std::strlen(name);
    return length > 4 && std::strcmp(name + length - 4, ".scr") == 0;
}

// The configuration script into the new root, under the name the server
// gave it. The name must not lead out of the root. False after its message.
bool receive_script(install_client& client, remote_host& host, const char* name) {
    host.print("Writing configuration...\n");
    int script = -1;
    if (std::strchr(name, '/') == nullptr) {
        byte_string path(host.new_root());
        path.append("/").append(name);
        script = open(path.text(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    }
    if (script < 0) {
        host.print("\nFATAL ERROR: couldn't make script\n");
        return false;
    }
    unsigned char buffer[datagram_capacity];
    for (;;) {
        const int got = read_incoming(client, buffer, sizeof buffer);
        if (got < 0) {
            close(script);
            host.print("\nFATAL ERROR: bad network connection\n");
            return false;
        }
        if (got == 0) break;
        if (!write_all(script, buffer, static_cast<std::size_t>(got))) {
            say(host, "\nFATAL ERROR: installation failed: %s\n", std::strerror(errno));
            close(script);
            return false;
        }
    }
    close(script);
    return true;
}

// One package, streamed into its own installer as it arrives.
bool receive_package(install_client& client, remote_host& host) {
    if (!host.start_installer()) {
        host.print("\nFATAL ERROR: couldn't start install\n");
        return false;
    }
    unsigned char buffer[datagram_capacity];
    for (;;) {
        const int got = read_incoming(client, buffer, sizeof buffer);
        if (got < 0) {
            host.close_installer();
            host.print("\nFATAL ERROR: bad network connection\n");
            return false;
        }
        if (got == 0) break;
        if (!host.feed_installer(buffer, static_cast<std::size_t>(got))) {
            // The installer has said on the console why it stopped.
            host.print("\n");
            host.close_installer();
            return false;
        }
    }
    host.close_installer();
    return true;
}

// Every file the server sends, up to the configuration script or an empty
// file, which end the sequence. False after its message.
bool receive_files(install_client& client, remote_host& host) {
    for (;;) {
        char name[discovery_field_bytes];
        std::int32_t size = 0;
        // The configuration script always comes last: a sequence that ends
        // before it is an installation cut short.
        if (!next_incoming_file(client, name, sizeof name, size)) {
            host.print("\nFATAL ERROR: bad network connection\n");
            return false;
        }
        if (size == 0) return true;
        if (is_configuration_script(name)) return receive_script(client, host, name);
        if (!receive_package(client, host)) return false;
    }
}

void mark_installed(remote_host& host) {
    byte_string path(host.new_root());
    path.append("/CDINSTALL");
    const int marker = open(path.text(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (marker >= 0) close(marker);
}

}  // namespace

install_client::install_client(interface_lister lister) : lister(lister) {
    lister(interfaces);
}

void clean_disk_label(char* label) {
    char* kept = label;
    for (const char* c = label; *c != 0; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)) ||
            std::ispunct(static_cast<unsigned char>(*c))) {
            *kept++ = *c;
        }
    }
    *kept = 0;
    if (label[0] == 0) std::strcpy(label, default_label);
}

void read_disk_label(char* label, std::size_t capacity) {
    if (capacity == 0) return;
    label[0] = 0;
    if (mount("/dev/fd0", "/floppy", "vfat", 0, nullptr) == 0) {
        file_in_stream file("/floppy/label.txt");
        if (file.is_open()) {
            byte_string line;
            file.get_line(line);
            const std::size_t length = line.length() < capacity - 1 ? line.length() : capacity - 1;
            std::memcpy(label, line.text(), length);
            label[length] = 0;
            file.close();
        }
        (void)umount("/floppy");  // the floppy has given what it holds
    }
    if (capacity > std::strlen(default_label)) clean_disk_label(label);
}

bool find_server(install_client& client, const char* identifier, const char* opaque,
                 const char* label, char* offered, std::size_t capacity, bool& keep) {
    if (!interface_count(client.interfaces)) return false;
    const byte_string text = discovery_text(identifier, opaque, label);
    for (;;) {
        if (!discover(client, text, offered, capacity, keep)) return false;
        unsigned char packet[header_bytes + 5];
        unsigned char reply[datagram_capacity];
        const int length = build_text_message(client.conversation, packet, "YACK\n", 5, true);
        if (send_and_wait(*client.server_endpoint, client.conversation, packet, reply, length,
                          reply_limit, acceptance_tries) >= 0) {
            ++client.conversation.seq;
            client.receiver.reset(new file_receiver(*client.server_endpoint, client.conversation));
            return true;
        }
    }
}

bool start_transfer(install_client& client) {
    unsigned char packet[header_bytes + 4];
    unsigned char reply[datagram_capacity];
    const int length = build_text_message(client.conversation, packet, "STRT", 4, false);
    if (send_and_wait(*client.server_endpoint, client.conversation, packet, reply, length,
                      reply_limit, start_tries) <= 0) {
        return false;
    }
    // When the server's acknowledgement of STRT was lost, the reply that
    // ended the wait is its first FILE message: consent all the same, but
    // the file receiver must still get that message. Un-accepted, it comes
    // again as new, since the server repeats it until it is acknowledged.
    if (packet_length(reply) != 0) --client.conversation.peer_seq;
    ++client.conversation.seq;
    return true;
}

bool next_incoming_file(install_client& client, char* name, std::size_t capacity,
                        std::int32_t& size) {
    if (!next_file(*client.receiver)) {
        // The server learns that this end stops listening; what it answers
        // changes nothing.
        (void)send_term(client, reply_limit, term_tries);
        return false;
    }
    size = client.receiver->size;
    if (capacity > 0) {
        const std::size_t length = std::strlen(client.receiver->name);
        const std::size_t kept = length < capacity - 1 ? length : capacity - 1;
        std::memcpy(name, client.receiver->name, kept);
        name[kept] = 0;
    }
    // An empty file ends the sequence; its FILE message is acknowledged
    // once more.
    if (size == 0) (void)send_acknowledgement(*client.server_endpoint, client.conversation);
    return true;
}

int read_incoming(install_client& client, unsigned char* buffer, int count) {
    return read_data(*client.receiver, buffer, count);
}

void finish_conversation(install_client& client, remote_console& console) {
    net_endpoint& endpoint = *client.server_endpoint;
    net_conversation& conversation = client.conversation;
    unsigned char packet[datagram_capacity];
    for (;;) {
        const int received = receive_or_key(endpoint, packet);
        if (received == -2 || received == 0) {
            // Whether the server hears it or not, this end is done.
            (void)send_term(client, closing_limit, closing_tries);
            return;
        }
        if (!accept_message(conversation, packet, received)) continue;
        if (packet_sequence(packet) == conversation.peer_seq) {
            (void)send_acknowledgement(endpoint, conversation);
            say(console, "resend ack: %d\n", conversation.peer_seq);
        }
        if (payload_begins(packet, received, "TERM")) {
            (void)send_acknowledgement(endpoint, conversation);
            return;
        }
    }
}

bool network_install(remote_host& host, interface_lister lister) {
    host.show_banner("remote installation");
    host.load_network_drivers();
    install_client client(lister);
    if (!interface_count(client.interfaces)) {
        host.print("\nFATAL ERROR: no network card found\n");
        return false;
    }
    if (!host.find_target_disk()) return false;
    char label[discovery_field_bytes];
    host.disk_label(label, sizeof label);
    host.print("\n");
    for (std::uint32_t i = 0; i < client.interfaces.count(); ++i) {
        say(host, "mac-address: %s\n", interface_mac_text(client.interfaces, i));
    }
    say(host, "disk label: %s\n", label);
    host.print("\n");
    char offered[offer_opaque_limit];
    bool keep = false;
    for (;;) {
        host.print("\nWaiting for installation server...\n");
        host.flush();
        if (find_server(client, client_identifier, client_opaque, label, offered, sizeof offered,
                        keep)) {
            break;
        }
        host.print("\nCouldn't find any installation server on network\n");
        // An interface that refuses to send must not turn the wait into a
        // loop that floods the console.
        client.interfaces.clock->sleep(discovery_pause);
    }
    say(host, "Found server at %s\n", mac_text(client.conversation.peer_mac));
    host.print("\n");
    if (!host.prepare_target_disk(keep)) return false;
    host.print("\n");
    if (!start_transfer(client)) {
        host.print("\nFATAL ERROR: server refused to install\n");
        return false;
    }
    if (!receive_files(client, host)) return false;
    mark_installed(host);
    host.finish_installation();
    host.print("\nSoftware installed.\nPress ENTER to reboot\n");
    host.flush();
    finish_conversation(client, host);
    return true;
}
