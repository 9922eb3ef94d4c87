#include "bootsetup/dispatch.h"

#include <sys/mount.h>

#include <cstdio>
#include <cstring>

#include "bootsetup/flows/flows.h"
#include "bootsetup/flows/network.h"
#include "bootsetup/flows/steps.h"
#include "bootsetup/prompts.h"
#include "bootsetup/setup_context.h"

namespace {

enum class installation_kind { hard_disk, cdrom, network, floppy };

installation_kind choose_kind(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-hdd-install") == 0) return installation_kind::hard_disk;
    }
    char type[80] = {};
    if (std::FILE* file = std::fopen("/TYPE", "r")) {
        if (std::fgets(type, sizeof type, file) == nullptr) type[0] = 0;
        std::fclose(file);
    }
    type[std::strcspn(type, "\n")] = 0;
    if (std::strcmp(type, "cdrom") == 0) return installation_kind::cdrom;
    if (std::strcmp(type, "net") == 0) return installation_kind::network;
    return installation_kind::floppy;
}

// Runs the flow of the kind; true when the machine should wait for Enter
// before the reboot.
bool run_flow(installation_kind kind, setup_context& context) {
    switch (kind) {
        case installation_kind::hard_disk:
            return !hard_disk_installation(context);
        case installation_kind::cdrom:
            if (find_target_disk(context)) (void)cdrom_installation(context);
            return true;
        case installation_kind::network:
            return !network_installation(context);
        case installation_kind::floppy:
            (void)floppy_installation(context);
            return true;
    }
    return true;
}

}  // namespace

void run_installation(setup_context& context, int argc, char** argv) {
    mount("proc", "/proc", "proc", 0, nullptr);
    bool wait_for_enter = run_flow(choose_kind(argc, argv), context);
    umount("/floppy");
    umount("/mnt");
    setup_finished = 1;
    if (wait_for_enter) {
        std::printf("Press ENTER to reboot\n");
        std::fflush(stdout);
        (void)wait_for_key('\n');
    }
}
