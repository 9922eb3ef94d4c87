#pragma once

#include <cstddef>
#include <cstdint>

#include "base/own_ptr.h"
#include "remote/conversation.h"
#include "remote/file_receiver.h"
#include "remote/interface_table.h"
#include "remote/remote_host.h"

// The network-booted machine's end of a remote installation: its
// interfaces, the one the server's offer came on, the conversation and,
// once the server has taken it on, the file receiver.
class install_client {
public:
    // Lists the interfaces with lister.
    explicit install_client(interface_lister lister = list_interfaces);
    install_client(const install_client&) = delete;
    install_client& operator=(const install_client&) = delete;

    interface_table interfaces;
    net_endpoint* server_endpoint = nullptr;
    net_conversation conversation;
    own_ptr<file_receiver> receiver;
    interface_lister lister;
};

// The whole installation of this machine from a server on the network;
// true when the software was installed and the conversation closed.
[[nodiscard]] bool network_install(remote_host& host, interface_lister lister = list_interfaces);

// The first line of "label.txt" on the floppy, or "tarnvale".
void read_disk_label(char* label, std::size_t capacity);
// Drops from the label every byte that is not a letter, digit or
// punctuation; an empty label becomes "tarnvale".
void clean_disk_label(char* label);

// Announces this machine on every interface until a server offers an
// installation, and accepts the first valid offer. The offer's opaque line
// lands in offered (cut to capacity - 1) and its keep line in keep. False
// when no interface is left or an announcement cannot be sent.
[[nodiscard]] bool find_server(install_client& client, const char* identifier, const char* opaque,
                               const char* label, char* offered, std::size_t capacity, bool& keep);
// Tells the server that the disk is ready; true when it answered.
[[nodiscard]] bool start_transfer(install_client& client);
// The next file's name (cut to capacity - 1) and size; false, after telling
// the server with TERM, when no further file comes.
[[nodiscard]] bool next_incoming_file(install_client& client, char* name, std::size_t capacity,
                                      std::int32_t& size);
// read_data of the receiver.
[[nodiscard]] int read_incoming(install_client& client, unsigned char* buffer, int count);
// Waits for the server's TERM, or for a key (then sends TERM itself and
// leaves the key unread). Every accepted message is acknowledged with a
// "resend ack" line on the console.
void finish_conversation(install_client& client, remote_console& console);

// The identifier and opaque text this machine announces itself with.
inline constexpr const char* client_identifier = "Tarnvale router";
inline constexpr const char* client_opaque = "";
