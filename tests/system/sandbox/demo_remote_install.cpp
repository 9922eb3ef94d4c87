// The demonstration's remote installation: two sandboxed machines on a veth
// cable. The server boots the CD-ROM and its menu is driven by a fixed
// script (select all, 'r', the one router found, configuration answers);
// the client boots network media and installs onto a disk image that stays
// for the caller to inspect. Prints both consoles' transcripts.
//
//   sandbox_demo_remote_install CD_DIRECTORY CLIENT_IMAGE [CYLINDERS]

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/system/bootsetup_sandbox.h"
#include "tests/system/sandbox_cable.h"

namespace {

using bootsetup_sandbox::machine;

bool step(machine& box, const char* who, const std::string& wait_for, const std::string& keys) {
    if (!box.expect(wait_for, 300000)) {
        std::fprintf(stderr, "demo: no \"%s\" on the %s's console\n", wait_for.c_str(), who);
        return false;
    }
    box.send(keys);
    return true;
}

void show(const char* title, const machine& box) {
    std::printf("\n----- %s -----\n", title);
    std::string screen = box.screen();
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    std::printf("\n\n[%s %s]\n", title, box.rebooted() ? "rebooted" : "did not reboot");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CD_DIRECTORY CLIENT_IMAGE [CYLINDERS]\n", argv[0]);
        return 2;
    }
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) {
        std::fprintf(stderr, "demo: cannot run the sandbox here: %s\n", why.c_str());
        return 1;
    }
    bootsetup_sandbox::geometry client_shape{200, 16, 63};
    if (argc > 3) client_shape.cylinders = static_cast<unsigned>(std::atoi(argv[3]));
    bootsetup_sandbox::options held;
    held.held = true;

    machine server, client;
    bootsetup_sandbox::loop_disk server_disk(server.work_dir() + "/disk.img", {20, 16, 63});
    bootsetup_sandbox::loop_disk client_disk(argv[2], client_shape);
    std::string floppy = client.work_dir() + "/floppy";
    std::filesystem::create_directories(floppy);
    std::ofstream(floppy + "/label.txt") << "demo router\n";
    if (!server_disk.ready() || !client_disk.ready() || !server.set_disk(server_disk) ||
        !server.add_iso_medium("/dev/hdc", argv[1]) || !server.write_file("/TYPE", "cdrom\n") ||
        !client.set_disk(client_disk) || !client.set_vfat_medium("/dev/fd0", floppy) ||
        !client.write_file("/TYPE", "net\n") || !server.start(held) || !client.start(held)) {
        std::fprintf(stderr, "demo: %s%s%s%s\n", server_disk.failure().c_str(),
                     client_disk.failure().c_str(), server.failure().c_str(),
                     client.failure().c_str());
        return 1;
    }
    bootsetup_sandbox::cable wire(server, "02:54:56:00:01:01", client, "02:54:56:00:C0:01");
    if (!wire.ready() || !server.release() || !client.release()) {
        std::fprintf(stderr, "demo: %s\n", wire.failure().c_str());
        return 1;
    }
    bool done = step(server, "server", "(depends on", "a") && step(server, "server", "[X]", "r") &&
                step(server, "server", "Found 1 router: ", "") &&
                step(server, "server", " ID: ", "\n") &&
                step(server, "server", "Keep config?", "n") &&
                step(server, "server", "Enter routers IP address: ", "10.0.0.2\n") &&
                step(server, "server", "Enter routers netmask bit count: ", "24\n") &&
                step(server, "server", "Enter routers default gateway address: ", "10.0.0.1\n") &&
                step(server, "server", "Enter serial console baud rate: ", "\n") &&
                step(client, "client", "Software installed.\nPress ENTER to reboot\n", "") &&
                step(server, "server", "Software installed.\nPress ENTER to reboot\n", "\n") &&
                client.wait(60000) && step(server, "server", "Select all with 'a'", "q") &&
                step(server, "server", "Press ENTER to reboot\n", "\n") && server.wait(60000);
    show("installation server (CD-ROM)", server);
    show("installed router (network boot)", client);
    return done && client.rebooted() ? 0 : 1;
}
