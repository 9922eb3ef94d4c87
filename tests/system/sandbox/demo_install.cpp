// The end-to-end demonstration: a CD-ROM installation in the bootsetup
// sandbox, the menu driven by a fixed script (select all, install, do not
// keep the old configuration, erase the disk), onto a disk image that stays
// for the caller to inspect. Prints the console transcript.
//
//   sandbox_demo_install CD_DIRECTORY IMAGE [CYLINDERS]

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/system/bootsetup_sandbox.h"

namespace {

bool step(bootsetup_sandbox::machine& box, const std::string& wait_for, const std::string& keys) {
    if (!box.expect(wait_for, 300000)) {
        std::fprintf(stderr, "demo: no \"%s\" on the console\n", wait_for.c_str());
        return false;
    }
    box.send(keys);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CD_DIRECTORY IMAGE [CYLINDERS]\n", argv[0]);
        return 2;
    }
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) {
        std::fprintf(stderr, "demo: cannot run the sandbox here: %s\n", why.c_str());
        return 1;
    }
    bootsetup_sandbox::geometry shape;
    if (argc > 3) shape.cylinders = static_cast<unsigned>(std::atoi(argv[3]));
    bootsetup_sandbox::machine box;
    bootsetup_sandbox::loop_disk disk(argv[2], shape);
    if (!disk.ready() || !box.set_disk(disk) || !box.add_iso_medium("/dev/hdc", argv[1]) ||
        !box.write_file("/TYPE", "cdrom\n") || !box.start()) {
        std::fprintf(stderr, "demo: %s%s\n", disk.failure().c_str(), box.failure().c_str());
        return 1;
    }
    bool done = step(box, "(depends on", "a") && step(box, "[X]", "i") &&
                step(box, "Do you want to keep old configuration? ", "n") &&
                step(box, "Continue?", "y") && step(box, "Press ENTER to reboot\n", "\n") &&
                box.wait(60000);
    std::fwrite(box.screen().data(), 1, box.screen().size(), stdout);
    std::printf("\n\n[machine %s]\n", box.rebooted() ? "rebooted" : "did not reboot");
    return done && box.rebooted() ? 0 : 1;
}
