#include "remote/install_server.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstring>

#include "remote/exchange.h"
#include "remote/file_sender.h"
#include "remote/packet.h"

namespace {

constexpr std::uint32_t reply_limit = 1000000;
constexpr int offer_tries = 10;
// The client prepares its disk meanwhile: up to 30 minutes.
constexpr int start_tries = 1800;
constexpr std::uint32_t closing_limit = 100000;
constexpr int closing_tries = 5;
constexpr int address_answer_bytes = 20;
constexpr int number_answer_bytes = 10;
constexpr std::int64_t last_sequence_number = 65535;

// An unsigned decimal number after optional blanks, anything after it
// ignored; false without a digit, or for the largest 32-bit value (where
// a larger number ends up too).
bool read_answer_number(const char* text, std::uint32_t& value) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text < '0' || *text > '9') return false;
    std::uint64_t number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + static_cast<std::uint64_t>(*text - '0');
        if (number > UINT32_MAX) number = UINT32_MAX;
    }
    if (number == UINT32_MAX) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

std::uint32_t prompt_number(remote_console& console, const char* label, const char* default_value) {
    for (;;) {
        char answer[number_answer_bytes] = {};
        console.edit_line(label, default_value, answer, sizeof answer);
        std::uint32_t value = 0;
        if (read_answer_number(answer, value)) return value;
    }
}

// The questions of a new configuration; the script they give.
byte_string ask_configuration(install_server& server) {
    remote_console& console = *server.console;
    const std::uint32_t address = prompt_address(console, "Enter routers IP address", nullptr);
    console.print("\n");
    const std::uint32_t bits = prompt_number(console, "Enter routers netmask bit count", "24");
    console.print("\n");
    const std::uint32_t gateway =
        prompt_address(console, "Enter routers default gateway address", nullptr);
    console.print("\n");
    const std::uint32_t baud_rate =
        prompt_number(console, "Enter serial console baud rate", "9600");
    return make_config_script(server.selected->mac, address, bits, gateway, baud_rate);
}

void wait_for_any_key(remote_console& console, const char* line) {
    console.print(line);
    (void)console.read_key();
}

// Offers the chosen router the installation and waits while it prepares
// its disk; true once it has asked for the files.
bool offer_installation(install_server& server, bool keep) {
    remote_console& console = *server.console;
    net_conversation& conversation = server.conversation;
    net_endpoint& endpoint = *server.selected->endpoint;
    reset(conversation);
    copy_mac(conversation.own_mac, endpoint.mac);
    copy_mac(conversation.peer_mac, server.selected->mac);
    // The router's discovery was its message number 1.
    conversation.peer_seq = 1;
    unsigned char packet[datagram_capacity];
    unsigned char reply[datagram_capacity];
    const byte_string offer = offer_text(server.selected->opaque, keep);
    int length = build_text_message(conversation, packet, offer.data(),
                                    static_cast<int>(offer.length()), true);
    const int answered =
        send_and_wait(endpoint, conversation, packet, reply, length, reply_limit, offer_tries);
    if (answered < 0) {
        wait_for_any_key(console, "No response from router (press any key)\n");
        return false;
    }
    if (!payload_begins(reply, answered, "YACK")) {
        wait_for_any_key(console, "Bad response from router (press any key)\n");
        return false;
    }
    console.print("Formating and partitioning harddisk...\n");
    console.flush();
    ++conversation.seq;
    length = build_acknowledgement(conversation, packet);
    const int started =
        send_and_wait(endpoint, conversation, packet, reply, length, reply_limit, start_tries);
    if (started < 0 || !payload_begins(reply, started, "STRT")) return false;
    // Answered once: the router's STRT waits take repeats of older answers
    // for what they are.
    (void)send_acknowledgement(endpoint, conversation);
    return true;
}

bool send_one(install_server& server, const char* path_or_text, bool is_file) {
    file_sender sender(*server.selected->endpoint, server.conversation, *server.console);
    return sender_open(sender, path_or_text, is_file) && transfer_file(sender);
}

void send_term(install_server& server) {
    unsigned char packet[header_bytes + 4];
    unsigned char reply[datagram_capacity];
    const int length = build_text_message(server.conversation, packet, "TERM", 4, false);
    // Whether the router hears it or not, this end is done.
    (void)send_and_wait(*server.selected->endpoint, server.conversation, packet, reply, length,
                        closing_limit, closing_tries);
}

// Waits for the router's TERM, or for a key (then sends TERM itself).
void close_conversation(install_server& server) {
    net_endpoint& endpoint = *server.selected->endpoint;
    unsigned char packet[datagram_capacity];
    for (;;) {
        const int received = receive_or_key(endpoint, packet);
        if (received == -2) (void)server.console->read_key();
        if (received == -2 || received == 0) {
            send_term(server);
            return;
        }
        if (accept_message(server.conversation, packet, received) &&
            payload_begins(packet, received, "TERM")) {
            (void)send_acknowledgement(endpoint, server.conversation);
            return;
        }
    }
}

std::int64_t data_packets(std::int64_t size) {
    return (size + data_piece_bytes - 1) / data_piece_bytes;
}

}  // namespace

install_server::install_server(remote_console& console, interface_lister lister)
    : console(&console) {
    lister(interfaces);
}

bool fits_one_conversation(const array<byte_string>& packages, std::int64_t script_length) {
    // Every file takes its FILE message and its data packets; the first
    // FILE message is number 2 and the closing TERM takes the number after
    // the last file.
    std::int64_t last = 2;
    for (const byte_string& path : packages) {
        struct stat status;
        // A file that cannot be read is reported when it is opened for sending.
        const std::int64_t size = stat(path.text(), &status) == 0 ? status.st_size : 0;
        last += data_packets(size) + 1;
        if (last > last_sequence_number) return false;
    }
    last += data_packets(script_length) + 1;
    return last <= last_sequence_number;
}

bool install_router(install_server& server, const array<byte_string>& packages) {
    remote_console& console = *server.console;
    console.print("\n\n\n");
    const bool keep = console.ask_yes_no("Keep config?");
    byte_string script;
    if (!keep) script = ask_configuration(server);
    if (!fits_one_conversation(packages, static_cast<std::int64_t>(script.length()))) {
        wait_for_any_key(console,
                         "\nFATAL ERROR: packages too large for one remote installation (press any "
                         "key)\n");
        return false;
    }
    console.print("\n\nSending offer...\n");
    console.flush();
    if (!offer_installation(server, keep)) return false;
    for (const byte_string& path : packages) {
        if (!send_one(server, path.text(), true)) return false;
        ++server.conversation.seq;
    }
    // A configuration that does not arrive has said so; the packages are
    // installed all the same.
    (void)send_one(server, script.text(), false);
    ++server.conversation.seq;
    console.print("\nSoftware installed.\nPress ENTER to reboot\n");
    console.flush();
    close_conversation(server);
    return true;
}

std::uint32_t prompt_address(remote_console& console, const char* label,
                             const std::uint32_t* default_address) {
    char shown[INET_ADDRSTRLEN] = {};
    if (default_address != nullptr) {
        in_addr address{};
        address.s_addr = *default_address;
        (void)inet_ntop(AF_INET, &address, shown, sizeof shown);
    }
    for (;;) {
        char answer[address_answer_bytes] = {};
        console.edit_line(label, default_address != nullptr ? shown : nullptr, answer,
                          sizeof answer);
        in_addr parsed{};
        if (inet_aton(answer, &parsed) != 0) return parsed.s_addr;
    }
}
